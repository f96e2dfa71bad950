#pragma once

#include <QString>

namespace tidewell {

// Whether the minute field holds a number the statements can take as it
// stands: a plain decimal number (surrounding spaces, a sign, digits and a
// fraction allowed) that a 16-bit minute can hold once rounded.
bool IsNumericMinute(const QString &text);

} // namespace tidewell
