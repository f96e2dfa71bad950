#pragma once

#include <QByteArray>
#include <QStringList>

namespace tidewell {

class FeedStore;

struct OpmlExport
{
    QByteArray document;
    // One line per feed whose name or URL lost characters on the way out.
    QStringList changes;
};

// The feed list as an OPML 2.0 document in UTF-8: one outline of type "rss"
// per feed, with its name as text and title and its URL as xmlUrl, in the
// order of the main list. Characters XML 1.0 cannot carry (most control
// characters, lone surrogates, U+FFFE, U+FFFF) are left out, so every XML
// reader takes the document. Raises RuntimeError when the list cannot be
// read.
OpmlExport ExportOpml(const FeedStore &feeds);

} // namespace tidewell
