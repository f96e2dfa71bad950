#pragma once

#include "DomDocument.h"

#include <QByteArrayView>
#include <QString>

namespace tidewell {

// Why an answer gave no feed, in the words the program shows.

// Text that did not load as XML: an empty answer, a JSON document, a web
// page, or a feed that is not well-formed, with the line and column of the
// fault in the text as it came. `text` is the response text as UTF-8
// (responseUtf8); the error's offset is into cleanResponse(text).
QString reasonNotLoaded(QByteArrayView text, QByteArrayView contentType, const DomDocument::ParseError &error);

// A well-formed document of no feed type the reader knows. Empty when its
// root is a feed's after all (a channel without items, say): what is
// missing then is not the kind of document.
QString reasonNotAFeed(const QString &rootElementName);

} // namespace tidewell
