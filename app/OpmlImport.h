#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace tidewell {

class FeedStore;

// One feed outline of an OPML document, its values as written (entities
// resolved, nothing trimmed yet). The URL is xmlUrl, or url where xmlUrl is
// missing or blank, as some programs write it; never htmlUrl, which is the
// show's web page.
struct OpmlFeed
{
    QString text;
    QString title;
    QString url;
};

// The feed outlines of a document in document order, nested ones included,
// or, when the document is not OPML, why not (and no feeds).
struct OpmlReading
{
    std::vector<OpmlFeed> feeds;
    QString error;
};

// The largest file an import reads; beyond it the file is refused unread.
inline constexpr qint64 maxOpmlFileBytes = 16 * 1024 * 1024;

OpmlReading ReadOpml(QByteArray document);
// The same for a file, read up to maxOpmlFileBytes; a file that cannot be
// read, a larger one, a folder and a device are errors too. A pipe is read
// to its end; a named pipe nobody writes to reads as empty.
OpmlReading ReadOpmlFile(const QString &path);

// A feed's name on one line, as the import stores it: control characters
// removed, blanks collapsed and trimmed, NFC, at most maxFeedNameLength
// UTF-16 units cut where a character ends.
inline constexpr qsizetype maxFeedNameLength = 100;
QString CleanFeedName(const QString &name);

// Adds every feed that is not in the list yet, so that the list stays one
// the editor accepts: each on the first download minute from 60 upward that
// no feed has, saved into `folder` under the name the editor would give it
// (made unique in that folder and kept under 200 bytes), Active. The name is
// the title, or the text where the title is blank. A feed is already in the
// list when its name (letter case aside) or its URL is, counting the ones
// added before it. Returns one line per feed saying what became of it. All
// or nothing: when a statement fails, RuntimeError leaves the list as it was.
QStringList ImportFeeds(FeedStore &feeds, const std::vector<OpmlFeed> &outlines, const QString &folder);

} // namespace tidewell
