#include "MinuteEntry.h"

#include "FeedStore.h"

#include <cmath>

namespace tidewell {
namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The number without its surrounding spaces when it is written in the one
// form the database reads the same way the main list does; empty otherwise.
QString plainDecimal(const QString &text)
{
    const QString number = TrimBlanks(text);

    qsizetype at = 0;
    if (at < number.size() && (number.at(at) == QLatin1Char('+') || number.at(at) == QLatin1Char('-')))
        ++at;
    qsizetype digits = 0;
    for (; at < number.size() && isDigit(number.at(at)); ++at)
        ++digits;
    if (at < number.size() && number.at(at) == QLatin1Char('.')) {
        for (++at; at < number.size() && isDigit(number.at(at)); ++at)
            ++digits;
    }
    return digits > 0 && at == number.size() ? number : QString();
}

} // namespace

bool IsNumericMinute(const QString &text)
{
    const QString number = plainDecimal(text);
    if (number.isEmpty())
        return false;
    bool ok = false;
    // The main list rounds the stored minute half to even into 16 bits, so
    // that is the range a minute must survive.
    const double rounded = std::nearbyint(number.toDouble(&ok));
    return ok && rounded >= -32768.0 && rounded <= 32767.0;
}

} // namespace tidewell
