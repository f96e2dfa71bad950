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

// The same text as UTF-8, the form the document is cleaned and loaded in. A
// body read as UTF-8 comes back as it is, byte-order mark and any bytes that
// do not decode included (they are read as QString::fromUtf8 reads them),
// so nearly every feed costs no copy. Any other body is decoded, and the
// lone surrogates a UTF-16 body may hold are left out.
QByteArray responseUtf8(QByteArray body, const QByteArray &contentType);

} // namespace tidewell
