#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace tidewell {

// The text a feed document is loaded from: the response text, as UTF-8, with
// - a byte-order mark at the start removed;
// - every document-type declaration removed: "<!DOCTYPE" in any letter case,
//   one character of any kind, then everything up to the first ">";
// - every character XML 1.0 forbids removed: the C0 controls other than tab,
//   CR and LF, and U+FFFE and U+FFFF;
// - every byte that is no part of a well-formed UTF-8 sequence read as one
//   U+FFFD, as QString::fromUtf8 reads it (so no lone surrogate either);
// - tab, CR and LF kept where they separate the parts of a tag (between its
//   name, its attributes and its ">", outside quotes) and removed everywhere
//   else: in text, in attribute values, in CDATA sections and comments. A
//   namespace declaration on a line of its own still reads, and an episode
//   URL or a title written across lines still comes out whole.
// Every other character stays, whatever its code. One pass, linear in the
// length of the text however it is built.
QByteArray cleanResponse(QByteArrayView utf8);

// Where the byte at `cleanedOffset` of cleanResponse(utf8) came from in
// utf8; utf8.size() for an offset at or past the end of the cleaned text.
qsizetype sourceOffset(QByteArrayView utf8, qsizetype cleanedOffset);

} // namespace tidewell
