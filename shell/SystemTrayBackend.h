#pragma once

#include "TrayBackend.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <optional>
#include <vector>

namespace tidewell {

// The notification-area events a click on the icon stands for, in the order
// the old shell sent them. Qt reports clicks, not button presses, so each
// click becomes its press and release; mouse moves are not reported at all.
std::vector<quint32> trayEventsFor(QSystemTrayIcon::ActivationReason reason);

// The desktop's notification area, through QSystemTrayIcon.
class SystemTrayBackend final : public QObject, public TrayBackend
{
    Q_OBJECT

public:
    // Qt shows balloons for this long when the caller names no time-out.
    static constexpr int ShellBalloonMilliseconds = 10000;
    // How long a balloon waits for the notification area to take the icon
    // in before it is shown wherever the icon is.
    static constexpr int PlacementMilliseconds = 3000;

    explicit SystemTrayBackend(QObject *parent = nullptr);

    bool Shell_NotifyIcon(NotifyMessage message, const NotifyIconData &data) override;
    bool available() const override;

    const QSystemTrayIcon &trayIcon() const { return m_icon; }

private:
    bool add(const NotifyIconData &data);
    bool modify(const NotifyIconData &data);
    bool remove();
    void applyIconAndTip(const NotifyIconData &data);
    void showOrRemoveBalloon(const NotifyIconData &data);
    bool iconPlaced() const;
    void showBalloonOncePlaced();
    void showIfPossible();
    void notify(quint32 eventNumber) const;
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onMessageClicked();
    void onBalloonTimeout() const;

    struct Balloon
    {
        QString title;
        QString text;
        int milliseconds = 0;
    };

    QSystemTrayIcon m_icon;
    QTimer m_balloonTimer;
    // A balloon asked for before the icon had its place, and the checks for it.
    std::optional<Balloon> m_pendingBalloon;
    QTimer m_placementTimer;
    QDeadlineTimer m_placementDeadline;
    quint32 m_callbackMessage = 0;
    quint32 m_iconId = 0;
    bool m_added = false;
};

} // namespace tidewell
