#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace tidewell {

class Connection;
class ErrorTrap;

// One row of the feed list as it stands right after filling.
struct FeedListRow
{
    QString name;
    QString countdown;             // the whole interval; empty when the minute could not be read
    QString active;                // "Yes", "No", or empty when unreadable
    std::optional<qint16> minute;  // the stored minute, kept for the scheduler
};

// Reads the feed list by download minute, as the main window and the command
// line show it. The first reading after a start from the blank template
// points every feed at the desktop (and clears `newDatabase`). Each failing
// step is reported through the trap at its statement number and the reading
// goes on: a record whose name cannot be read is skipped, a record set that
// cannot be opened gives no rows.
std::vector<FeedListRow> ReadFeedList(Connection &dbConn, ErrorTrap &onError, bool &newDatabase);

} // namespace tidewell
