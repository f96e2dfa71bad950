#include "FeedList.h"

#include "Connection.h"
#include "ErrorTrap.h"
#include "FormatCountdown.h"
#include "PathHelpers.h"
#include "RecordSet.h"
#include "Statements.h"

namespace tidewell {
namespace {

void readRows(RecordSet &records, ErrorTrap &onError, std::vector<FeedListRow> &rows)
{
    while (!records.Eof()) {
        FeedListRow row;
        bool named = false;
        onError(112, [&] {
            row.name = records.Fields(QStringLiteral("name")).toText();
            named = true;
        });
        // A record without a readable name becomes no row, so its values
        // never land in the row before it.
        if (named) {
            onError(114, [&] {
                const qint16 minute = records.Fields(QStringLiteral("minute")).toInt16();
                row.countdown = FormatCountdown(qint32{minute} * 60);
                row.minute = minute;
            });
            onError(116, [&] {
                row.active = records.Fields(QStringLiteral("Active")).toBool() ? QStringLiteral("Yes")
                                                                               : QStringLiteral("No");
            });
            rows.push_back(std::move(row));
        }
        const int reportsBefore = onError.reportCount();
        onError(118, [&] { records.MoveNext(); });
        if (onError.reportCount() != reportsBefore)
            break;
    }
}

} // namespace

std::vector<FeedListRow> ReadFeedList(Connection &dbConn, ErrorTrap &onError, bool &newDatabase)
{
    RecordSet records; // 100
    if (onError.test(102, [&] { return newDatabase; })) {
        onError(104, [&] { dbConn.Execute(statements::pointFoldersAtDesktop(GetDesktopPath())); });
        newDatabase = false;
    }
    onError(106, [&] { records.Open(statements::feedsByMinute(), dbConn, adodb::OpenStatic, adodb::LockReadOnly); });
    std::vector<FeedListRow> rows;
    // A record set that did not open has no rows to walk; testing its end
    // again and again would only repeat the report.
    if (records.State() != 0) {
        readRows(records, onError, rows);
        onError(120, [&] { records.Close(); });
    }
    return rows;
}

} // namespace tidewell
