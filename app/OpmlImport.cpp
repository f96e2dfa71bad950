#include "OpmlImport.h"

#include "FeedFileName.h"
#include "FeedStore.h"
#include "NetworkRules.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTextBoundaryFinder>

#include <pugixml.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A feed outline names its feed's address, or at least says it is a feed.
// Category outlines do neither, and a url= on a "link" or "include" outline
// is a web page or another OPML file, not a feed.
bool isFeedOutline(const pugi::xml_node &node)
{
    if (node.type() != pugi::node_element || !named(node.name(), "outline"))
        return false;
    const char *type = attributeNamed(node, "type").value();
    return attributeNamed(node, "xmlUrl") || named(type, "rss") || (!*type && attributeNamed(node, "url"));
}

QString feedUrlOf(const pugi::xml_node &node)
{
    const QString xmlUrl = valueOf(node, "xmlUrl");
    return xmlUrl.trimmed().isEmpty() ? valueOf(node, "url") : xmlUrl;
}

std::vector<OpmlFeed> feedOutlines(const pugi::xml_node &body)
{
    std::vector<OpmlFeed> feeds;
    for (pugi::xml_node node = nextWithin(body, body); node; node = nextWithin(node, body)) {
        if (isFeedOutline(node))
            feeds.push_back({valueOf(node, "text"), valueOf(node, "title"), feedUrlOf(node)});
    }
    return feeds;
}

struct FileContents
{
    QByteArray bytes;
    QString error;
};

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString tooLarge()
{
    return QStringLiteral("the file is larger than 16 MiB");
}

// Opened without blocking, since opening a named pipe waits for a writer;
// the type is checked before a byte is read, and no more than the limit is
// ever read, so neither a device nor an endless pipe can hold the import up.
FileContents readBounded(const QString &path)
{
    const FileDescriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0)
        return {{}, systemError()};
    struct stat status = {};
    if (::fstat(file.get(), &status) != 0)
        return {{}, systemError()};
    if (S_ISDIR(status.st_mode))
        return {{}, QStringLiteral("it is a folder")};
    if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode))
        return {{}, QStringLiteral("it is a device, not a file")};
    if (status.st_size > maxOpmlFileBytes)
        return {{}, tooLarge()};
    // A pipe whose writer has not written yet is waited for; one without a
    // writer reads as empty at once.
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);

    constexpr qsizetype chunk = 64 * 1024;
    QByteArray bytes;
    bytes.reserve(S_ISREG(status.st_mode) ? qsizetype(status.st_size) + 1 : chunk);
    for (;;) {
        const qsizetype before = bytes.size();
        bytes.resize(before + chunk);
        const ssize_t got = ::read(file.get(), bytes.data() + before, chunk);
        if (got < 0 && errno == EINTR) {
            bytes.resize(before);
            continue;
        }
        if (got < 0)
            return {{}, systemError()};
        bytes.resize(before + got);
        if (bytes.size() > maxOpmlFileBytes)
            return {{}, tooLarge()};
        if (got == 0)
            return {bytes, {}};
    }
}

// Control characters go (line breaks and tabs become blanks), and so does
// what no text should hold: a lone surrogate, U+FFFE and the like.
QString withoutControls(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
            kept.append(c).append(text.at(++at));
        } else if (c.isSpace()) {
            kept.append(QLatin1Char(' '));
        } else if (c.category() != QChar::Other_Control && !c.isSurrogate() && !c.isNonCharacter()) {
            kept.append(c);
        }
    }
    return kept;
}

constexpr qsizetype unlimited = std::numeric_limits<qsizetype>::max();

qsizetype utf8Size(QStringView text)
{
    qsizetype bytes = 0;
    for (const QChar c : text)
        bytes += c.unicode() < 0x80 ? 1 : (c.unicode() < 0x800 || c.isSurrogate()) ? 2 : 3;
    return bytes;
}

