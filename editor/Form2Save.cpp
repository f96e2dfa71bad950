#include "Form2.h"

#include "MinuteEntry.h"
#include "PathHelpers.h"

#include <QCheckBox>
#include <QLineEdit>

#include <optional>

namespace tidewell {

void Form2::PushButton6_Click()
{
    ErrorTrap onError = trap(QStringLiteral("PushButton6_Click"));
    const auto refuse = [&](int line, const QString &message) {
        onError(line, [&] { m_messageBox.show(message); });
    };
    if (onError.test(100, [&] { return !isDirty; }))
        return;
    if (onError.test(102, [&] { return Text1->text().isEmpty(); })) {
        refuse(148, QStringLiteral("Please enter feed name."));
        return;
    }
    if (onError.test(104, [&] { return Text2->text().isEmpty(); })) {
        refuse(146, QStringLiteral("Please enter filename."));
        return;
    }
    if (onError.test(106, [&] { return !IsFolder(Text3->text()); })) {
        refuse(144, QStringLiteral("Folder does not exist. Please select another folder."));
        return;
    }
    if (onError.test(108, [&] { return Text4->text().isEmpty(); })) {
        refuse(142, QStringLiteral("Please enter URL."));
        return;
    }
    // The minute goes to the table as the number typed, so its form is
    // checked here too: leaving the field is not the only way to this button.
    if (!IsNumericMinute(Text5->text())) {
        refuseMinute();
        return;
    }
    // 110: the checks need no record set of their own.
    if (nameTaken(onError)) {
        refuse(118, QStringLiteral("Feed name already exists.\r\nCould not be added."));
        return;
    }
    if (minuteTaken(onError)) {
        refuse(128, Text5->text() + QStringLiteral(" minute(s) already exists.\r\nCould not be added."));
        return;
    }
    if (!writeFeed(onError))
        return;
    isDirty = false; // 138
    onError(140, [&] { listPodCast(); });
}

namespace {

// A check's answer; a check whose query did not run has none, and asking for
// it fails too, which stops the save as if the value were taken.
bool answer(const std::optional<bool> &taken)
{
    if (!taken)
        throw FeedStore::closedError();
    return *taken;
}

} // namespace

bool Form2::nameTaken(ErrorTrap &onError)
{
    // Every statement finds a feed by its name, so no two feeds may share
    // one: a new feed's name and a stored feed's changed name are both
    // checked, the feed itself excepted.
    if (!onError.test(112, [&] { return oldName.isEmpty() || Text1->text() != oldName; }))
        return false;
    std::optional<bool> taken;
    onError(114, [&] { taken = m_dbConn.nameTaken(Text1->text(), oldName); });
    // 120: nothing to close.
    return onError.test(116, [&] { return answer(taken); });
}

bool Form2::minuteTaken(ErrorTrap &onError)
{
    // Any row with the minute refuses it, the loaded feed's own included:
    // only the very text it was loaded with is left unchecked.
    if (!onError.test(122, [&] { return Text5->text() != oldMinute; }))
        return false;
    std::optional<bool> taken;
    onError(124, [&] { taken = m_dbConn.minuteTaken(Text5->text()); });
    // 130: nothing to close.
    return onError.test(126, [&] { return answer(taken); });
}

bool Form2::writeFeed(ErrorTrap &onError)
{
    const FeedFields feed{Text1->text(), Text5->text(), Text2->text(), Text3->text(), Text4->text(),
                          Check1->isChecked()};
    const int reportsBefore = onError.reportCount();
    if (onError.test(132, [&] { return oldName.isEmpty(); }))
        onError(134, [&] { m_dbConn.insert(feed); });
    else
        onError(136, [&] { m_dbConn.update(oldName, feed); });
    // A write the database refused leaves the typed feed in the fields, to
    // be saved again rather than lost to the refill.
    return onError.reportCount() == reportsBefore;
}

} // namespace tidewell
