#include "Form2.h"

#include "FeedFileName.h"
#include "MinuteEntry.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

namespace tidewell {
namespace {

// The 1-based position of `find` in `text` at or after `start`, ignoring
// letter case; 0 when it is not there.
qsizetype instr(qsizetype start, const QString &text, const QString &find)
{
    return text.indexOf(find, start - 1, Qt::CaseInsensitive) + 1;
}

} // namespace

void Form2::Text1_Change()
{
    ErrorTrap onError = trap(QStringLiteral("Text1_Change"));
    if (onError.test(100, [&] { return isFilling; }))
        return;
    isDirty = true; // 102
    if (onError.test(104, [&] { return Text2->text().isEmpty(); }))
        onError(106, [&] { Text2->setText(FileNameForFeed(Text1->text())); });
}

void Form2::Text4_Change()
{
    ErrorTrap onError = trap(QStringLiteral("Text4_Change"));
    if (onError.test(100, [&] { return isFilling; }))
        return;
    isDirty = true; // 102
    if (onError.test(104, [&] { return !Text1->text().isEmpty(); }))
        return;
    const QString url = Text4->text();
    qsizetype p = 0;
    onError(106, [&] { p = instr(1, url, QStringLiteral("www.")); });
    if (onError.test(108, [&] { return p > 0; })) {
        onError(110, [&] { p += 4; });
    } else {
        onError(112, [&] { p = instr(1, url, QStringLiteral("://")); });
        if (onError.test(114, [&] { return p > 0; }))
            onError(116, [&] { p += 3; });
    }
    if (onError.test(118, [&] { return p == 0; }))
        return;
    qsizetype d = 0;
    onError(120, [&] { d = instr(p, url, QStringLiteral(".")); });
    if (onError.test(122, [&] { return d > 0; }))
        onError(124, [&] { Text1->setText(url.mid(p - 1, d - p)); });
    else
        onError(126, [&] { Text1->setText(url.mid(p - 1)); });
}

void Form2::Text5_LostFocus()
{
    if (!IsNumericMinute(Text5->text()))
        refuseMinute();
}

void Form2::minuteFieldLeft()
{
    // Checked already, by the press on a button that took the focus.
    if (!std::exchange(m_minuteCheckPending, false))
        return;
    if (!m_dialog || !m_dialog->isVisible())
        return;
    // Back in the field already (the save refused the minute), or leaving
    // through Cancel or Close, which drop the typed minute anyway.
    const QWidget *focus = m_dialog->focusWidget();
    if (focus == Text5 || focus == PushButton1 || focus == PushButton2)
        return;
    Text5_LostFocus();
}

bool Form2::minuteRefusedBefore(const QPushButton *button)
{
    m_minuteCheckPending = false;
    if (button == PushButton1 || button == PushButton2 || IsNumericMinute(Text5->text()))
        return false;
    refuseMinute();
    return true;
}

void Form2::refuseMinute()
{
    m_messageBox.show(QStringLiteral("Must be a numeric entry."));
    Text5->setFocus();
}

} // namespace tidewell
