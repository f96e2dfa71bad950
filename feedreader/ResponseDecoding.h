#pragma once

#include <QByteArray>
#include <QString>

namespace tidewell {

// Turns a response body into text as a browser's request object does: a
// byte-order mark decides first, then the charset parameter of the
// Content-Type, then the encoding named in an XML declaration, else UTF-8.
// Labels a browser reads as windows-1252 (latin1, iso-8859-1, us-ascii ...)
// are read that way here too; a label nobody knows is passed over.
QString decodeResponseText(const QByteArray &body, const QByteArray &contentType);

// Whether decodeResponseText reads this body as UTF-8.
bool readsAsUtf8(const QByteArray &body, const QByteArray &contentType);

} // namespace tidewell
