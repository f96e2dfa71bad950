#pragma once

#include <QIcon>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace tidewell {

// What the tray control asks of the notification area. Kept to the one call
// shape the control was designed around (a message and a record), so the
// control's logic stays the same whatever draws the icon.
enum class NotifyMessage { Add = 0, Modify = 1, Delete = 2 };

// Which fields of a NotifyIconData the receiver must look at.
namespace nif {
inline constexpr quint32 Message = 1;
inline constexpr quint32 Icon = 2;
inline constexpr quint32 Tip = 4;
inline constexpr quint32 Info = 16;
} // namespace nif

// The notification numbers an icon reports to its owner: mouse actions
// (the pointer messages' numbers) and balloon events.
namespace trayevent {
inline constexpr quint32 MouseMove = 512;
inline constexpr quint32 LeftButtonDown = 513;
inline constexpr quint32 LeftButtonUp = 514;
inline constexpr quint32 LeftDoubleClick = 515;
inline constexpr quint32 RightButtonDown = 516;
inline constexpr quint32 RightButtonUp = 517;
inline constexpr quint32 RightDoubleClick = 518;
inline constexpr quint32 MiddleButtonDown = 519;
inline constexpr quint32 MiddleButtonUp = 520;
inline constexpr quint32 BalloonShown = 1026;
inline constexpr quint32 BalloonHidden = 1027;
inline constexpr quint32 BalloonTimedOut = 1028;
inline constexpr quint32 BalloonClicked = 1029;
} // namespace trayevent

// One request to the notification area. Only the fields named in uFlags
// mean anything; the text fields hold at most their field size less one
// character, as the fixed-size record they stand for did.
struct NotifyIconData
{
    static constexpr qsizetype TipSize = 128;
    static constexpr qsizetype InfoSize = 256;
    static constexpr qsizetype InfoTitleSize = 64;

    quint32 uID = 0;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 0;
    QIcon hIcon;
    QString szTip;
    quint32 dwState = 0;
    quint32 dwStateMask = 0;
    QString szInfo;
    quint32 uTimeout = 0;
    QString szInfoTitle;
    quint32 dwInfoFlags = 0;

    void setTip(const QString &text);
    void setInfo(const QString &text);
    void setInfoTitle(const QString &text);
};

// The text a field of fieldSize characters keeps once its terminator is
// counted; never splits a surrogate pair.
QString fitField(const QString &text, qsizetype fieldSize);

// The notification area as the tray control sees it: one call to add,
// change or remove the icon, and a hook through which the icon's
// notifications reach whoever installed it.
class TrayBackend
{
public:
    // Receives (callback message, icon id, event number) for every
    // notification, as the icon's owner window once did.
    using WindowProc = std::function<void(quint32 message, quint32 iconId, quint32 eventNumber)>;

    TrayBackend() = default;
    virtual ~TrayBackend() = default;
    TrayBackend(const TrayBackend &) = delete;
    TrayBackend &operator=(const TrayBackend &) = delete;

    // The result is advisory: the control never looks at it.
    virtual bool Shell_NotifyIcon(NotifyMessage message, const NotifyIconData &data) = 0;

    // False when the desktop has no notification area to put the icon in;
    // a window that hides itself into the tray must not hide then.
    virtual bool available() const = 0;

    // Installs a hook and hands back the one it replaced, so the caller can
    // put that back when it lets go of the icon.
    WindowProc setWindowProc(WindowProc proc);

protected:
    void post(quint32 message, quint32 iconId, quint32 eventNumber) const;

private:
    WindowProc m_windowProc;
};

} // namespace tidewell
