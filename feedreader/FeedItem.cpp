#include "FeedItem.h"

#include "ParsedFeed.h"

namespace tidewell {

FeedItem::FeedItem(std::shared_ptr<const ParsedFeed> feed, std::size_t index) : m_feed(std::move(feed)), m_index(index)
{
}

void FeedItem::readEpisode() const
{
    if (m_url)
        return;
    ParsedFeed::Episode episode = m_feed->episode(m_index);
    m_url = std::move(episode.url);
    m_expectsMedia = episode.expectsMedia;
}

const QString &FeedItem::url() const
{
    readEpisode();
    return *m_url;
}

bool FeedItem::expectsMedia() const
{
    readEpisode();
    return m_expectsMedia;
}

const QString &FeedItem::Title() const
{
    if (!m_title)
        m_title = m_feed->title(m_index);
    return *m_title;
}

const QString &FeedItem::Description() const
{
    if (!m_description)
        m_description = m_feed->description(m_index);
    return *m_description;
}

} // namespace tidewell
