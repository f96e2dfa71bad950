#pragma once

#include <QString>

namespace tidewell {

// Button and icon styles, and answers, as the message boxes of the program
// know them (the values are the classic message-box style numbers).
namespace msgbox {
inline constexpr int OkOnly = 0;
inline constexpr int YesNo = 4;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;

inline constexpr int Ok = 1;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace msgbox

// The one way the program talks to the user in a modal box. The window
// classes take it by reference so tests can script the answers.
class MessageBox
{
public:
    virtual ~MessageBox() = default;

    // An empty title means the program title (ProgramTitle.h).
    int show(const QString &prompt, int style = msgbox::OkOnly, const QString &title = {});

protected:
    virtual int present(const QString &prompt, int style, const QString &title) = 0;

    // The report separates its pieces with carriage returns alone; a dialog
    // or a terminal shows them as line breaks only when they are line feeds.
    static QString withLineFeeds(QString text);
};

} // namespace tidewell
