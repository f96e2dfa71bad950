#pragma once

#include <QByteArray>

namespace tidewell::bench {

inline constexpr int feedItemCount = 10'000;
inline constexpr qsizetype feedSize = 20 * 1024 * 1024;

// An RSS feed of feedItemCount episodes, each with an enclosure and a
// description in HTML, padded to feedSize bytes.
inline QByteArray makeFeed()
{
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\">\n  <channel>\n"
                            "    <title>Harbour Radio</title>\n    <link>https://example.org/</link>\n";
    const QByteArray tail = "  </channel>\n</rss>\n";
    const QByteArray sentence = "The tide turned early; <b>boats</b> waited at the <a href=\"https://example.org/quay\">"
                                "old quay</a> while the keeper logged the swell.\n";
    QByteArray feed = head;
    feed.reserve(feedSize);
    const qsizetype perItem = (feedSize - head.size() - tail.size()) / feedItemCount;
    for (int i = 0; i < feedItemCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        QByteArray item = "    <item>\n      <title>Episode " + n + ": tides and currents</title>\n"
                          "      <link>https://example.org/episodes/" + n + "</link>\n"
                          "      <guid isPermaLink=\"false\">urn:episode:" + n + "</guid>\n"
                          "      <pubDate>Mon, 01 Jan 2024 06:00:00 GMT</pubDate>\n"
                          "      <enclosure url=\"https://media.example.org/episodes/" + n +
                          ".mp3?from=feed&amp;n=" + n + "\" length=\"12345678\" type=\"audio/mpeg\"/>\n"
                          "      <description><![CDATA[<p>";
        const QByteArray close = "</p>]]></description>\n    </item>\n";
        while (item.size() + close.size() + sentence.size() <= perItem)
            item += sentence;
        item += QByteArray(perItem - item.size() - close.size(), 'x') + close;
        feed += item;
    }
    feed += QByteArray(feedSize - feed.size() - tail.size(), ' ') + tail;
    return feed;
}

} // namespace tidewell::bench
