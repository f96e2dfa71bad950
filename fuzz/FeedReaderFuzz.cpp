// Feeds arbitrary bytes through everything the reader does to a response
// once it has arrived, and checks what the cleaning and the places of faults
// promise.

#include "DomDocument.h"
#include "FeedReader.h"
#include "Network.h"
#include "ResponseCleaning.h"
#include "ResponseDecoding.h"
#include "UnreadableAnswer.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tidewell {

class FeedReaderProbe
{
public:
    static LineStarts clean(FeedReader &reader, QByteArray &text) { return reader.CleanResponse(text); }
    static bool parse(FeedReader &reader, std::shared_ptr<const DomDocument> document, int &type, bool allowHtml)
    {
        return reader.ParseFeed(std::move(document), type, allowHtml);
    }
};

} // namespace tidewell

namespace {

using tidewell::DomDocument;
using tidewell::FeedReader;
using tidewell::FeedReaderProbe;
using tidewell::TextPosition;

void require(bool condition, int line = __builtin_LINE())
{
    if (condition)
        return;
    std::fprintf(stderr, "broken promise on line %d\n", line);
    std::abort();
}

// Nothing moved, nothing XML forbids is left, and a line break is never
// blanked out.
void checkCleaning(const QByteArray &before, const QByteArray &after)
{
    require(after.size() == before.size());
    for (qsizetype i = 0; i < after.size(); ++i) {
        const auto c = uchar(after[i]);
        require(c == uchar(before[i]) || c == '\t');
        require(c >= 0x20 || c == '\t' || c == '\n' || c == '\r');
        require((before[i] != '\n' && before[i] != '\r') || c == uchar(before[i]));
        const QByteArrayView rest = QByteArrayView(after).sliced(i);
        require(!rest.startsWith("\xEF\xBF\xBE") && !rest.startsWith("\xEF\xBF\xBF"));
    }
}

// The place of an offset, counted the plain way in the text before it was
// parsed.
TextPosition countedPlace(const QByteArray &text, qsizetype offset)
{
    TextPosition place;
    qsizetype i = text.startsWith("\xEF\xBB\xBF") ? std::min<qsizetype>(3, offset) : 0;
    for (; i < offset; ++i) {
        const char c = text[i];
        if (c == '\n' || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++place.line;
            place.column = 1;
        } else if ((uchar(c) & 0xC0) != 0x80) {
            ++place.column;
        }
    }
    return place;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte chooses how the rest is read: the Content-Type's
    // charset, the type the caller forces and whether HTML is allowed.
    if (size < 1 || size > 1024 * 1024)
        return 0;
    static const char *const contentTypes[] = {"application/xml", "text/xml; charset=iso-8859-1",
                                               "text/xml; charset=\"utf-16\"", "text/html; charset=shift_jis"};
    const std::uint8_t options = data[0];
    const QByteArray body(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QByteArray contentType = contentTypes[options & 3];

    static tidewell::Network network; // never asked to fetch here
    FeedReader reader(network);
    QByteArray text = tidewell::responseUtf8(body, contentType);
    text.detach();
    const QByteArray asItCame = text;
    const tidewell::AnswerSketch sketch = tidewell::sketchAnswer(text);
    const tidewell::LineStarts lines = FeedReaderProbe::clean(reader, text);
    checkCleaning(asItCame, text);
    const QByteArray cleaned = text;

    const QString decoded = QString::fromUtf8(asItCame);
    require(reader.StripHTML(decoded).size() <= decoded.size());

    const auto document = std::make_shared<DomDocument>();
    const bool loaded = document->loadUtf8(text);
    // The same text handed over as QString loads alike, when it is UTF-8 (a
    // name of bytes that do not decode would read as U+FFFD there). Behind a
    // byte-order mark of its own, fromUtf8 keeps any the text has.
    const QString asString = QString::fromUtf8("\xEF\xBB\xBF" + cleaned);
    DomDocument sameAsText;
    const bool loadedAsString = sameAsText.loadXML(asString);
    const bool isUtf8 = asString.toUtf8() == cleaned;
    require(loadedAsString == loaded || !isUtf8);
    if (!loaded) {
        // The parser moved no character: the place counted in the parsed
        // text is the one counted in the text before.
        const DomDocument::ParseError &error = *document->parseError();
        require(error.offset >= 0 && error.offset <= cleaned.size());
        const TextPosition place = lines.at(error.text, error.offset);
        const TextPosition counted = countedPlace(cleaned, error.offset);
        require(place.line == counted.line && place.column == counted.column);
        require(!tidewell::reasonNotLoaded(sketch, contentType, place, error.description).isEmpty());
        return 0;
    }
    require(!document->xml().isEmpty());
    require(document->xml() == sameAsText.xml() || !isUtf8);
    tidewell::reasonNotAFeed(document->rootElementName());
    int type = (options >> 2) & 7; // 0 detects; 4 to 7 are no type at all
    FeedReaderProbe::parse(reader, document, type, (options & 0x20) != 0);
    for (const tidewell::FeedItem &item : *reader.FeedItems()) {
        require(item.url() == item.url().trimmed());
        item.Title();
        item.Description();
    }
    return 0;
}
