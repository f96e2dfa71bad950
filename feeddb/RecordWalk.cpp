#include "RecordWalk.h"

#include "ErrorTrap.h"
#include "RecordSet.h"

#include <optional>

namespace tidewell {

void WalkRecords(RecordSet &records, ErrorTrap &onError, int nameLine, int nextLine,
                 const std::function<void(const QString &name)> &row)
{
    while (!records.Eof()) {
        std::optional<QString> name;
        onError(nameLine, [&] { name = records.Fields(QStringLiteral("name")).toText(); });
        if (name)
            row(*name);
        const int reportsBefore = onError.reportCount();
        onError(nextLine, [&] { records.MoveNext(); });
        if (onError.reportCount() != reportsBefore)
            break;
    }
}

} // namespace tidewell
