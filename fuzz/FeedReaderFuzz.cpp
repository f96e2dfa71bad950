// Feeds arbitrary bytes through everything the reader does to a response
// once it has arrived, and checks what the cleaning promises.

#include "DomDocument.h"
#include "FeedReader.h"
#include "RegExp.h"
#include "ResponseDecoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tidewell {

class FeedReaderProbe
{
public:
    static QByteArray clean(FeedReader &reader, const QByteArray &body, const QByteArray &contentType)
    {
        return reader.CleanResponse(body, contentType);
    }
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
using tidewell::RegExp;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool onlyPrintableLatin1(const QByteArray &utf8)
{
    for (const QChar c : QString::fromUtf8(utf8)) {
        if (c.unicode() < 0x20 || c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// The cleaning as the engine's general Replace does it, on decoded text: the
// one-pass byte path must agree with it exactly.
QByteArray cleanedTheLongWay(const QString &text)
{
    RegExp engine;
    engine.setIgnoreCase(true);
    engine.setGlobal(true);
    engine.setPattern(RegExp::DoctypeOrControlPattern.toString());
    const QString cleaned = engine.Replace(text, QString());
    for (const QChar c : cleaned)
        require(c.unicode() >= 0x20 && c.unicode() <= 0xFF);
    return cleaned.toUtf8();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte chooses how the rest is read: the Content-Type's
    // charset, the type the caller forces and whether HTML is allowed.
    if (size < 1 || size > 1024 * 1024)
        return 0;
    static const char *const contentTypes[] = {"application/xml", "text/xml; charset=iso-8859-1",
                                               "text/xml; charset=\"utf-16\"", "text/xml; charset=shift_jis"};
    const std::uint8_t options = data[0];
    const QByteArray body(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QByteArray contentType = contentTypes[options & 3];
    const QString text = tidewell::decodeResponseText(body, contentType);

    FeedReader reader;
    const QByteArray cleaned = FeedReaderProbe::clean(reader, body, contentType);
    require(onlyPrintableLatin1(cleaned));
    require(cleaned == cleanedTheLongWay(text));

    const QString stripped = reader.StripHTML(text);
    require(stripped.size() <= text.size());

    DomDocument raw;
    raw.loadXML(text);

    const auto document = std::make_shared<DomDocument>();
    const bool loaded = document->loadUtf8(cleaned);
    DomDocument sameAsText;
    require(sameAsText.loadXML(QString::fromUtf8(cleaned)) == loaded);
    if (!loaded)
        return 0;
    require(!document->xml().isEmpty());
    require(document->xml() == sameAsText.xml());
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