// Where the longest start of `text` that fits both limits ends, stepping
// from one boundary that `next` gives to the next.
template<typename Next>
qsizetype fittingEnd(QStringView text, qsizetype maxUnits, qsizetype maxBytes, Next next)
{
    qsizetype end = 0;
    qsizetype bytes = 0;
    for (qsizetype to = next(end); to > end; to = next(end)) {
        bytes += utf8Size(text.sliced(end, to - end));
        if (to > maxUnits || bytes > maxBytes)
            break;
        end = to;
    }
    return end;
}

// The longest start of `text` within both limits that ends where a
// character as the reader sees it ends, so no surrogate pair and no letter
// with its accents is split. Only one character too long for the limits
// on its own (a letter under hundreds of combining marks) is cut inside,
// between code points, rather than lose the whole text.
QString cutToFit(const QString &text, qsizetype maxUnits, qsizetype maxBytes)
{
    if (text.size() <= maxUnits && utf8Size(text) <= maxBytes)
        return text;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = fittingEnd(text, maxUnits, maxBytes, [&](qsizetype) { return graphemes.toNextBoundary(); });
    if (end == 0) {
        end = fittingEnd(text, maxUnits, maxBytes, [&](qsizetype at) -> qsizetype {
            if (at >= text.size())
                return -1;
            return at + (text.at(at).isHighSurrogate() && at + 1 < text.size() ? 2 : 1);
        });
    }
    return text.left(end);
}

QString cleanUrl(const QString &url)
{
    return withoutControls(url).trimmed();
}

// Anything the transfer cannot fetch: other schemes (javascript:, file:,
// data:, ftp:), relative addresses, addresses without a host.
bool isWebAddress(const QString &url)
{
    return net::isFetchable(net::podcastUrl(url));
}

// Two spellings of one address (feed://host/x and http://host/x, a host in
// capitals) are the same feed.
QString urlKey(const QString &url)
{
    return net::podcastUrl(url).toString();
}

QString nameKey(const QString &name)
{
    return CleanFeedName(name).toCaseFolded();
}

// What the list already holds, read once, so that each feed of the file is
// checked against it without another query: names, addresses, download
// minutes and the files the feeds are saved to.
class ListIndex
{
public:
    explicit ListIndex(const std::vector<FeedRecord> &feeds)
    {
        for (const FeedRecord &feed : feeds) {
            if (!feed.name.isNull())
                m_names.insert(nameKey(feed.name.toText()));
            if (!feed.url.isNull())
                m_urls.insert(urlKey(feed.url.toText()));
            occupyMinute(feed.minute);
            if (!feed.folder.isNull() && !feed.filename.isNull())
                m_files.insert(fileKey(feed.folder.toText(), feed.filename.toText()));
        }
    }

    bool has(const QString &name, const QString &url) const
    {
        return m_names.contains(name.toCaseFolded()) || m_urls.contains(urlKey(url));
    }

    // The first download minute from 60 upward that no feed has, within the
    // range the main list reads; none when all are taken.
    std::optional<int> takeMinute()
    {
        while (m_nextMinute <= maxMinute && m_minutes.contains(m_nextMinute))
            ++m_nextMinute;
        if (m_nextMinute > maxMinute)
            return std::nullopt;
        return m_nextMinute++;
    }

    // The editor's file name for `name`, numbered " (2)", " (3)" ... when
    // another feed already saves to that file in `folder`, since two feeds
    // would replace each other's episode there. "/" would point out of the
    // folder; the length keeps the file within what file systems take.
    QString takeFileName(const QString &folder, const QString &name)
    {
        constexpr qsizetype maxFileNameBytes = 199;
        const QString stem = QString(name).replace(QLatin1Char('/'), QLatin1Char('-'));
        const auto fileNameWith = [&](const QString &tag) {
            const qsizetype room = maxFileNameBytes - utf8Size(FileNameForFeed(tag));
            return FileNameForFeed(cutToFit(stem, unlimited, room).trimmed() + tag);
        };
        // Counted per file name rather than per name, so that many long
        // names cut to one file name do not each count up from the start.
        int &number = m_lastNumber[fileKey(folder, fileNameWith({}))];
        for (;;) {
            const QString fileName = fileNameWith(number < 2 ? QString() : QStringLiteral(" (%1)").arg(number));
            number = number < 2 ? 2 : number + 1;
            const QString key = fileKey(folder, fileName);
            if (!m_files.contains(key)) {
                m_files.insert(key);
                return fileName;
            }
        }
    }

