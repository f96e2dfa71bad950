#pragma once

#include <QByteArray>

namespace tidewell {

class Connection;

// The feed list as an OPML 2.0 document in UTF-8: one outline of type "rss"
// per feed, with its name as text and title and its URL as xmlUrl, in the
// order of the main list. Raises RuntimeError when the list cannot be read.
QByteArray ExportOpml(Connection &dbConn);

} // namespace tidewell
