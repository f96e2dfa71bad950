#pragma once

#include "PlatformObject.h"

#include <QString>
#include <QStringView>

namespace tidewell {

// The regular-expression engine as the reader drives it: set IgnoreCase,
// Global and Pattern, then Replace. Only the reader's two patterns are
// understood. A backtracking engine needs time quadratic in the length of an
// unclosed "<" span and std::regex recurses once per character, so each
// pattern is a hand-written scan that reads every character once.
class RegExp : public PlatformObject
{
public:
    // A document-type declaration, or any character outside 0x20..0xFF.
    static constexpr QStringView DoctypeOrControlPattern = u"<!DOCTYPE(.|\\n)+?>|[^\\x20-\\xFF]";
    // A tag: "<", at least one character, then everything up to the next ">".
    static constexpr QStringView TagPattern = u"<(.|\\n)+?>";

    bool IgnoreCase() const { return m_ignoreCase; }
    void setIgnoreCase(bool ignoreCase) { m_ignoreCase = ignoreCase; }
    bool Global() const { return m_global; }
    void setGlobal(bool global) { m_global = global; }
    const QString &Pattern() const { return m_pattern; }
    void setPattern(const QString &pattern) { m_pattern = pattern; }

    // Replaces the matches of Pattern, leftmost first and never overlapping,
    // by replaceString taken literally. With an empty replacement the text is
    // compacted in place, so pass it by move to avoid a copy. Raises error 5
    // for a pattern other than the two above.
    QString Replace(QString sourceString, const QString &replaceString) const;

    // Replace with an empty replacement over UTF-8 text, decoded as a browser
    // decodes it (what does not decode is one replacement character, U+FFFD),
    // in one pass over the bytes and without the UTF-16 copy. Only the
    // cleaning pattern with Global on qualifies (error 5 otherwise). The
    // result is the UTF-8 of the text Replace would return, written over the
    // input's own buffer: what survives is never longer than it was.
    QByteArray RemoveFromUtf8(QByteArray utf8) const;

private:
    bool m_ignoreCase = false;
    bool m_global = false;
    QString m_pattern;
};

} // namespace tidewell
