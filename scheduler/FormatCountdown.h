#pragma once

#include <QString>

namespace tidewell {

// A second count as the "Download Minute" column shows it: "hh:mm:ss" up to
// one day, "<d> day(s) and hh:mm:ss" beyond. Negative counts show their
// absolute value.
QString FormatCountdown(qint32 seconds);

} // namespace tidewell
