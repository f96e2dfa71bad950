#include "UnreadableAnswer.h"

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

} // namespace

AnswerSketch sketchAnswer(QByteArrayView text)
{
    const QByteArrayView body = skipSpace(withoutByteOrderMark(text));
    AnswerSketch sketch;
    sketch.blank = body.isEmpty();
    sketch.json = body.startsWith('{') || body.startsWith('[');
    sketch.leadingName = leadingElementName(body).toByteArray();
    return sketch;
}

QString reasonNotLoaded(const AnswerSketch &sketch, QByteArrayView contentType, TextPosition fault,
                        const QString &description)
{
    if (sketch.blank)
        return QStringLiteral("the server sent an empty answer");
    const QByteArrayView type = mediaType(contentType);
    const QString leading = QString::fromUtf8(sketch.leadingName);
    if (sketch.json || (isJsonType(type) && leading.isEmpty()))
        return QStringLiteral("the address gives a JSON document, not an RSS, RDF or Atom feed");
    if (isHtmlRoot(leading) || (isHtmlType(type) && !isFeedRoot(leading)))
        return webPage();
    return QStringLiteral("the feed is not well-formed XML (line %1, column %2: %3)")
        .arg(fault.line)
        .arg(fault.column)
        .arg(description);
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
