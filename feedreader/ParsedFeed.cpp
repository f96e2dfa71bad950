#include "ParsedFeed.h"

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

// The elements at path below the item that name a file, in document order;
// those whose URL is blank name nothing.
std::vector<MediaLink> mediaLinks(const DomNode &item, const QString &path, const char *urlAttribute,
                                  bool relMustBeEnclosure)
{
    std::vector<MediaLink> links;
    try {
        for (const DomNode &node : item.selectNodes(path)) {
            if (relMustBeEnclosure && node.getAttribute("rel") != u"enclosure")
                continue;
            QString url = node.getAttribute(urlAttribute).trimmed();
            if (!url.isEmpty())
                links.push_back({std::move(url), node.getAttribute("type")});
        }
    } catch (...) {
        return {};
    }
    return links;
}

// Items often list a cover image or a transcript beside the episode: the
// first MP3 wins, then the first audio or video, then whatever came first.
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
    m_tagStripper.setIgnoreCase(true);
    m_tagStripper.setGlobal(true);
    m_tagStripper.setPattern(RegExp::TagPattern.toString());
}

ParsedFeed::Episode ParsedFeed::episode(std::size_t index) const
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
    Episode episode;
    episode.url = resolved(media ? media->url : link.trimmed());
    episode.expectsMedia = (media && isAudioOrVideo(media->type)) || containsMp3(episode.url);
    return episode;
}

QString ParsedFeed::title(std::size_t index) const
{
    return GetNodeText(m_items.at(index), m_paths.title);
}

QString ParsedFeed::description(std::size_t index) const
{
    QString text = GetNodeText(m_items.at(index), m_paths.description);
    return m_allowHtml ? text : m_tagStripper.Replace(std::move(text), QString());
}

QString ParsedFeed::resolved(const QString &url) const
{
    if (url.isEmpty() || m_documentUrl.isEmpty())
        return url;
    const QUrl reference(url);
    // Absolute URLs stay exactly as the feed wrote them.
    if (!reference.isValid() || !reference.isRelative())
        return url;
    return m_documentUrl.resolved(reference).toString(QUrl::FullyEncoded);
}

} // namespace tidewell
