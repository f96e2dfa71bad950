#include "FormatCountdown.h"

#include <cstdlib>

namespace tidewell {
namespace {
constexpr qint64 secondsPerDay = 86400;

QString timeOfDay(qint64 seconds)
{
    seconds = std::llabs(seconds) % secondsPerDay;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

QString FormatCountdown(qint32 seconds)
{
    if (seconds < secondsPerDay)
        return timeOfDay(seconds);
    // Whole days are counted as days: 86400 is one day, not zero time.
    // At most 24855 days fit in the 32-bit count, so the day counter cannot
    // overflow here.
    return QString::number(seconds / secondsPerDay) + QStringLiteral(" day(s) and ") + timeOfDay(seconds % secondsPerDay);
}

} // namespace tidewell
