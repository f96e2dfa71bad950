#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <chrono>

namespace tidewell {

// The notification area as the window uses it: one icon with a tip, a notice
// shown from the icon, and clicks on it.
class Tray : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // False when the desktop has no notification area to show the icon in.
    virtual bool available() const = 0;
    virtual void setShown(bool shown) = 0;
    virtual void setTip(const QString &tip) = 0;
    virtual void setIcon(const QIcon &icon) = 0;
    // A notice from the shown icon, for `timeout` or, when that is zero, for
    // as long as the desktop keeps notices.
    virtual void showNotice(const QString &title, const QString &text, std::chrono::milliseconds timeout) = 0;
    // Gives up the notice shown last: its closing is not reported any more.
    virtual void withdrawNotice() = 0;

Q_SIGNALS:
    void clicked(Qt::MouseButton button);
    void doubleClicked();
    // The user clicked the notice, or its time ran out.
    void noticeClosed();
};

} // namespace tidewell
