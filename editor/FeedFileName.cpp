#include "FeedFileName.h"

namespace tidewell {

QString FileNameForFeed(const QString &name)
{
    return name + QStringLiteral(".mp3");
}

} // namespace tidewell
