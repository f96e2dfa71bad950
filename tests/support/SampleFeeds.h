#pragma once

#include <QByteArray>
#include <QString>

namespace tidewell::test {

// An RSS document whose one item points at the episode by its enclosure
// (its link is a page), as most podcast feeds are written.
inline QByteArray rssWithEpisode(const QString &episodeUrl, const QString &title = QStringLiteral("Latest"))
{
    return QStringLiteral("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>t</title>"
                          "<item><title>%2</title><link>http://127.0.0.1/page.html</link>"
                          "<enclosure url=\"%1\" length=\"7\" type=\"audio/mpeg\"/></item></channel></rss>")
        .arg(episodeUrl, title)
        .toUtf8();
}

} // namespace tidewell::test
