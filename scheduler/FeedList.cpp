#include "FeedList.h"

#include "Connection.h"
#include "ErrorTrap.h"
#include "FormatCountdown.h"
#include "PathHelpers.h"
#include "RecordSet.h"
#include "RecordWalk.h"
#include "Statements.h"

#include <QUrl>

namespace tidewell {
namespace {

// The row and the host are the scheduler's own business: a value that cannot
// be read leaves them empty and reports nothing.
template <typename Read>
void quietly(Read &&read)
{
    try {
        read();
    } catch (const RuntimeError &) {
    }
}

void readRows(RecordSet &records, ErrorTrap &onError, std::vector<FeedListRow> &rows)
{
    WalkRecords(records, onError, 112, 118, [&](const QString &name) {
        FeedListRow row;
        row.name = name;
        quietly([&] { row.row = records.Fields(QStringLiteral("row")).toText().toLongLong(); });
        quietly([&] { row.host = QUrl(records.Fields(QStringLiteral("URL")).toText().trimmed()).host().toLower(); });
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
    onError(106, [&] { records.Open(statements::feedRowsByMinute(), dbConn, adodb::OpenStatic, adodb::LockReadOnly); });
    std::vector<FeedListRow> rows;
    // A record set that did not open has no rows to walk; testing its end
    // again and again would only repeat the report.
    if (records.State() != 0) {
        readRows(records, onError, rows);
        onError(120, [&] { records.Close(); });
    }
    return rows;
}

std::vector<ScheduledFeed> ScheduledFeeds(const std::vector<FeedListRow> &rows, qint32 secondsPerMinute)
{
    std::vector<ScheduledFeed> feeds;
    for (const FeedListRow &row : rows) {
        feeds.push_back({row.row, row.name, row.host, row.minute ? qint32{*row.minute} * secondsPerMinute : 0,
                         row.active == QStringLiteral("Yes")});
    }
    return feeds;
}

} // namespace tidewell
