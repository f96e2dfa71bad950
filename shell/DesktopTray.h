#pragma once

#include "Tray.h"

#include <QDeadlineTimer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <optional>

namespace tidewell {

// The desktop's notification area, through QSystemTrayIcon.
class DesktopTray final : public Tray
{
    Q_OBJECT

public:
    // How long a notice stays when the caller names no time.
    static constexpr std::chrono::milliseconds UsualNoticeTime{10000};
    // How long a notice waits for the notification area to take the icon in
    // before it is shown wherever the icon is.
    static constexpr std::chrono::milliseconds PlacementTime{3000};

    explicit DesktopTray(QObject *parent = nullptr);

    bool available() const override;
    void setShown(bool shown) override;
    void setTip(const QString &tip) override;
    void setIcon(const QIcon &icon) override;
    void showNotice(const QString &title, const QString &text, std::chrono::milliseconds timeout) override;
    void withdrawNotice() override;

    const QSystemTrayIcon &icon() const { return m_icon; }

private:
    struct Notice
    {
        QString title;
        QString text;
        std::chrono::milliseconds timeout;
    };

    void showIfWanted();
    bool iconPlaced() const;
    void showNoticeOncePlaced();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onMessageClicked();

    QSystemTrayIcon m_icon;
    bool m_shown = false;
    QTimer m_noticeTimer;
    // A notice asked for before the icon had its place, and the checks for it.
    std::optional<Notice> m_pendingNotice;
    QTimer m_placementTimer;
    QDeadlineTimer m_placementDeadline;
};

} // namespace tidewell
