#pragma once

#include <QString>

#include <functional>

namespace tidewell {

class ErrorTrap;
class RecordSet;

// Walks an open record set as both feed lists fill themselves. Each record's
// name is read first, at `nameLine`; a record whose name cannot be read
// becomes no row, so its values never land in the row before it. `row`
// reads the rest of the record. The walk ends at the last record, or when
// moving to the next one fails (reported at `nextLine`): testing the end
// again and again would only repeat the report.
void WalkRecords(RecordSet &records, ErrorTrap &onError, int nameLine, int nextLine,
                 const std::function<void(const QString &name)> &row);

} // namespace tidewell
