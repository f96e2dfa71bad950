#pragma once

#include "TrayBackend.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

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
    void showIfPossible();
    void notify(quint32 eventNumber) const;
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onMessageClicked();
    void onBalloonTimeout() const;

    QSystemTrayIcon m_icon;
    QTimer m_balloonTimer;
    quint32 m_callbackMessage = 0;
    quint32 m_iconId = 0;
    bool m_added = false;
};

} // namespace tidewell
