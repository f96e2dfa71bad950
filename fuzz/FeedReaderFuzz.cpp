// Feeds arbitrary bytes through everything the reader does to a response
// once it has arrived, and checks what the cleaning promises.

#include "DomDocument.h"
#include "FeedReader.h"
#include "ResponseCleaning.h"
#include "ResponseDecoding.h"
#include "UnreadableAnswer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tidewell {

class FeedReaderProbe
{
public:
    static QByteArray clean(FeedReader &reader, const QByteArray &text) { return reader.CleanResponse(text); }
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

void require(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr char byteOrderMark[] = "\xEF\xBB\xBF";

// Well-formed UTF-8 of characters XML allows.
bool isLoadableText(const QByteArray &utf8)
{
    // Behind a character, so that fromUtf8 keeps a U+FEFF at the start.
    const QString text = QString::fromUtf8('x' + utf8).sliced(1);
    if (text.toUtf8() != utf8)
        return false;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if ((code < 0x20 && code != u'\t' && code != u'\n' && code != u'\r') || code == 0xFFFE || code == 0xFFFF)
            return false;
    }
    return true;
}

// Each cleaned byte maps back to a byte of the text, in order; an ASCII
// byte to the same byte.
void checkSourceOffsets(const QByteArray &text, const QByteArray &cleaned, std::uint8_t seed)
{
    qsizetype previous = 0;
    for (qsizetype step = 1; step <= 4 && !cleaned.isEmpty(); ++step) {
        const qsizetype at = (cleaned.size() - 1) * step * (seed + 1) / (4 * 256);
        const qsizetype source = tidewell::sourceOffset(text, at);
        require(source >= previous && source < text.size());
        if (uchar(cleaned[at]) < 0x80)
            require(text[source] == cleaned[at]);
        previous = source;
    }
    require(tidewell::sourceOffset(text, cleaned.size()) == text.size());
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

    FeedReader reader;
    const QByteArray text = tidewell::responseUtf8(body, contentType);
    const QByteArray cleaned = FeedReaderProbe::clean(reader, text);
    require(isLoadableText(cleaned));
    // Bytes that do not decode are read as decoding them first reads them
    // (which takes off one byte-order mark, as the cleaning does).
    require(cleaned == tidewell::cleanResponse(byteOrderMark + QString::fromUtf8(text).toUtf8()));
    checkSourceOffsets(text, cleaned, options);

    const QString decoded = QString::fromUtf8(text);
    require(reader.StripHTML(decoded).size() <= decoded.size());

    DomDocument raw;
    raw.loadXML(decoded);

    const auto document = std::make_shared<DomDocument>();
    const bool loaded = document->loadUtf8(cleaned);
    DomDocument sameAsText;
    require(sameAsText.loadXML(QString::fromUtf8(cleaned)) == loaded);
    if (!loaded) {
        require(document->parseError().has_value());
        require(document->parseError()->offset >= 0 && document->parseError()->offset <= cleaned.size());
        require(!tidewell::reasonNotLoaded(text, contentType, *document->parseError()).isEmpty());
        return 0;
    }
    require(!document->xml().isEmpty());
    require(document->xml() == sameAsText.xml());
    tidewell::reasonNotAFeed(document->rootElementName());
    int type = (options >> 2) & 7; // 0 detects; 4 to 7 are no type at all
    FeedReaderProbe::parse(reader, document, type, (options & 0x20) != 0);
    for (const tidewell::FeedItem &item : *reader.FeedItems()) {
        require(item.url() == item.url().trimmed());
        require(!item.url().contains(u".mp3", Qt::CaseInsensitive) || item.expectsMedia());
        item.Title();
        item.Description();
    }
    return 0;
}
