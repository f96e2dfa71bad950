#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <vector>

namespace tidewell {

// A place in a text, both counted from 1: lines end at LF, CR LF or a lone
// CR; columns count characters.
struct TextPosition
{
    qsizetype line = 1;
    qsizetype column = 1;
};

// Where the lines of a text start, noted while the text is cleaned, before
// the parser writes into it.
class LineStarts
{
public:
    // The place of a byte offset. `text` is the cleaned text, also after the
    // parser has read it in place: it writes NULs over some delimiters
    // (once a line's end among them) but moves no character, so the lines
    // come from here and the columns from the text.
    TextPosition at(QByteArrayView text, qsizetype offset) const;

private:
    friend LineStarts cleanResponse(QByteArray &utf8);
    void add(qsizetype start);

    std::vector<quint32> m_starts;
    // Past this many lines (only a text of little else has them) the rest
    // are counted from the parsed text, which may miss a few.
    static constexpr std::size_t maxLines = std::size_t(1) << 22;
    bool m_complete = true;
};

// Makes the response text (UTF-8, passed unshared) fit to load, in its own
// buffer and without moving a byte, so every offset into it is one into the
// text as it came:
// - every document-type declaration ("<!DOCTYPE" in any letter case, one
//   character of any kind, then up to the first ">") and every character
//   XML 1.0 forbids (the C0 controls other than tab, CR and LF, U+FFFE and
//   U+FFFF) is blanked out with tabs, keeping a declaration's line breaks;
// - everything else stays as written, tabs and line breaks included, so
//   attributes on lines of their own read as written. No value keeps a
//   tab, CR or LF written in the document (DomDocument leaves them out when
//   a value is read), so the blanks are gone from every value too, and an
//   address or a title written across lines comes out whole.
// Bytes that are no UTF-8 are left as they are: the parser takes them as any
// character beyond ASCII, and a value reads each as U+FFFD, as
// QString::fromUtf8 does. One pass that writes nothing in a feed that needs
// no blanks, which is nearly every feed.
LineStarts cleanResponse(QByteArray &utf8);

} // namespace tidewell
