#pragma once

#include "CountdownEngine.h"

#include <QString>

#include <optional>
#include <vector>

namespace tidewell {

class Connection;
class ErrorTrap;

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

// Reads the feed list by download minute, as the main window and the command
// line show it. The first reading after a start from the blank template
// points every feed at the desktop (and clears `newDatabase`). Each failing
// step is reported through the trap at its statement number and the reading
// goes on: a record whose name cannot be read is skipped, a record set that
// cannot be opened gives no rows.
std::vector<FeedListRow> ReadFeedList(Connection &dbConn, ErrorTrap &onError, bool &newDatabase);

// The rows as the schedule sees them; a minute that could not be read is
// never due.
std::vector<ScheduledFeed> ScheduledFeeds(const std::vector<FeedListRow> &rows, qint32 secondsPerMinute = 60);

} // namespace tidewell
