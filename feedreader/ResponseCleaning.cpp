#include "ResponseCleaning.h"

#include "CloseFinder.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tidewell {

namespace {

// Where the scan stands, as the parser will see it: it decides whether tab,
// CR and LF separate the parts of a tag or would reach a value.
enum class Part
{
    Text,
    Tag,
    Quoted, // an attribute value
    Comment,
    CData,
};

using Delimiters = std::array<uchar, 3>;

// The ASCII characters that end or change a part. Each part has at most
// three; the unused places repeat one of them.
Delimiters delimitersOf(Part part, uchar quote)
{
    switch (part) {
    case Part::Text:
        return {'<', '<', '<'};
    case Part::Tag:
        return {'>', '"', '\''};
    case Part::Quoted:
        return {quote, quote, quote};
    case Part::Comment:
    case Part::CData:
        break;
    }
    return {'>', '>', '>'};
}

// The first byte at or after `from` the scan must look at: a control
// character, a byte outside ASCII or one of the part's delimiters. Feeds are
// mostly plain text between them, passed over sixteen bytes at a time.
qsizetype nextStop(const uchar *text, qsizetype from, qsizetype size, const Delimiters &delimiters)
{
#if defined(__SSE2__)
    const __m128i belowSpace = _mm_set1_epi8(0x1F);
    const __m128i first = _mm_set1_epi8(char(delimiters[0]));
    const __m128i second = _mm_set1_epi8(char(delimiters[1]));
    const __m128i third = _mm_set1_epi8(char(delimiters[2]));
    for (; from + 16 <= size; from += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + from));
        // Signed: 0x80..0xFF are negative, so one comparison finds 0x20..0x7F.
        const __m128i plain = _mm_cmpgt_epi8(here, belowSpace);
        const __m128i delimiter = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(here, first), _mm_cmpeq_epi8(here, second)),
                                               _mm_cmpeq_epi8(here, third));
        const int hits = (~_mm_movemask_epi8(plain) & 0xFFFF) | _mm_movemask_epi8(delimiter);
        if (hits != 0)
            return from + __builtin_ctz(unsigned(hits));
    }
#endif
    for (; from < size; ++from) {
        const uchar c = text[from];
        if (c < 0x20 || c >= 0x80 || c == delimiters[0] || c == delimiters[1] || c == delimiters[2])
            return from;
    }
    return size;
}

