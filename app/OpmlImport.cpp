#include "OpmlImport.h"

#include "Connection.h"
#include "FeedFileName.h"
#include "RecordSet.h"
#include "RuntimeError.h"
#include "Statements.h"

#include <QFile>

#include <pugixml.hpp>

#include <set>
#include <strings.h>

namespace tidewell {
namespace {

// OPML is written by many programs; element and attribute names are matched
// without regard to case so "xmlurl" or "OUTLINE" still count.
bool named(const char *name, const char *wanted)
{
    return ::strcasecmp(name, wanted) == 0;
}

pugi::xml_node childNamed(const pugi::xml_node &parent, const char *wanted)
{
    for (const pugi::xml_node &child : parent.children())
        if (child.type() == pugi::node_element && named(child.name(), wanted))
            return child;
    return {};
}

pugi::xml_attribute attributeNamed(const pugi::xml_node &node, const char *wanted)
{
    for (const pugi::xml_attribute &attribute : node.attributes())
        if (named(attribute.name(), wanted))
            return attribute;
    return {};
}

QString valueOf(const pugi::xml_node &node, const char *attribute)
{
    return QString::fromUtf8(attributeNamed(node, attribute).value());
}

// The next node after `node` in document order without leaving `root`.
// Iterative, so a deeply nested file cannot exhaust the stack.
pugi::xml_node nextWithin(pugi::xml_node node, const pugi::xml_node &root)
{
    if (node.first_child())
        return node.first_child();
    while (node && node != root) {
        if (node.next_sibling())
            return node.next_sibling();
        node = node.parent();
    }
    return {};
}

std::vector<OpmlFeed> feedOutlines(const pugi::xml_node &body)
{
    std::vector<OpmlFeed> feeds;
    for (pugi::xml_node node = nextWithin(body, body); node; node = nextWithin(node, body)) {
        if (node.type() == pugi::node_element && named(node.name(), "outline") && attributeNamed(node, "xmlUrl"))
            feeds.push_back({valueOf(node, "text"), valueOf(node, "title"), valueOf(node, "xmlUrl")});
    }
    return feeds;
}

// A name on one line: line breaks (written as character references) and
// runs of blanks would otherwise reach the list and the file name.
QString nameOf(const OpmlFeed &feed)
{
    const QString text = feed.text.simplified();
    return text.isEmpty() ? feed.title.simplified() : text;
}

// The editor's file name, kept to one file inside the folder: a name such
// as "News/Weather" from another program must not point into a folder that
// does not exist, nor out of the chosen one.
QString fileNameOf(const QString &name)
{
    QString fileName = FileNameForFeed(name);
    fileName.replace(QLatin1Char('/'), QLatin1Char('-'));
    return fileName;
}

bool nameTaken(Connection &dbConn, const QString &name)
{
    RecordSet records;
    records.Open(statements::feedsWithName(name), dbConn);
    return !records.Eof();
}

std::set<QString> urlsInList(Connection &dbConn)
{
    std::set<QString> urls;
    RecordSet records;
    for (records.Open(statements::feedsByName(), dbConn); !records.Eof(); records.MoveNext()) {
        const FieldValue url = records.Fields(QStringLiteral("URL"));
        if (!url.isNull())
            urls.insert(url.toText().trimmed());
    }
    return urls;
}

// Holds the write lock from the first check to the last insert, so the
// checks see what the inserts change and a failure undoes every insert.
class Transaction
{
public:
    explicit Transaction(Connection &dbConn) : m_dbConn(dbConn)
    {
        m_dbConn.Execute(QStringLiteral("begin immediate"));
    }
    ~Transaction()
    {
        if (m_open) {
            try {
                m_dbConn.Execute(QStringLiteral("rollback"));
            } catch (const RuntimeError &) {
                // The database rolls back by itself when the rollback cannot run.
            }
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit()
    {
        m_dbConn.Execute(QStringLiteral("commit"));
        m_open = false;
    }

private:
    Connection &m_dbConn;
    bool m_open = true;
};

} // namespace

OpmlReading ReadOpml(const QByteArray &document)
{
    pugi::xml_document xml;
    const pugi::xml_parse_result parsed = xml.load_buffer(document.constData(), static_cast<size_t>(document.size()));
    if (!parsed)
        return {{}, QStringLiteral("it is not well-formed XML (%1 at byte %2)")
                        .arg(QString::fromUtf8(parsed.description()))
                        .arg(parsed.offset)};
    const pugi::xml_node root = xml.document_element();
    if (!named(root.name(), "opml"))
        return {{}, QStringLiteral("its root element is <%1>, not <opml>").arg(QString::fromUtf8(root.name()))};
    const pugi::xml_node body = childNamed(root, "body");
    if (!body)
        return {{}, QStringLiteral("it has no <body>")};
    return {feedOutlines(body), {}};
}

OpmlReading ReadOpmlFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("Cannot read %1: %2. Nothing was added.").arg(path, file.errorString())};
    OpmlReading reading = ReadOpml(file.readAll());
    if (!reading.error.isEmpty())
        reading.error = QStringLiteral("%1 is not an OPML file: %2. Nothing was added.").arg(path, reading.error);
    return reading;
}

QStringList ImportFeeds(Connection &dbConn, const std::vector<OpmlFeed> &feeds, const QString &folder)
{
    Transaction transaction(dbConn);
    std::set<QString> urls = urlsInList(dbConn);
    QStringList lines;
    for (const OpmlFeed &feed : feeds) {
        const QString name = nameOf(feed);
        const QString url = feed.xmlUrl.trimmed();
        if (name.isEmpty()) {
            lines << QStringLiteral("Skipped, no name: ") + url;
        } else if (url.isEmpty()) {
            lines << QStringLiteral("Skipped, no feed URL: ") + name;
        } else if (urls.count(url) || nameTaken(dbConn, name)) {
            lines << QStringLiteral("Skipped, already in the list: ") + name;
        } else {
            dbConn.Execute(statements::insertFeed(
                {name, QStringLiteral("60"), fileNameOf(name), folder, url, true}));
            urls.insert(url);
            lines << QStringLiteral("Added: ") + name;
        }
    }
    transaction.commit();
    return lines;
}

} // namespace tidewell
