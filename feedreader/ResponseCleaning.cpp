#include "ResponseCleaning.h"

#include "CloseFinder.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tidewell {

namespace {

constexpr QByteArrayView byteOrderMark = "\xEF\xBB\xBF";

// The first byte at or after `from` the cleaning must look at: a control
// character other than tab, "<!" (a document type may start there) or 0xEF
// (U+FFFE and U+FFFF start with it). Feeds are mostly text between them,
// passed over sixteen bytes at a time.
qsizetype nextStop(const uchar *text, qsizetype from, qsizetype size)
{
#if defined(__SSE2__)
    const __m128i lastControl = _mm_set1_epi8(0x1F);
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i open = _mm_set1_epi8('<');
    const __m128i bang = _mm_set1_epi8('!');
    const __m128i noncharacterLead = _mm_set1_epi8(char(0xEF));
    for (; from + 17 <= size; from += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + from));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + from + 1));
        // Unsigned: c <= 0x1F exactly when min(c, 0x1F) is c.
        const __m128i control = _mm_andnot_si128(_mm_cmpeq_epi8(here, tab),
                                                 _mm_cmpeq_epi8(_mm_min_epu8(here, lastControl), here));
        const __m128i declaration = _mm_and_si128(_mm_cmpeq_epi8(here, open), _mm_cmpeq_epi8(next, bang));
        const __m128i stop = _mm_or_si128(_mm_or_si128(control, declaration), _mm_cmpeq_epi8(here, noncharacterLead));
        if (const int hits = _mm_movemask_epi8(stop))
            return from + __builtin_ctz(unsigned(hits));
    }
#endif
    for (; from < size; ++from) {
        const uchar c = text[from];
        if ((c < 0x20 && c != '\t') || c == 0xEF || (c == '<' && from + 1 < size && text[from + 1] == '!'))
            return from;
    }
    return size;
}

bool startsWithDoctype(const uchar *at, qsizetype available)
{
    constexpr QByteArrayView keyword = "<!DOCTYPE";
    return available >= keyword.size() &&
           QByteArrayView(at, keyword.size()).compare(keyword, Qt::CaseInsensitive) == 0;
}

// U+FFFE and U+FFFF.
bool isForbiddenNoncharacter(const uchar *at, qsizetype available)
{
    return available >= 3 && at[0] == 0xEF && at[1] == 0xBF && (at[2] == 0xBE || at[2] == 0xBF);
}

} // namespace

void LineStarts::add(qsizetype start)
{
    if (m_starts.size() < maxLines)
        m_starts.push_back(quint32(start));
    else
        m_complete = false;
}

TextPosition LineStarts::at(QByteArrayView text, qsizetype offset) const
{
    offset = std::clamp<qsizetype>(offset, 0, text.size());
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), quint64(offset));
    TextPosition position;
    position.line = 1 + (after - m_starts.begin());
    qsizetype lineStart = after == m_starts.begin() ? 0 : qsizetype(*(after - 1));
    if (!m_complete && after == m_starts.end()) {
        for (qsizetype i = lineStart; i < offset; ++i) {
            if (text[i] == '\n') {
                ++position.line;
                lineStart = i + 1;
            }
        }
    }
    if (lineStart == 0 && text.startsWith(byteOrderMark))
        lineStart = std::min(byteOrderMark.size(), offset);
    for (qsizetype i = lineStart; i < offset; ++i)
        position.column += (uchar(text[i]) & 0xC0) != 0x80; // a continuation byte adds no character
    return position;
}

LineStarts cleanResponse(QByteArray &utf8)
{
    LineStarts lines;
    const qsizetype size = utf8.size();
    // Only what is reserved and not used costs nothing: a guess on the high
    // side spares copying the list as it grows.
    lines.m_starts.reserve(std::min<std::size_t>(std::size_t(size) / 16 + 16, LineStarts::maxLines));
    auto *const text = reinterpret_cast<uchar *>(utf8.data());
    const auto lineBreakAt = [&](qsizetype i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == size || text[i + 1] != '\n'))) {
            lines.add(i + 1);
            return true;
        }
        return text[i] == '\r';
    };
    const auto blank = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            if (!lineBreakAt(i))
                text[i] = '\t';
        }
    };
    CloseFinder closer{QByteArrayView(utf8)};
    qsizetype position = 0;
    while ((position = nextStop(text, position, size)) < size) {
        const uchar *here = text + position;
        if (*here < 0x20) {
            if (!lineBreakAt(position))
                text[position] = '\t';
            ++position;
        } else if (*here == '<') { // "<!"
            // The keyword, one character of any kind, then up to the first '>'.
            const qsizetype close = startsWithDoctype(here, size - position) ? closer.from(position + 10) : -1;
            const qsizetype end = close >= 0 ? close + 1 : position + 2;
            if (close >= 0)
                blank(position, end);
            position = end;
        } else if (isForbiddenNoncharacter(here, size - position)) {
            blank(position, position + 3);
            position += 3;
        } else {
            ++position;
        }
    }
    return lines;
}

} // namespace tidewell
