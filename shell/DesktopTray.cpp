#include "DesktopTray.h"

#include <utility>

namespace tidewell {

DesktopTray::DesktopTray(QObject *parent) : Tray(parent)
{
    m_noticeTimer.setSingleShot(true);
    m_placementTimer.setInterval(50);
    connect(&m_placementTimer, &QTimer::timeout, this, &DesktopTray::showNoticeOncePlaced);
    // Qt does not say when a notice goes; its time is kept here instead.
    connect(&m_noticeTimer, &QTimer::timeout, this, &Tray::noticeClosed);
    connect(&m_icon, &QSystemTrayIcon::activated, this, &DesktopTray::onActivated);
    connect(&m_icon, &QSystemTrayIcon::messageClicked, this, &DesktopTray::onMessageClicked);
}

bool DesktopTray::available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void DesktopTray::setShown(bool shown)
{
    m_shown = shown;
    if (shown) {
        showIfWanted();
        return;
    }
    withdrawNotice();
    m_icon.hide();
}

void DesktopTray::setTip(const QString &tip)
{
    m_icon.setToolTip(tip);
}

void DesktopTray::setIcon(const QIcon &icon)
{
    m_icon.setIcon(icon);
    showIfWanted();
}

void DesktopTray::showIfWanted()
{
    // Qt cannot show an entry without a picture; it appears once one is set.
    if (m_shown && !m_icon.icon().isNull() && !m_icon.isVisible())
        m_icon.show();
}

void DesktopTray::showNotice(const QString &title, const QString &text, std::chrono::milliseconds timeout)
{
    withdrawNotice();
    if (!m_shown)
        return;
    m_pendingNotice = Notice{title, text, timeout > std::chrono::milliseconds::zero() ? timeout : UsualNoticeTime};
    m_placementDeadline.setRemainingTime(PlacementTime);
    showNoticeOncePlaced();
}

void DesktopTray::withdrawNotice()
{
    // Qt cannot take a notice back once shown; giving it up only stops
    // waiting for it.
    m_noticeTimer.stop();
    m_placementTimer.stop();
    m_pendingNotice.reset();
}

bool DesktopTray::iconPlaced() const
{
    // Until the notification area has taken the icon in, Qt places it at the
    // screen's origin, and a notice would point at the corner. A desktop
    // that draws the icons itself reports no place at all.
    const QRect place = m_icon.geometry();
    return place.isNull() || place.topLeft() != QPoint(0, 0);
}

void DesktopTray::showNoticeOncePlaced()
{
    if (!m_pendingNotice)
        return;
    if (!iconPlaced() && !m_placementDeadline.hasExpired()) {
        m_placementTimer.start();
        return;
    }
    m_placementTimer.stop();
    const Notice notice = *std::exchange(m_pendingNotice, std::nullopt);
    const int milliseconds = static_cast<int>(notice.timeout.count());
    m_icon.showMessage(notice.title, notice.text, QSystemTrayIcon::NoIcon, milliseconds);
    m_noticeTimer.start(milliseconds);
}

void DesktopTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger: Q_EMIT clicked(Qt::LeftButton); break;
    case QSystemTrayIcon::Context: Q_EMIT clicked(Qt::RightButton); break;
    case QSystemTrayIcon::MiddleClick: Q_EMIT clicked(Qt::MiddleButton); break;
    case QSystemTrayIcon::DoubleClick: Q_EMIT doubleClicked(); break;
    case QSystemTrayIcon::Unknown: break;
    }
}

void DesktopTray::onMessageClicked()
{
    m_noticeTimer.stop();
    Q_EMIT noticeClosed();
}

} // namespace tidewell
