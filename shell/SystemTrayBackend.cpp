#include "SystemTrayBackend.h"

#include <QPointer>

#include <utility>

namespace tidewell {

std::vector<quint32> trayEventsFor(QSystemTrayIcon::ActivationReason reason)
{
    using namespace trayevent;
    switch (reason) {
    case QSystemTrayIcon::Trigger: return {LeftButtonDown, LeftButtonUp};
    // The second click of a double click ends with a release too.
    case QSystemTrayIcon::DoubleClick: return {LeftDoubleClick, LeftButtonUp};
    case QSystemTrayIcon::Context: return {RightButtonDown, RightButtonUp};
    case QSystemTrayIcon::MiddleClick: return {MiddleButtonDown, MiddleButtonUp};
    case QSystemTrayIcon::Unknown: break;
    }
    return {};
}

SystemTrayBackend::SystemTrayBackend(QObject *parent) : QObject(parent)
{
    m_balloonTimer.setSingleShot(true);
    m_placementTimer.setInterval(50);
    connect(&m_placementTimer, &QTimer::timeout, this, &SystemTrayBackend::showBalloonOncePlaced);
    connect(&m_icon, &QSystemTrayIcon::activated, this, &SystemTrayBackend::onActivated);
    connect(&m_icon, &QSystemTrayIcon::messageClicked, this, &SystemTrayBackend::onMessageClicked);
    connect(&m_balloonTimer, &QTimer::timeout, this, &SystemTrayBackend::onBalloonTimeout);
}

bool SystemTrayBackend::available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool SystemTrayBackend::Shell_NotifyIcon(NotifyMessage message, const NotifyIconData &data)
{
    switch (message) {
    case NotifyMessage::Add: return add(data);
    case NotifyMessage::Modify: return modify(data);
    case NotifyMessage::Delete: return remove();
    }
    return false;
}

bool SystemTrayBackend::add(const NotifyIconData &data)
{
    if (m_added)
        return false;
    m_added = true;
    m_iconId = data.uID;
    m_callbackMessage = (data.uFlags & nif::Message) ? data.uCallbackMessage : 0;
    applyIconAndTip(data);
    showIfPossible();
    return true;
}

bool SystemTrayBackend::modify(const NotifyIconData &data)
{
    // As with the shell, there is nothing to change on an icon never added.
    if (!m_added)
        return false;
    applyIconAndTip(data);
    showIfPossible();
    if (data.uFlags & nif::Info)
        showOrRemoveBalloon(data);
    return true;
}

bool SystemTrayBackend::remove()
{
    if (!m_added)
        return false;
    m_balloonTimer.stop();
    m_placementTimer.stop();
    m_pendingBalloon.reset();
    m_icon.hide();
    m_added = false;
    return true;
}

void SystemTrayBackend::applyIconAndTip(const NotifyIconData &data)
{
    if (data.uFlags & nif::Icon)
        m_icon.setIcon(data.hIcon);
    if (data.uFlags & nif::Tip)
        m_icon.setToolTip(data.szTip);
}

void SystemTrayBackend::showIfPossible()
{
    // Qt cannot show an entry without a picture; it appears once one is set.
    if (!m_icon.icon().isNull() && !m_icon.isVisible())
        m_icon.show();
}

void SystemTrayBackend::showOrRemoveBalloon(const NotifyIconData &data)
{
    // Qt cannot withdraw a notification once sent; taking the balloon down
    // only stops waiting for it, and no time-out is reported for it later.
    m_balloonTimer.stop();
    m_placementTimer.stop();
    m_pendingBalloon.reset();
    if (data.szInfo.isEmpty() && data.szInfoTitle.isEmpty())
        return;
    const int milliseconds = data.uTimeout > 0 ? static_cast<int>(data.uTimeout) : ShellBalloonMilliseconds;
    m_pendingBalloon = Balloon{data.szInfoTitle, data.szInfo, milliseconds};
    m_placementDeadline.setRemainingTime(PlacementMilliseconds);
    showBalloonOncePlaced();
}

bool SystemTrayBackend::iconPlaced() const
{
    // Until the notification area has taken the icon in, Qt places it at the
    // screen's origin, and a balloon would point at the corner. A desktop
    // that draws the icons itself reports no place at all.
    const QRect place = m_icon.geometry();
    return place.isNull() || place.topLeft() != QPoint(0, 0);
}

void SystemTrayBackend::showBalloonOncePlaced()
{
    if (!m_pendingBalloon)
        return;
    if (!iconPlaced() && !m_placementDeadline.hasExpired()) {
        m_placementTimer.start();
        return;
    }
    m_placementTimer.stop();
    const Balloon balloon = *std::exchange(m_pendingBalloon, std::nullopt);
    m_icon.showMessage(balloon.title, balloon.text, QSystemTrayIcon::NoIcon, balloon.milliseconds);
    m_balloonTimer.start(balloon.milliseconds);
}

void SystemTrayBackend::notify(quint32 eventNumber) const
{
    if (m_added)
        post(m_callbackMessage, m_iconId, eventNumber);
}

void SystemTrayBackend::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // A handler may destroy the control, and this backend with it, between
    // the press and the release.
    const QPointer<SystemTrayBackend> alive(this);
    for (const quint32 eventNumber : trayEventsFor(reason)) {
        if (!alive)
            return;
        notify(eventNumber);
    }
}

void SystemTrayBackend::onMessageClicked()
{
    m_balloonTimer.stop();
    notify(trayevent::BalloonClicked);
}

void SystemTrayBackend::onBalloonTimeout() const
{
    notify(trayevent::BalloonTimedOut);
}

} // namespace tidewell
