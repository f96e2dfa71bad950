#pragma once

#include "PlatformObject.h"

#include <QString>

namespace tidewell {

// The reader's regular-expression engine. The reader only ever had two jobs
// for it, stripping tags and cleaning a response, and each is a named
// function now: stripTags below and cleanResponse (ResponseCleaning.h). The
// object stays because a reader without an engine reads nothing, as it
// always has.
class RegExp : public PlatformObject
{
};

// Removes every "<", at least one character of any kind, and everything up
// to the next ">" after it (the pattern "<(.|\n)+?>"). Entities are left as
// they are. A backtracking engine needs time quadratic in the length of an
// unclosed "<" span, so this is a scan that reads every character once, and
// it compacts the text in its own buffer: pass it by move.
QString stripTags(QString text);

} // namespace tidewell
