#pragma once

#include "Tray.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QEventLoop;

namespace tidewell {

// One icon in the notification area: its tip, its balloon notices, and the
// clicks on it turned into events for the window that hosts it. Knows
// nothing about the rest of the program.
class cSysTray : public QObject
{
    Q_OBJECT

public:
    // The longest tip, balloon text and balloon title shown; longer ones are
    // cut to these lengths.
    static constexpr qsizetype TipLength = 127;
    static constexpr qsizetype BalloonTextLength = 255;
    static constexpr qsizetype BalloonTitleLength = 63;

    // Without a tray of its own the icon goes to the desktop's notification area.
    explicit cSysTray(QObject *parent = nullptr);
    explicit cSysTray(std::unique_ptr<Tray> tray, QObject *parent = nullptr);
    ~cSysTray() override;

    bool InTray() const { return m_inTray; }
    void setInTray(bool Show);

    QString TrayTip() const { return m_trayTip; }
    void setTrayTip(const QString &tip);

    QIcon TrayIcon() const { return m_trayIcon; }
    // A null icon is ignored and leaves the current one in place.
    void setTrayIcon(const QIcon &icon);

    // Shows a balloon from the icon. With a positive time-out it waits, with
    // the event loop running, until the balloon closes or the time is up,
    // and gives up a balloon still showing itself. Throws the overflow
    // run-time error when TimeoutSeconds * 1000 leaves the 32-bit range.
    void ShowBalloon(const QString &BalloonText, const QString &BalloonTitle, qint32 TimeoutSeconds, bool ShowOnce);

    bool BalloonShowing() const { return m_balloonShowing; }
    qint32 OnceBalloonCount() const { return m_onceBalloonCount; }

    // Whether there is a notification area to show the icon in at all.
    bool available() const { return m_tray->available(); }

    // How long one of ShowBalloon's seconds lasts, so tests need not wait
    // whole seconds for a time-out.
    void setSecondLength(std::chrono::milliseconds length) { m_secondLength = length; }

Q_SIGNALS:
    // Button is 1 for the left mouse button and 2 for the right one; Id, the
    // icon's, is always 0.
    void MouseDown(int Button, int Id);
    void MouseUp(int Button, int Id);
    void MouseDblClick(int Button, int Id);

private:
    void onClicked(Qt::MouseButton button);
    void onDoubleClicked();
    void pressAndRelease(void (cSysTray::*first)(int, int), int Button);
    void balloonClosed();
    void waitForBalloon(qint32 seconds);

    std::unique_ptr<Tray> m_tray;
    bool m_inTray = false;
    QString m_trayTip;
    QIcon m_trayIcon;
    bool m_balloonShowing = false;
    qint32 m_onceBalloonCount = 0;
    std::chrono::milliseconds m_secondLength{1000};
    // Every balloon wait in progress; a nested ShowBalloon adds its own.
    // Shared with the waits, which may outlive this control when the host
    // destroys it from inside one.
    std::shared_ptr<QList<QEventLoop *>> m_balloonWaits = std::make_shared<QList<QEventLoop *>>();
};

} // namespace tidewell
