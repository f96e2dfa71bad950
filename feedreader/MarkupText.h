#pragma once

#include <QString>

namespace tidewell {

// Removes every "<", at least one character of any kind, and everything up
// to the next ">" after it (the pattern "<(.|\n)+?>"). Entities are left as
// they are. A backtracking engine needs time quadratic in the length of an
// unclosed "<" span, so this is a scan that reads every character once, and
// it compacts the text in its own buffer: pass it by move.
QString stripTags(QString text);

} // namespace tidewell
