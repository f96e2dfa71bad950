#include "FeedList.h"

#include "Connection.h"
#include "ErrorTrap.h"
#include "FormatCountdown.h"
#include "PathHelpers.h"
#include "RecordSet.h"
#include "RecordWalk.h"
#include "Statements.h"

namespace tidewell {
namespace {

void readRows(RecordSet &records, ErrorTrap &onError, std::vector<FeedListRow> &rows)
{
    WalkRecords(records, onError, 112, 118, [&](const QString &name) {
        FeedListRow row;
        row.name = name;
        onError(114, [&] {
            const qint16 minute = records.Fields(QStringLiteral("minute")).toInt16();
            row.countdown = FormatCountdown(qint32{minute} * 60);
            row.minute = minute;
        });
        onError(116, [&] {
            row.active = records.Fields(QStringLiteral("Active")).toBool() ? QStringLiteral("Yes") : QStringLiteral("No");
        });
        rows.push_back(std::move(row));
    });
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
