#include "FeedItem.h"

#include "ParsedFeed.h"

namespace tidewell {

FeedItem::FeedItem(std::shared_ptr<const ParsedFeed> feed, std::size_t index) : m_feed(std::move(feed)), m_index(index)
{
}

const QString &FeedItem::url() const
{
    if (!m_url)
        m_url = m_feed->episodeUrl(m_index);
    return *m_url;
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
