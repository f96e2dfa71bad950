#include "RegExp.h"

#include "RuntimeError.h"

#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tidewell {

namespace {

// Finds the first '>' at or after a position. Both patterns ask with
// positions that never go back, so the answer of the last search is reused
// while it still lies ahead and the text is searched once in all, however
// many '<' come before a '>' (or before the end, when none follows).
template <typename View>
class CloseFinder
{
public:
    explicit CloseFinder(View text) : m_text(text) {}

    qsizetype from(qsizetype position)
    {
        if (m_exhausted)
            return -1;
        if (m_found >= position)
            return m_found;
        m_found = position < m_text.size() ? m_text.indexOf(close(), position) : -1;
        m_exhausted = m_found < 0;
        return m_found;
    }

private:
    static auto close()
    {
        if constexpr (std::is_same_v<View, QStringView>)
            return u'>';
        else
            return '>';
    }

    View m_text;
    qsizetype m_found = -1;
    bool m_exhausted = false;
};

// Collects the text that survives and the replacements. With an empty
// replacement the result never outgrows the source, so it is written over
// the source's own buffer: a 20 MB feed is not copied again.
class Output
{
public:
    Output(QString &source, const QString &replacement)
        : m_source(source), m_replacement(replacement), m_inPlace(replacement.isEmpty())
    {
        if (m_inPlace)
            m_buffer = reinterpret_cast<char16_t *>(m_source.data());
        else
            m_result.reserve(m_source.size());
    }

    const char16_t *text() const { return reinterpret_cast<const char16_t *>(m_source.constData()); }

    void keep(qsizetype from, qsizetype to)
    {
        if (to <= from)
            return;
        if (!m_inPlace) {
            m_result.append(QStringView(text() + from, to - from));
            return;
        }
        if (m_written != from)
            std::memmove(m_buffer + m_written, m_buffer + from, std::size_t(to - from) * sizeof(char16_t));
        m_written += to - from;
    }

    void replace()
    {
        if (!m_inPlace)
            m_result.append(m_replacement);
    }

    QString finish()
    {
        if (!m_inPlace)
            return std::move(m_result);
        m_source.truncate(m_written);
        return std::move(m_source);
    }

private:
    QString &m_source;
    const QString &m_replacement;
    const bool m_inPlace;
    char16_t *m_buffer = nullptr;
    qsizetype m_written = 0;
    QString m_result;
};

template <typename Char>
bool startsWithDoctype(const Char *at, qsizetype available, bool ignoreCase)
{
    static constexpr char16_t keyword[] = u"<!DOCTYPE";
    constexpr qsizetype length = std::size(keyword) - 1;
    if (available < length)
        return false;
    for (qsizetype i = 0; i < length; ++i) {
        char16_t c = char16_t(at[i]);
        if (ignoreCase && c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
        if (c != keyword[i])
            return false;
    }
    return true;
}

bool outsideLatin1Printable(char16_t c)
{
    return c < 0x20 || c > 0xFF;
}

// Where the cleaning pattern can next match: a "<!" (a declaration may
// start there) or a character outside 0x20..0xFF. Feeds are mostly text that
// matches neither, so it is skipped eight characters at a time.
qsizetype nextCandidate(const char16_t *text, qsizetype from, qsizetype size)
{
#if defined(__SSE2__)
    const __m128i open = _mm_set1_epi16(u'<');
    const __m128i bang = _mm_set1_epi16(u'!');
    const __m128i lowest = _mm_set1_epi16(0x20);
    const __m128i range = _mm_set1_epi16(0xFF - 0x20);
    const __m128i zero = _mm_setzero_si128();
    const __m128i all = _mm_cmpeq_epi16(zero, zero);
    for (; from + 9 <= size; from += 8) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + from));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + from + 1));
        // c - 0x20, wrapping, exceeds 0xDF exactly when c is outside the range.
        const __m128i excess = _mm_subs_epu16(_mm_sub_epi16(here, lowest), range);
        const __m128i outside = _mm_andnot_si128(_mm_cmpeq_epi16(excess, zero), all);
        const __m128i declaration = _mm_and_si128(_mm_cmpeq_epi16(here, open), _mm_cmpeq_epi16(next, bang));
        const int hits = _mm_movemask_epi8(_mm_or_si128(declaration, outside));
        if (hits != 0)
            return from + __builtin_ctz(unsigned(hits)) / 2;
    }
#endif
    for (; from < size; ++from) {
        const char16_t c = text[from];
        if (outsideLatin1Printable(c) || (c == u'<' && from + 1 < size && text[from + 1] == u'!'))
            return from;
    }
    return size;
}

