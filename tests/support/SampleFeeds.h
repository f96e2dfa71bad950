#pragma once

#include "LoopbackServer.h"

#include <QByteArray>
#include <QFile>
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

// An episode whose transfer starts and then hangs: the server sends the
// first 100 kB of 1 MiB and nothing more.
inline LoopbackServer::Reply stalledEpisode()
{
    LoopbackServer::Reply reply = LoopbackServer::Reply::ok(QByteArray(1 << 20, 'x'), "audio/mpeg");
    reply.ending = LoopbackServer::Reply::Ending::StallAfter;
    reply.cutAfter = 100000;
    return reply;
}

// The episode a previous download left at path.
inline bool writeOldEpisode(const QString &path, const QByteArray &bytes = "last week's episode")
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace tidewell::test
