#include "ResponseDecoding.h"

#include <QByteArrayView>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace tidewell {

namespace {

struct ByteOrderMark
{
    QByteArrayView mark;
    QStringConverter::Encoding encoding;
};

// Only these three: a browser reads FF FE 00 00 as UTF-16LE, not UTF-32.
constexpr ByteOrderMark byteOrderMarks[] = {
    {"\xEF\xBB\xBF", QStringConverter::Utf8},
    {"\xFF\xFE", QStringConverter::Utf16LE},
    {"\xFE\xFF", QStringConverter::Utf16BE},
};

bool isWindows1252Label(QByteArrayView label)
{
    static constexpr QByteArrayView labels[] = {
        "ansi_x3.4-1968", "ascii", "cp1252", "cp819", "csisolatin1", "ibm819", "iso-8859-1", "iso-ir-100",
        "iso8859-1", "iso88591", "iso_8859-1", "iso_8859-1:1987", "l1", "latin1", "us-ascii", "windows-1252",
        "x-cp1252"};
    return std::find(std::begin(labels), std::end(labels), label) != std::end(labels);
}

std::optional<QStringDecoder> decoderForLabel(QByteArray label)
{
    label = label.trimmed().toLower();
    if (label.isEmpty())
        return std::nullopt;
    if (isWindows1252Label(label)) {
        QStringDecoder windows1252("windows-1252");
        if (windows1252.isValid())
            return windows1252;
        return QStringDecoder(QStringConverter::Latin1);
    }
    QStringDecoder decoder(label.constData());
    if (decoder.isValid())
        return decoder;
    return std::nullopt;
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

QByteArray unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.sliced(1, value.size() - 2);
    return value.toByteArray();
}

QByteArray charsetParameter(QByteArrayView contentType)
{
    qsizetype start = contentType.indexOf(';');
    while (start >= 0) {
        const qsizetype end = contentType.indexOf(';', start + 1);
        const QByteArrayView parameter =
            trimmed(contentType.sliced(start + 1, (end < 0 ? contentType.size() : end) - start - 1));
        if (parameter.size() > 8 && parameter.first(8).compare("charset=", Qt::CaseInsensitive) == 0)
            return unquoted(trimmed(parameter.sliced(8)));
        start = end;
    }
    return {};
}

// encoding="..." inside a leading <?xml ... ?>, looked for in the first
// kilobyte only, as a browser does.
QByteArray declaredEncoding(QByteArrayView body)
{
    if (!body.startsWith("<?xml"))
        return {};
    const QByteArrayView head = body.first(std::min<qsizetype>(body.size(), 1024));
    const qsizetype end = head.indexOf("?>");
    if (end < 0)
        return {};
    const QByteArrayView declaration = head.first(end);
    qsizetype position = declaration.indexOf("encoding");
    if (position < 0)
        return {};
    position += 8;
    const auto skipSpace = [&] {
        while (position < declaration.size() && QByteArrayView(" \t\r\n").contains(declaration[position]))
            ++position;
    };
    skipSpace();
    if (position >= declaration.size() || declaration[position] != '=')
        return {};
    ++position;
    skipSpace();
    if (position >= declaration.size() || (declaration[position] != '"' && declaration[position] != '\''))
        return {};
    const char quote = declaration[position];
    const qsizetype close = declaration.indexOf(quote, position + 1);
    if (close < 0)
        return {};
    QByteArray label = declaration.sliced(position + 1, close - position - 1).toByteArray();
    // The bytes were readable as ASCII to get this far, so they are not UTF-16.
    if (label.toLower().startsWith("utf-16"))
        return QByteArrayLiteral("utf-8");
    return label;
}

// The decoder a browser would pick, and how much byte-order mark to skip.
// A decoder left empty means UTF-8, which has the fastest path of all.
struct Choice
{
    std::optional<QStringDecoder> decoder;
    qsizetype skip = 0;
};

bool isUtf8Label(const QByteArray &label)
{
    return QStringConverter::encodingForName(label.trimmed().constData()) == QStringConverter::Utf8;
}

Choice chooseDecoder(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArrayView bytes(body);
    for (const ByteOrderMark &bom : byteOrderMarks) {
        if (bytes.startsWith(bom.mark)) {
            if (bom.encoding == QStringConverter::Utf8)
                return {std::nullopt, bom.mark.size()};
            return {QStringDecoder(bom.encoding, QStringDecoder::Flag::Stateless), bom.mark.size()};
        }
    }
    for (const QByteArray &label : {charsetParameter(contentType), declaredEncoding(bytes)}) {
        if (isUtf8Label(label))
            return {};
        if (std::optional<QStringDecoder> decoder = decoderForLabel(label))
            return {std::move(decoder), 0};
    }
    return {};
}

// UTF-8 cannot carry a surrogate that is not half of a pair.
void dropLoneSurrogates(QString &text)
{
    QChar *const chars = text.data();
    const qsizetype size = text.size();
    qsizetype written = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (chars[i].isHighSurrogate() && i + 1 < size && chars[i + 1].isLowSurrogate())
            chars[written++] = chars[i++];
        else if (chars[i].isSurrogate())
            continue;
        chars[written++] = chars[i];
    }
    text.truncate(written);
}

} // namespace

QString decodeResponseText(const QByteArray &body, const QByteArray &contentType)
{
    Choice choice = chooseDecoder(body, contentType);
    const QByteArrayView bytes = QByteArrayView(body).sliced(choice.skip);
    return choice.decoder ? choice.decoder->decode(bytes) : QString::fromUtf8(bytes);
}

QByteArray responseUtf8(QByteArray body, const QByteArray &contentType)
{
    Choice choice = chooseDecoder(body, contentType);
    if (!choice.decoder)
        return body;
    QString text = choice.decoder->decode(QByteArrayView(body).sliced(choice.skip));
    dropLoneSurrogates(text);
    return text.toUtf8();
}

} // namespace tidewell
