#pragma once

#include <QString>

namespace tidewell {

// The file name a new feed's episode is saved under, made from its name the
// way the editor fills an empty file-name field: "News" gives "News.mp3".
// Window-free, so the command line's import makes the same names.
QString FileNameForFeed(const QString &name);

} // namespace tidewell