// The length of the well-formed UTF-8 sequence that starts at `at`, or 0
// when none does: no overlong forms, no surrogates, nothing past U+10FFFF.
int sequenceLength(const uchar *at, qsizetype available)
{
    const uchar lead = at[0];
    const auto within = [&](qsizetype i, uchar low, uchar high) {
        return i < available && at[i] >= low && at[i] <= high;
    };
    if (lead >= 0xC2 && lead <= 0xDF)
        return within(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const uchar low = lead == 0xE0 ? 0xA0 : 0x80;
        const uchar high = lead == 0xED ? 0x9F : 0xBF;
        return within(1, low, high) && within(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const uchar low = lead == 0xF0 ? 0x90 : 0x80;
        const uchar high = lead == 0xF4 ? 0x8F : 0xBF;
        return within(1, low, high) && within(2, 0x80, 0xBF) && within(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// U+FFFE and U+FFFF, the two XML forbids among those UTF-8 can encode.
bool isForbiddenNonCharacter(const uchar *sequence)
{
    return sequence[0] == 0xEF && sequence[1] == 0xBF && (sequence[2] == 0xBE || sequence[2] == 0xBF);
}

bool startsWith(const uchar *at, qsizetype available, QByteArrayView prefix, bool ignoreCase = false)
{
    if (available < prefix.size())
        return false;
    const QByteArrayView here(at, prefix.size());
    return here.compare(prefix, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
}

constexpr QByteArrayView byteOrderMark = "\xEF\xBB\xBF";
constexpr QByteArrayView replacementCharacter = "\xEF\xBF\xBD";

// The one scan both the cleaning and the mapping back to the source make.
// The sink is told which runs of the source survive as they are (copy) and
// where a byte became U+FFFD (replace).
template <typename Sink>
void scan(QByteArrayView source, Sink &sink)
{
    const auto *text = reinterpret_cast<const uchar *>(source.data());
    const qsizetype size = source.size();
    qsizetype position = source.startsWith(byteOrderMark) ? byteOrderMark.size() : 0;
    qsizetype kept = position; // where the run not yet handed to the sink starts
    const auto remove = [&](qsizetype from, qsizetype to) {
        sink.copy(kept, from);
        kept = to;
    };
    Part part = Part::Text;
    uchar quote = 0;
    Delimiters delimiters = delimitersOf(part, quote);
    const auto enter = [&](Part next) {
        part = next;
        delimiters = delimitersOf(part, quote);
    };
    qsizetype sectionStart = 0; // where a comment's or a CDATA section's content starts
    CloseFinder closer(source);
    while ((position = nextStop(text, position, size, delimiters)) < size) {
        const uchar c = text[position];
        if (c < 0x20) {
            const bool separates = part == Part::Tag && (c == '\t' || c == '\n' || c == '\r');
            if (!separates)
                remove(position, position + 1);
            ++position;
            continue;
        }
        if (c >= 0x80) {
            const int length = sequenceLength(text + position, size - position);
            if (length == 0) {
                remove(position, position + 1);
                sink.replace(position);
                ++position;
                continue;
            }
            if (length == 3 && isForbiddenNonCharacter(text + position))
                remove(position, position + length);
            position += length;
            continue;
        }
        const uchar *here = text + position;
        const qsizetype available = size - position;
        switch (part) {
        case Part::Text: // at '<'
            if (available > 1 && here[1] == '!') {
                if (startsWith(here, available, "<!DOCTYPE", true)) {
                    // The keyword, one character of any kind, then up to the first '>'.
                    const qsizetype close = closer.from(position + 10);
                    if (close >= 0) {
                        remove(position, close + 1);
                        position = close + 1;
                        continue;
                    }
                }
                if (startsWith(here, available, "<!--")) {
                    sectionStart = position + 4;
                    enter(Part::Comment);
                    position = sectionStart;
                    break;
                }
                if (startsWith(here, available, "<![CDATA[")) {
                    sectionStart = position + 9;
                    enter(Part::CData);
                    position = sectionStart;
                    break;
                }
            }
            enter(Part::Tag);
            ++position;
            break;
        case Part::Tag: // at '>' or a quotation mark
            if (c == '>') {
                enter(Part::Text);
            } else {
                quote = c;
                enter(Part::Quoted);
            }
            ++position;
            break;
        case Part::Quoted: // at the closing quotation mark
            enter(Part::Tag);
            ++position;
            break;
        case Part::Comment: // at '>': the end when "--" (or "]]") comes right before it
        case Part::CData: {
            const uchar closing = part == Part::Comment ? '-' : ']';
            if (position - 2 >= sectionStart && text[position - 1] == closing && text[position - 2] == closing)
                enter(Part::Text);
            ++position;
            break;
        }
        }
    }
    sink.copy(kept, size);
}

// Writes what survives into a buffer of its own. The source stays as it
// was, so a document that does not load can still be told where it failed.
class Writer
{
public:
    explicit Writer(QByteArrayView source)
        : m_source(source), m_out(source.size(), Qt::Uninitialized), m_data(m_out.data())
    {
    }

    void copy(qsizetype from, qsizetype to)
    {
        if (to <= from)
            return;
        std::memcpy(m_data + m_written, m_source.data() + from, std::size_t(to - from));
        m_written += to - from;
    }

    void replace(qsizetype at)
    {
        // Three bytes for one: room for them and for all the source has left.
        const qsizetype needed = m_written + replacementCharacter.size() + (m_source.size() - at - 1);
        if (needed > m_out.size()) {
            m_out.resize(std::max(needed, 2 * m_out.size()));
            m_data = m_out.data();
        }
        std::memcpy(m_data + m_written, replacementCharacter.data(), std::size_t(replacementCharacter.size()));
        m_written += replacementCharacter.size();
    }

    QByteArray finish()
    {
        m_out.truncate(m_written);
        return std::move(m_out);
    }

private:
    QByteArrayView m_source;
    QByteArray m_out;
    char *m_data;
    qsizetype m_written = 0;
};

// Counts what the cleaning writes, up to the byte asked about.
class Locator
{
public:
    explicit Locator(qsizetype target) : m_target(target) {}

    void copy(qsizetype from, qsizetype to)
    {
        if (to <= from)
            return;
        if (m_found < 0 && m_produced + (to - from) > m_target)
            m_found = from + (m_target - m_produced);
        m_produced += to - from;
    }

    void replace(qsizetype at)
    {
        if (m_found < 0 && m_produced + replacementCharacter.size() > m_target)
            m_found = at;
        m_produced += replacementCharacter.size();
    }

    // -1 until the cleaning has written that far.
    qsizetype found() const { return m_found; }

private:
    qsizetype m_target;
    qsizetype m_produced = 0;
    qsizetype m_found = -1;
};

} // namespace

QByteArray cleanResponse(QByteArrayView utf8)
{
    Writer writer(utf8);
    scan(utf8, writer);
    return writer.finish();
}

qsizetype sourceOffset(QByteArrayView utf8, qsizetype cleanedOffset)
{
    Locator locator(std::max<qsizetype>(cleanedOffset, 0));
    scan(utf8, locator);
    return locator.found() < 0 ? utf8.size() : locator.found();
}

} // namespace tidewell
