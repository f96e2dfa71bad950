#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tidewell {

class ParsedFeed;

// One item of a feed as the parse step found it. Read-only outside the
// reader. Each field is read from the document the first time it is asked
// for and kept, so an item keeps its document alive; read an item on one
// thread at a time.
class FeedItem
{
public:
    // The item's media URL: the episode the download job fetches. It reads
    // as the feed wrote it, letters beyond ASCII included; QUrl of it gives
    // the encoded form a request sends (toEncoded).
    const QString &url() const;
    const QString &Title() const;
    // The description (Atom: content), with or without mark-up as asked.
    const QString &Description() const;

private:
    friend class FeedReader;
    FeedItem(std::shared_ptr<const ParsedFeed> feed, std::size_t index);

    std::shared_ptr<const ParsedFeed> m_feed;
    std::size_t m_index;
    mutable std::optional<QString> m_url;
    mutable std::optional<QString> m_title;
    mutable std::optional<QString> m_description;
};

using FeedItemCollection = std::vector<FeedItem>;

} // namespace tidewell
