#include "Form2.h"

#include "MinuteEntry.h"
#include "PathHelpers.h"
#include "RecordSet.h"
#include "Statements.h"

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
    // The minute goes into the statements as typed, so its form is checked
    // here too: leaving the field is not the only way to reach this button.
    if (!IsNumericMinute(Text5->text())) {
        refuseMinute();
        return;
    }
    std::optional<RecordSet> records;
    onError(110, [&] { records.emplace(); });
    if (nameTaken(onError, *records)) {
        refuse(118, QStringLiteral("Feed name already exists.\r\nCould not be added."));
        return;
    }
    if (minuteTaken(onError, *records)) {
        refuse(128, Text5->text() + QStringLiteral(" minute(s) already exists.\r\nCould not be added."));
        return;
    }
    if (!writeFeed(onError))
        return;
    isDirty = false; // 138
    onError(140, [&] { listPodCast(); });
}

bool Form2::nameTaken(ErrorTrap &onError, RecordSet &records)
{
    // Every statement finds a feed by its name, so no two feeds may share
    // one: a new feed's name and a stored feed's changed name are both
    // checked, the feed itself excepted.
    if (!onError.test(112, [&] { return oldName.isEmpty() || Text1->text() != oldName; }))
        return false;
    onError(114, [&] {
        records.Open(statements::feedsWithName(Text1->text()), m_dbConn, adodb::OpenStatic, adodb::LockReadOnly);
    });
    const bool taken = onError.test(116, [&] {
        for (; !records.Eof(); records.MoveNext()) {
            if (oldName.isEmpty() || records.Fields(QStringLiteral("name")).toText() != oldName)
                return true;
        }
        return false;
    });
    if (!taken && onError.test(120, [&] { return records.State() != 0; }))
        onError(120, [&] { records.Close(); });
    return taken;
}

bool Form2::minuteTaken(ErrorTrap &onError, RecordSet &records)
{
    // Any row with the minute refuses it, the loaded feed's own included:
    // only the very text it was loaded with is left unchecked.
    if (!onError.test(122, [&] { return Text5->text() != oldMinute; }))
        return false;
    onError(124, [&] {
        records.Open(statements::feedsWithMinute(Text5->text()), m_dbConn, adodb::OpenStatic, adodb::LockReadOnly);
    });
    const bool taken = onError.test(126, [&] { return !records.Eof(); });
    if (!taken && onError.test(130, [&] { return records.State() != 0; }))
        onError(130, [&] { records.Close(); });
    return taken;
}

bool Form2::writeFeed(ErrorTrap &onError)
{
    const FeedFields feed{Text1->text(), Text5->text(), Text2->text(), Text3->text(), Text4->text(),
                          Check1->isChecked()};
    const int reportsBefore = onError.reportCount();
    if (onError.test(132, [&] { return oldName.isEmpty(); }))
        onError(134, [&] { m_dbConn.Execute(statements::insertFeed(feed)); });
    else
        onError(136, [&] { m_dbConn.Execute(statements::updateFeed(feed, oldName)); });
    // A write the database refused leaves the typed feed in the fields, to
    // be saved again rather than lost to the refill.
    return onError.reportCount() == reportsBefore;
}

} // namespace tidewell
