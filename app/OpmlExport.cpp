#include "OpmlExport.h"

#include "FeedStore.h"

#include <pugixml.hpp>

namespace tidewell {
namespace {

bool isXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// The field's text without what XML forbids, and whether anything went.
std::pair<QString, bool> xmlTextOf(const FieldValue &value)
{
    const QString text = value.isNull() ? QString() : value.toText();
    QString kept;
    kept.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate())
            kept.append(c).append(text.at(++at));
        else if (!c.isSurrogate() && isXmlCharacter(c.unicode()))
            kept.append(c);
    }
    return {kept, kept.size() != text.size()};
}

QString changeLine(const QString &name, bool nameChanged, bool urlChanged)
{
    const QString where = nameChanged && urlChanged ? QStringLiteral("name and URL")
        : nameChanged                               ? QStringLiteral("name")
                                                    : QStringLiteral("URL");
    // The line goes to a terminal: what is left of the name must not steer it.
    QString shown = name;
    shown.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return QStringLiteral("Feed \"%1\": characters XML does not allow were left out of its %2.").arg(shown, where);
}

class ByteArrayWriter : public pugi::xml_writer
{
public:
    void write(const void *data, size_t size) override
    {
        bytes.append(static_cast<const char *>(data), static_cast<qsizetype>(size));
    }
    QByteArray bytes;
};

} // namespace

OpmlExport ExportOpml(const FeedStore &feeds)
{
    pugi::xml_document xml;
    pugi::xml_node declaration = xml.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node opml = xml.append_child("opml");
    opml.append_attribute("version") = "2.0";
    opml.append_child("head").append_child("title").text() = "Tidewell Episode Keeper feeds";
    pugi::xml_node body = opml.append_child("body");

    QStringList changes;
    for (const FeedRecord &feed : feeds.byMinute()) {
        const auto [name, nameChanged] = xmlTextOf(feed.name);
        const auto [url, urlChanged] = xmlTextOf(feed.url);
        const QByteArray nameBytes = name.toUtf8();
        pugi::xml_node outline = body.append_child("outline");
        outline.append_attribute("type") = "rss";
        outline.append_attribute("text") = nameBytes.constData();
        outline.append_attribute("title") = nameBytes.constData();
        outline.append_attribute("xmlUrl") = url.toUtf8().constData();
        if (nameChanged || urlChanged)
            changes << changeLine(name, nameChanged, urlChanged);
    }

    ByteArrayWriter writer;
    xml.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    return {writer.bytes, changes};
}

} // namespace tidewell
