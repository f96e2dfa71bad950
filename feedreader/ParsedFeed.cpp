#include "ParsedFeed.h"

#include <QStringList>

#include <algorithm>

namespace tidewell {

namespace {

enum FeedTypeCode
{
    Rss = 1,
    Rdf = 2,
    Atom = 3,
};

// An element that names a media file, with the type it claims.
struct MediaLink
{
    QString url;
    QString type;
};

// The text a path finds below a node: an element's text with that of all its
// descendants, an attribute's value. A field that cannot be read is empty;
// the other fields of the item are still read.
QString GetNodeText(const DomNode &node, const QString &path)
{
    try {
        const DomNode found = node.selectSingleNode(path);
        return found.isNull() ? QString() : found.nodeTypedValue();
    } catch (...) {
        return {};
    }
}

// "audio/mpeg", "Video/MP4; codecs=avc1" ...: the type names audio or video,
// parameters and letter case aside.
bool isAudioOrVideo(const QString &type)
{
    const QString trimmed = type.trimmed();
    return trimmed.startsWith(u"audio/", Qt::CaseInsensitive) || trimmed.startsWith(u"video/", Qt::CaseInsensitive);
}

// Items list a cover image, a transcript, chapters or a PDF beside the
// episode, and some list nothing else: a file whose stated type (or Media
// RSS medium) is a picture, text or a document is never taken for the
// episode. A file without a type, or of application/octet-stream, may still
// be one.
bool isNeverAnEpisode(const QString &type, const QString &medium)
{
    if (medium == u"image" || medium == u"document")
        return true;
    const QString mediaType = type.section(u';', 0, 0).trimmed().toLower();
    static const QStringList documents = {
        QStringLiteral("application/pdf"),      QStringLiteral("application/msword"),
        QStringLiteral("application/rtf"),      QStringLiteral("application/epub+zip"),
        QStringLiteral("application/json"),     QStringLiteral("application/xml"),
        QStringLiteral("application/x-subrip"), QStringLiteral("application/srt"),
    };
    static const QStringList documentFamilies = {
        QStringLiteral("image/"),
        QStringLiteral("text/"),
        QStringLiteral("application/vnd.ms-"),
        QStringLiteral("application/vnd.openxmlformats-officedocument."),
        QStringLiteral("application/vnd.oasis.opendocument."),
        QStringLiteral("application/json+"), // podcast chapters
    };
    const auto startsThere = [&](const QString &family) { return mediaType.startsWith(family); };
    return documents.contains(mediaType) || std::any_of(documentFamilies.begin(), documentFamilies.end(), startsThere) ||
           mediaType.endsWith(u"+xml") || mediaType.endsWith(u"+json");
}

// The elements at path below the item that may name the episode, in
// document order; those whose URL is blank name nothing.
std::vector<MediaLink> mediaLinks(const DomNode &item, const QString &path, const char *urlAttribute,
                                  bool relMustBeEnclosure)
{
    std::vector<MediaLink> links;
    try {
        for (const DomNode &node : item.selectNodes(path)) {
            if (relMustBeEnclosure && node.getAttribute("rel") != u"enclosure")
                continue;
            QString url = node.getAttribute(urlAttribute).trimmed();
            QString type = node.getAttribute("type");
            if (!url.isEmpty() && !isNeverAnEpisode(type, node.getAttribute("medium")))
                links.push_back({std::move(url), std::move(type)});
        }
    } catch (...) {
        return {};
    }
    return links;
}

// The first MP3 wins, then the first audio or video, then whatever came
// first.
std::optional<MediaLink> preferred(std::vector<MediaLink> links)
{
    for (MediaLink &link : links) {
        if (containsMp3(link.url))
            return std::move(link);
    }
    for (MediaLink &link : links) {
        if (isAudioOrVideo(link.type))
            return std::move(link);
    }
    if (links.empty())
        return std::nullopt;
    return std::move(links.front());
}

} // namespace

std::optional<FeedPaths> feedPaths(int type)
{
    switch (type) {
    case Rss:
        return FeedPaths{QStringLiteral("/rss/channel/item"), QStringLiteral("title"), QStringLiteral("description"),
                         QStringLiteral("link"), QStringLiteral("enclosure"), "url", false};
    case Rdf:
        return FeedPaths{QStringLiteral("/rdf:RDF/item"), QStringLiteral("title"), QStringLiteral("description"),
                         QStringLiteral("link"), QStringLiteral("enclosure"), "url", false};
    case Atom:
        // A link without rel counts as rel="alternate".
        return FeedPaths{QStringLiteral("/feed/entry"), QStringLiteral("title"), QStringLiteral("content"),
                         QStringLiteral("link[@rel='alternate' or not(@rel)]/@href"), QStringLiteral("link"), "href", true};
    default:
        return std::nullopt;
    }
}

bool containsMp3(QStringView text)
{
    // No character outside ASCII folds to any of these, so an ASCII
    // comparison is the whole answer, and a cheap one.
    for (qsizetype dot = text.indexOf(u'.'); dot >= 0 && dot + 4 <= text.size(); dot = text.indexOf(u'.', dot + 1)) {
        const QStringView rest = text.sliced(dot + 1, 3);
        if ((rest[0] == u'm' || rest[0] == u'M') && (rest[1] == u'p' || rest[1] == u'P') && rest[2] == u'3')
            return true;
    }
    return false;
}

ParsedFeed::ParsedFeed(std::shared_ptr<const DomDocument> document, FeedPaths paths, bool allowHtml,
                       QUrl documentUrl)
    : m_document(std::move(document)), m_paths(std::move(paths)), m_allowHtml(allowHtml),
      m_documentUrl(std::move(documentUrl)), m_items(m_document->selectNodes(m_paths.item))
{
}

QString ParsedFeed::episodeUrl(std::size_t index) const
{
    const DomNode &item = m_items.at(index);
    // A link that names an MP3 file is the episode itself.
    const QString link = GetNodeText(item, m_paths.link);
    std::optional<MediaLink> media;
    if (!containsMp3(link)) {
        media = preferred(mediaLinks(item, m_paths.enclosure, m_paths.urlAttribute, m_paths.relMustBeEnclosure));
        if (!media) // Media RSS, for feeds that carry no enclosure
            media = preferred(
                mediaLinks(item, QStringLiteral("media:content | media:group/media:content"), "url", false));
    }
    return resolved(media ? media->url : link.trimmed());
}

QString ParsedFeed::title(std::size_t index) const
{
    return GetNodeText(m_items.at(index), m_paths.title);
}

QString ParsedFeed::description(std::size_t index) const
{
    QString text = GetNodeText(m_items.at(index), m_paths.description);
    return m_allowHtml ? text : stripTags(std::move(text));
}

QString ParsedFeed::resolved(const QString &url) const
{
    if (url.isEmpty() || m_documentUrl.isEmpty())
        return url;
    const QUrl reference(url);
    // Absolute URLs stay exactly as the feed wrote them.
    if (!reference.isValid() || !reference.isRelative())
        return url;
    // For reading: letters beyond ASCII stay letters, and QUrl of the text
    // gives back the encoded form a request sends (toEncoded).
    return m_documentUrl.resolved(reference).toString();
}

} // namespace tidewell
