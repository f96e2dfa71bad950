#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace tidewell {

class Connection;

// One feed outline of an OPML document, its values as written (entities
// resolved, nothing trimmed yet).
struct OpmlFeed
{
    QString text;
    QString title;
    QString xmlUrl;
};

// The feed outlines of a document in document order, nested ones included,
// or, when the document is not OPML, why not (and no feeds).
struct OpmlReading
{
    std::vector<OpmlFeed> feeds;
    QString error;
};

OpmlReading ReadOpml(const QByteArray &document);
// The same for a file; a file that cannot be read is an error too.
OpmlReading ReadOpmlFile(const QString &path);

// Adds every feed that is not in the list yet: interval 60 minutes, saved
// into `folder` under the name the editor would give it, Active. A feed is
// already in the list when its name (trimmed, compared as the editor's name
// check compares) or its URL is, counting the ones added before it. Returns
// one line per feed saying what became of it. All or nothing: when a
// statement fails, RuntimeError leaves the list as it was.
QStringList ImportFeeds(Connection &dbConn, const std::vector<OpmlFeed> &feeds, const QString &folder);

} // namespace tidewell
