#include "OpmlExport.h"

#include "Connection.h"
#include "RecordSet.h"
#include "Statements.h"

#include <pugixml.hpp>

namespace tidewell {
namespace {

QByteArray textOf(const FieldValue &value)
{
    return value.isNull() ? QByteArray() : value.toText().toUtf8();
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

QByteArray ExportOpml(Connection &dbConn)
{
    pugi::xml_document xml;
    pugi::xml_node declaration = xml.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node opml = xml.append_child("opml");
    opml.append_attribute("version") = "2.0";
    opml.append_child("head").append_child("title").text() = "Tidewell Episode Keeper feeds";
    pugi::xml_node body = opml.append_child("body");

    RecordSet records;
    for (records.Open(statements::feedsByMinute(), dbConn); !records.Eof(); records.MoveNext()) {
        const QByteArray name = textOf(records.Fields(QStringLiteral("name")));
        pugi::xml_node outline = body.append_child("outline");
        outline.append_attribute("type") = "rss";
        outline.append_attribute("text") = name.constData();
        outline.append_attribute("title") = name.constData();
        outline.append_attribute("xmlUrl") = textOf(records.Fields(QStringLiteral("URL"))).constData();
    }

    ByteArrayWriter writer;
    xml.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    return writer.bytes;
}

} // namespace tidewell
