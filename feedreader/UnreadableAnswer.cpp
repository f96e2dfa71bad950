#include "UnreadableAnswer.h"

#include "ResponseCleaning.h"

#include <algorithm>

namespace tidewell {

namespace {

constexpr QByteArrayView byteOrderMark = "\xEF\xBB\xBF";

QByteArrayView withoutByteOrderMark(QByteArrayView text)
{
    return text.startsWith(byteOrderMark) ? text.sliced(byteOrderMark.size()) : text;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QByteArrayView skipSpace(QByteArrayView text)
{
    while (!text.isEmpty() && isSpace(text.front()))
        text = text.sliced(1);
    return text;
}

bool startsWithIgnoringCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() && text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

// What follows `end`, or nothing when it never comes.
QByteArrayView after(QByteArrayView text, QByteArrayView end)
{
    const qsizetype at = text.indexOf(end);
    return at < 0 ? QByteArrayView() : text.sliced(at + end.size());
}

QByteArrayView nameAt(QByteArrayView text)
{
    qsizetype length = 0;
    while (length < text.size() && !isSpace(text[length]) && text[length] != '>' && text[length] != '/')
        ++length;
    return text.first(length);
}

// The name a reader sees first, as a browser sniffs a page: the first
// element's, past white space, the XML declaration, comments and a document
// type, or "html" when the document type says so.
QByteArrayView leadingElementName(QByteArrayView text)
{
    text = withoutByteOrderMark(text);
    while (true) {
        text = skipSpace(text);
        if (text.startsWith("<?")) {
            text = after(text, "?>");
        } else if (text.startsWith("<!--")) {
            text = after(text.sliced(4), "-->");
        } else if (startsWithIgnoringCase(text, "<!DOCTYPE")) {
            const QByteArrayView declared = nameAt(skipSpace(text.sliced(9)));
            if (declared.compare("html", Qt::CaseInsensitive) == 0)
                return declared;
            text = after(text, ">");
        } else if (text.startsWith('<')) {
            return nameAt(text.sliced(1));
        } else {
            return {};
        }
    }
}

bool isFeedRoot(QStringView name)
{
    return name == u"rss" || name == u"rdf:RDF" || name == u"feed";
}

// "html", "HTML", "xhtml:html": the local name, letter case aside.
bool isHtmlRoot(QStringView name)
{
    return name.sliced(name.lastIndexOf(u':') + 1).compare(u"html", Qt::CaseInsensitive) == 0;
}

QByteArrayView mediaType(QByteArrayView contentType)
{
    const qsizetype parameters = contentType.indexOf(';');
    return (parameters < 0 ? contentType : contentType.first(parameters)).trimmed();
}

bool isJsonType(QByteArrayView type)
{
    return type.compare("application/json", Qt::CaseInsensitive) == 0 ||
           (type.size() > 5 && type.last(5).compare("+json", Qt::CaseInsensitive) == 0);
}

bool isHtmlType(QByteArrayView type)
{
    return type.compare("text/html", Qt::CaseInsensitive) == 0 ||
           type.compare("application/xhtml+xml", Qt::CaseInsensitive) == 0;
}

QString webPage()
{
    return QStringLiteral("the address gives a web page, not a feed");
}

// Line and column, both counted from 1, of a byte of the text: lines end at
// LF, CR LF or a lone CR, and columns count characters, not bytes.
QString lineAndColumn(QByteArrayView text, qsizetype offset)
{
    const qsizetype start = text.startsWith(byteOrderMark) ? byteOrderMark.size() : 0;
    offset = std::clamp(offset, start, text.size());
    qsizetype line = 1;
    qsizetype lineStart = start;
    for (qsizetype i = start; i < offset; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++line;
            lineStart = i + 1;
        }
    }
    qsizetype column = 1;
    for (qsizetype i = lineStart; i < offset; ++i)
        column += (uchar(text[i]) & 0xC0) != 0x80; // not a continuation byte
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

} // namespace

QString reasonNotLoaded(QByteArrayView text, QByteArrayView contentType, const DomDocument::ParseError &error)
{
    const QByteArrayView body = skipSpace(withoutByteOrderMark(text));
    if (body.isEmpty())
        return QStringLiteral("the server sent an empty answer");
    const QByteArrayView type = mediaType(contentType);
    if (body.startsWith('{') || body.startsWith('[') || (isJsonType(type) && !body.startsWith('<')))
        return QStringLiteral("the address gives a JSON document, not an RSS, RDF or Atom feed");
    const QString leading = QString::fromUtf8(leadingElementName(text));
    if (isHtmlRoot(leading) || (isHtmlType(type) && !isFeedRoot(leading)))
        return webPage();
    return QStringLiteral("the feed is not well-formed XML (%1: %2)")
        .arg(lineAndColumn(text, sourceOffset(text, error.offset)), error.description);
}

QString reasonNotAFeed(const QString &rootElementName)
{
    if (isFeedRoot(rootElementName))
        return {};
    if (isHtmlRoot(rootElementName))
        return webPage();
    return QStringLiteral("the document is not an RSS, RDF or Atom feed (its root element is %1)").arg(rootElementName);
}

} // namespace tidewell
