#include "FeedList.h"

#include "FeedStore.h"
#include "FormatCountdown.h"
#include "PathHelpers.h"

#include <QUrl>

namespace tidewell {
namespace {

std::optional<FeedListRow> readRow(const FeedRecord &record, StepFailures<FeedListStep> &failures)
{
    FeedListRow row;
    if (!attempt(failures, FeedListStep::Name, [&] { row.name = record.name.toText(); }))
        return std::nullopt;
    row.row = record.row;
    // The host is the scheduler's own business: none is no failure.
    if (!record.url.isNull())
        row.host = QUrl(record.url.toText().trimmed()).host().toLower();
    attempt(failures, FeedListStep::Minute, [&] {
        const qint16 minute = record.minute.toInt16();
        row.countdown = FormatCountdown(qint32{minute} * 60);
        row.minute = minute;
    });
    attempt(failures, FeedListStep::Active,
            [&] { row.active = record.active.toBool() ? QStringLiteral("Yes") : QStringLiteral("No"); });
    return row;
}

} // namespace

FeedListReading ReadFeedList(FeedStore &feeds, bool &newDatabase)
{
    FeedListReading list;
    if (newDatabase) {
        attempt(list.failures, FeedListStep::PointFolders, [&] { feeds.pointFoldersAt(GetDesktopPath()); });
        newDatabase = false;
    }
    std::vector<FeedRecord> records;
    attempt(list.failures, FeedListStep::Query, [&] { records = feeds.byMinute(); });
    for (const FeedRecord &record : records) {
        if (std::optional<FeedListRow> row = readRow(record, list.failures))
            list.rows.push_back(std::move(*row));
    }
    return list;
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
