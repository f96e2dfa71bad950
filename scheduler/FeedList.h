#pragma once

#include "CountdownEngine.h"
#include "StepFailures.h"

#include <QString>

#include <optional>
#include <vector>

namespace tidewell {

class FeedStore;

// One row of the feed list as it stands right after filling.
struct FeedListRow
{
    qint64 row = 0;                // the feed's row in the table: what the schedule knows it by
    QString name;
    QString countdown;             // the whole interval; empty when the minute could not be read
    QString active;                // "Yes", "No", or empty when unreadable
    std::optional<qint16> minute;  // the stored minute, kept for the scheduler
    QString host;                  // of the feed's URL, in lower case; empty when there is none
};

// The steps of reading the list that can fail: pointing the feeds at the
// desktop, the query, and a feed's name, minute or Active flag.
enum class FeedListStep { PointFolders, Query, Name, Minute, Active };

struct FeedListReading
{
    std::vector<FeedListRow> rows;
    StepFailures<FeedListStep> failures;

    // Nothing could be read: no reason to forget the feeds read before.
    bool unreadable() const { return rows.empty() && !failures.empty(); }
};

// Reads the feed list by download minute, as the main window and the command
// line show it. The first reading after a start from the blank template
// points every feed at the desktop (and clears `newDatabase`). A step that
// fails does not stop the reading: a feed whose name cannot be read is
// skipped, its other fields that cannot be read are left empty, and a query
// that fails gives no rows.
FeedListReading ReadFeedList(FeedStore &feeds, bool &newDatabase);

// The rows as the schedule sees them; a minute that could not be read is
// never due.
std::vector<ScheduledFeed> ScheduledFeeds(const std::vector<FeedListRow> &rows, qint32 secondsPerMinute = 60);

} // namespace tidewell