// "<!DOCTYPE(.|\n)+?>|[^\x20-\xFF]": at each position the declaration is
// tried first, then the single character.
void replaceDoctypeOrControl(Output &out, qsizetype size, bool ignoreCase, bool global)
{
    const char16_t *text = out.text();
    CloseFinder closer(QStringView(text, size));
    constexpr qsizetype keywordLength = 9;
    bool declarationPossible = true;
    qsizetype kept = 0;
    qsizetype position = nextCandidate(text, 0, size);
    while (position < size) {
        qsizetype matchEnd = -1;
        if (text[position] == u'<') {
            if (declarationPossible && startsWithDoctype(text + position, size - position, ignoreCase)) {
                // The keyword, one character of any kind, then up to the first '>'.
                const qsizetype close = closer.from(position + keywordLength + 1);
                if (close >= 0)
                    matchEnd = close + 1;
                else
                    declarationPossible = false; // no '>' left for any later one either
            }
        } else {
            matchEnd = position + 1;
        }
        if (matchEnd < 0) {
            position = nextCandidate(text, position + 1, size);
            continue;
        }
        out.keep(kept, position);
        out.replace();
        kept = matchEnd;
        if (!global)
            break;
        position = nextCandidate(text, matchEnd, size);
    }
    out.keep(kept, size);
}

// "<(.|\n)+?>": a '<', one character of any kind, then up to the first '>'.
void replaceTags(Output &out, qsizetype size, bool global)
{
    const QStringView text(out.text(), size);
    CloseFinder closer(text);
    qsizetype kept = 0;
    qsizetype open = text.indexOf(u'<');
    while (open >= 0) {
        const qsizetype close = closer.from(open + 2);
        if (close < 0)
            break; // nothing closes this '<', so nothing closes a later one
        out.keep(kept, open);
        out.replace();
        kept = close + 1;
        if (!global)
            break;
        open = text.indexOf(u'<', kept);
    }
    out.keep(kept, size);
}

// The first byte at or after `from` that is not plain printable ASCII
// (0x20..0x7F) or that opens "<!". Runs of plain bytes are copied as they are.
qsizetype nextStopByte(const uchar *text, qsizetype from, qsizetype size)
{
#if defined(__SSE2__)
    const __m128i belowSpace = _mm_set1_epi8(0x1F);
    const __m128i open = _mm_set1_epi8('<');
    const __m128i bang = _mm_set1_epi8('!');
    for (; from + 17 <= size; from += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + from));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + from + 1));
        // Signed: 0x80..0xFF are negative, so one comparison finds 0x20..0x7F.
        const __m128i plain = _mm_cmpgt_epi8(here, belowSpace);
        const __m128i declaration = _mm_and_si128(_mm_cmpeq_epi8(here, open), _mm_cmpeq_epi8(next, bang));
        const int stops = ~_mm_movemask_epi8(plain) & 0xFFFF;
        const int hits = stops | _mm_movemask_epi8(declaration);
        if (hits != 0)
            return from + __builtin_ctz(unsigned(hits));
    }
#endif
    for (; from < size; ++from) {
        const uchar c = text[from];
        if (c < 0x20 || c >= 0x80 || (c == '<' && from + 1 < size && text[from + 1] == '!'))
            return from;
    }
    return size;
}

bool isContinuation(uchar c)
{
    return (c & 0xC0) == 0x80;
}

} // namespace

QString RegExp::Replace(QString sourceString, const QString &replaceString) const
{
    const bool doctype = m_pattern == DoctypeOrControlPattern;
    if (!doctype && m_pattern != TagPattern)
        throw RuntimeError::invalidProcedureCall();
    const qsizetype size = sourceString.size();
    Output out(sourceString, replaceString);
    if (doctype)
        replaceDoctypeOrControl(out, size, m_ignoreCase, m_global);
    else
        replaceTags(out, size, m_global);
    return out.finish();
}

QByteArray RegExp::RemoveFromUtf8(QByteArray utf8) const
{
    if (m_pattern != DoctypeOrControlPattern || !m_global)
        throw RuntimeError::invalidProcedureCall();
    const qsizetype size = utf8.size();
    uchar *const text = reinterpret_cast<uchar *>(utf8.data());
    // '>' never occurs inside a multi-byte sequence, so the declaration can be
    // found on the bytes; the same holds for its keyword, which is ASCII.
    CloseFinder closer{QByteArrayView(utf8)};
    constexpr qsizetype keywordLength = 9;
    bool declarationPossible = true;
    qsizetype written = 0;
    qsizetype position = 0;
    const auto put = [&](uchar c) { text[written++] = c; };
    while (position < size) {
        const qsizetype stop = nextStopByte(text, position, size);
        if (stop != position) {
            std::memmove(text + written, text + position, std::size_t(stop - position));
            written += stop - position;
            position = stop;
            if (position == size)
                break;
        }
        const uchar c = text[position];
        if (c == '<') { // opens "<!"
            if (declarationPossible && startsWithDoctype(text + position, size - position, m_ignoreCase)) {
                const qsizetype close = closer.from(position + keywordLength + 1);
                if (close >= 0) {
                    position = close + 1;
                    continue;
                }
                declarationPossible = false;
            }
            put(c);
            ++position;
        } else if ((c == 0xC2 || c == 0xC3) && position + 1 < size && isContinuation(text[position + 1])) {
            // U+0080..U+00FF: the only non-ASCII characters that survive.
            put(c);
            put(text[position + 1]);
            position += 2;
        } else {
            // A control character, a character above U+00FF or a byte that
            // does not decode: each removed. Bytes of one sequence go one by
            // one; none of them could start a surviving character.
            ++position;
        }
    }
    utf8.truncate(written);
    return utf8;
}

} // namespace tidewell
