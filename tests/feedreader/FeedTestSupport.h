#pragma once

#include "FeedReader.h"
#include "LoopbackServer.h"
#include "Network.h"

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for text.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tidewell::test {

inline QByteArray sampleFeed(const char *name)
{
    QFile file(QStringLiteral(TIDEWELL_TEST_DATA "/") + QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "missing sample " << name;
    return file.readAll();
}

inline const FeedItemCollection &itemsOf(const FeedReader &reader)
{
    static const FeedItemCollection none;
    const auto items = reader.FeedItems();
    return items ? *items : none;
}

// A reader and a server to read from; `read` fetches one path of it.
class FeedReaderTest : public ::testing::Test
{
protected:
    bool read(const QByteArray &path, bool allowHtml = true, const QString &user = {}, const QString &password = {})
    {
        return reader.ReadFeed(server.url(QString::fromLatin1(path)), user, password, lType, allowHtml);
    }

    bool readSample(const char *name, bool allowHtml = true)
    {
        server.serve("/feed.xml", LoopbackServer::Reply::ok(sampleFeed(name)));
        return read("/feed.xml", allowHtml);
    }

    const FeedItemCollection &items() const { return itemsOf(reader); }

    LoopbackServer server;
    Network network;
    FeedReader reader{network};
    int lType = 0;
};

} // namespace tidewell::test
