#pragma once

#include "Tray.h"

#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace tidewell::test {

// Stands in for the notification area: keeps what was shown there, and lets
// a test click the icon or close a notice. The record is shared, so a test
// can read it after the control that owned the fake is gone.
class FakeTray final : public Tray
{
public:
    struct Notice
    {
        QString title;
        QString text;
        std::chrono::milliseconds timeout;
    };
    struct Record
    {
        bool shown = false;
        QString tip;
        QIcon icon;
        std::vector<Notice> notices;
        int withdrawals = 0;
        // Every call in order: "shown", "hidden", "tip", "icon", "notice",
        // "withdrawn".
        QStringList calls;
    };

    bool available() const override { return trayAvailable; }
    void setShown(bool shown) override
    {
        record->shown = shown;
        record->calls << (shown ? QStringLiteral("shown") : QStringLiteral("hidden"));
    }
    void setTip(const QString &tip) override
    {
        record->tip = tip;
        record->calls << QStringLiteral("tip");
    }
    void setIcon(const QIcon &icon) override
    {
        record->icon = icon;
        record->calls << QStringLiteral("icon");
    }
    void showNotice(const QString &title, const QString &text, std::chrono::milliseconds timeout) override
    {
        record->notices.push_back({title, text, timeout});
        record->calls << QStringLiteral("notice");
        if (onNotice)
            onNotice(record->notices.back());
    }
    void withdrawNotice() override
    {
        ++record->withdrawals;
        record->calls << QStringLiteral("withdrawn");
    }

    // As if the user acted on the icon or the notice now.
    void click(Qt::MouseButton button) { Q_EMIT clicked(button); }
    void doubleClick() { Q_EMIT doubleClicked(); }
    void closeNotice() { Q_EMIT noticeClosed(); }
    // As the desktop does it: later, through the event loop, so that it
    // reaches a ShowBalloon that waits.
    void closeNoticeLater()
    {
        QTimer::singleShot(0, this, [this] { closeNotice(); });
    }

    std::shared_ptr<Record> record = std::make_shared<Record>();
    std::function<void(const Notice &)> onNotice;
    bool trayAvailable = true;
};

} // namespace tidewell::test