    void add(const QString &name, const QString &url)
    {
        m_names.insert(name.toCaseFolded());
        m_urls.insert(urlKey(url));
    }

private:
    static constexpr int firstMinute = 60;
    static constexpr int maxMinute = 32767;

    static QString fileKey(const QString &folder, const QString &fileName)
    {
        return QDir::cleanPath(folder + QLatin1Char('/') + fileName);
    }

    // A minute the main list reads as taken is taken here too, whatever
    // form it is stored in; one it cannot read takes nothing.
    void occupyMinute(const FieldValue &minute)
    {
        try {
            m_minutes.insert(minute.toInt16());
        } catch (const RuntimeError &) {
        }
    }

    QSet<QString> m_names;
    QSet<QString> m_urls;
    QSet<QString> m_files;
    QSet<int> m_minutes;
    QHash<QString, int> m_lastNumber;
    int m_nextMinute = firstMinute;
};

// Adds one feed of the file unless it is in the list already; says what
// became of it.
QString importFeed(FeedStore &feeds, ListIndex &list, const OpmlFeed &outline, const QString &folder)
{
    QString name = CleanFeedName(outline.title);
    if (name.isEmpty())
        name = CleanFeedName(outline.text);
    const QString url = cleanUrl(outline.url);
    if (url.isEmpty())
        return QStringLiteral("Skipped, no feed URL: ") + name;
    if (name.isEmpty())
        return QStringLiteral("Skipped, no name: ") + url;
    if (!isWebAddress(url))
        return QStringLiteral("Skipped, not a web address: %1 (%2)").arg(name, url);
    if (list.has(name, url))
        return QStringLiteral("Skipped, already in the list: ") + name;
    const std::optional<int> minute = list.takeMinute();
    if (!minute)
        return QStringLiteral("Skipped, every download minute is taken: ") + name;
    feeds.insert({name, QString::number(*minute), list.takeFileName(folder, name), folder, url, true});
    list.add(name, url);
    return QStringLiteral("Added: ") + name;
}

} // namespace

OpmlReading ReadOpml(QByteArray document)
{
    pugi::xml_document xml;
    const pugi::xml_parse_result parsed =
        xml.load_buffer_inplace(document.data(), static_cast<size_t>(document.size()));
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
    FileContents file = readBounded(path);
    if (!file.error.isEmpty())
        return {{}, QStringLiteral("Cannot read %1: %2. Nothing was added.").arg(path, file.error)};
    OpmlReading reading = ReadOpml(std::move(file.bytes));
    if (!reading.error.isEmpty())
        reading.error = QStringLiteral("%1 is not an OPML file: %2. Nothing was added.").arg(path, reading.error);
    return reading;
}

QString CleanFeedName(const QString &name)
{
    const QString tidy = withoutControls(name).normalized(QString::NormalizationForm_C).simplified();
    return cutToFit(tidy, maxFeedNameLength, unlimited).trimmed();
}

QStringList ImportFeeds(FeedStore &feeds, const std::vector<OpmlFeed> &outlines, const QString &folder)
{
    QStringList lines;
    // The checks see what the inserts change, and a failure undoes them all.
    feeds.allOrNothing([&] {
        ListIndex list(feeds.byName());
        for (const OpmlFeed &outline : outlines)
            lines << importFeed(feeds, list, outline, folder);
    });
    return lines;
}

} // namespace tidewell
