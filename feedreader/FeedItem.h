#pragma once

#include <QString>

#include <vector>

namespace tidewell {

// One item of a feed as the parse step found it. Read-only outside the
// reader.
class FeedItem
{
public:
    // The item's media URL: the episode the download job fetches.
    const QString &url() const { return m_url; }
    const QString &Title() const { return m_title; }
    // The description (Atom: content), with or without mark-up as asked.
    const QString &Description() const { return m_description; }

private:
    friend class FeedReader;

    QString m_url;
    QString m_title;
    QString m_description;
};

using FeedItemCollection = std::vector<FeedItem>;

} // namespace tidewell
