#pragma once

#include "TrayBackend.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <memory>

class QEventLoop;

namespace tidewell {

// One icon in the notification area: its tip, its balloon notices, and the
// mouse actions on it turned into events for the window that hosts it.
// Knows nothing about the rest of the program.
class cSysTray : public QObject
{
    Q_OBJECT

public:
    // The message the icon's notifications arrive under: the first
    // application message number plus 101.
    static constexpr quint32 CallbackMessage = 1024 + 101;

    // Without a backend the icon goes to the desktop's notification area.
    explicit cSysTray(QObject *parent = nullptr);
    explicit cSysTray(std::unique_ptr<TrayBackend> backend, QObject *parent = nullptr);
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
    // and takes a balloon still showing down itself. Throws the overflow
    // run-time error when TimeoutSeconds * 1000 leaves the 32-bit range.
    void ShowBalloon(const QString &BalloonText, const QString &BalloonTitle, qint32 TimeoutSeconds, bool ShowOnce);

    bool BalloonShowing() const { return m_balloonShowing; }
    qint32 OnceBalloonCount() const { return m_onceBalloonCount; }
    quint32 IconId() const { return m_iconId; }

    // Whether there is a notification area to show the icon in at all.
    bool available() const { return m_backend->available(); }
    TrayBackend &backend() { return *m_backend; }

    // The saved properties "InTray", "TrayIcon" and "TrayTip": read applies
    // each through its property, in that order; absent ones take their
    // defaults. Write always gives all three.
    void ReadProperties(const QVariantMap &bag);
    QVariantMap WriteProperties() const;

    // How long one of ShowBalloon's seconds lasts, so tests need not wait
    // whole seconds for a time-out.
    void setSecondLength(std::chrono::milliseconds length) { m_secondLength = length; }

    static QString defaultTrayTip();

Q_SIGNALS:
    void MouseMove(int Id);
    void MouseDown(int Button, int Id);
    void MouseUp(int Button, int Id);
    void MouseDblClick(int Button, int Id);
    // A saved property changed: "InTray", "TrayIcon" or "TrayTip".
    void PropertyChanged(const QString &PropertyName);

private:
    void AddTrayIcon(quint32 id, const QString &tip, const QIcon &icon);
    void DeleteTrayIcon(quint32 id);
    void TrayWindowProc(quint32 message, quint32 iconId, quint32 eventNumber);
    void HandleTrayMessage(quint32 eventNumber, quint32 id);
    void putInTray();
    void takeOutOfTray();
    void balloonClosed();
    void waitForBalloon(qint32 seconds);
    void removeBalloon();

    std::unique_ptr<TrayBackend> m_backend;
    TrayBackend::WindowProc m_previousWindowProc;
    bool m_inTray = false;
    QString m_trayTip;
    QIcon m_trayIcon;
    const quint32 m_iconId = 0;
    bool m_iconAdded = false;
    bool m_balloonShowing = false;
    qint32 m_onceBalloonCount = 0;
    std::chrono::milliseconds m_secondLength{1000};
    // Every balloon wait in progress; a nested ShowBalloon adds its own.
    // Shared with the waits, which may outlive this control when the host
    // destroys it from inside one.
    std::shared_ptr<QList<QEventLoop *>> m_balloonWaits = std::make_shared<QList<QEventLoop *>>();
};

} // namespace tidewell
