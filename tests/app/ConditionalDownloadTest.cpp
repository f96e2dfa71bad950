// Episodes and feeds asked for only when they changed, as --download does it.
#include "CommandLineFixture.h"

#include <QDateTime>
#include <QFileInfo>

namespace tidewell::test {
namespace {

using Reply = LoopbackServer::Reply;

class ConditionalDownload : public CommandLine
{
protected:
    Result download() { return run({QStringLiteral("--download"), QStringLiteral("Good")}); }
    QString episodePath() const { return folder + QStringLiteral("show.mp3"); }
};

TEST_F(ConditionalDownload, AFeedThatHasNotChangedConfirmsTheEpisodeWithoutAskingForIt)
{
    const QByteArray feed = rssWithEpisode(server.url(QStringLiteral("/episode.mp3")));
    server.serve("/feed.xml", [feed](const LoopbackServer::Request &request) {
        return request.header("If-None-Match") == "\"f1\"" ? Reply::withStatus(304).header("ETag", "\"f1\"")
                                                           : Reply::ok(feed).header("ETag", "\"f1\"");
    });
    addFeed(QStringLiteral("Good"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    ASSERT_EQ(download().out, QStringLiteral("Done.\n"));
    EXPECT_EQ(server.hits("/episode.mp3"), 1);

    const Result unchanged = download();
    EXPECT_EQ(unchanged.out, QStringLiteral("Done.\n")) << unchanged.err.toStdString();
    EXPECT_EQ(server.hits("/feed.xml"), 2);
    EXPECT_EQ(server.hits("/episode.mp3"), 1) << "the feed said nothing changed, and the file stands as it was left";

    // The file is gone: the feed is read again in full, and the episode fetched.
    ASSERT_TRUE(QFile::remove(episodePath()));
    EXPECT_EQ(download().out, QStringLiteral("Done.\n"));
    EXPECT_EQ(server.hits("/feed.xml"), 4);
    EXPECT_EQ(server.hits("/episode.mp3"), 2);
    EXPECT_EQ(episode(), QByteArray("new episode"));
}

TEST_F(ConditionalDownload, AFileRewrittenWithItsTimeSetBackIsFetchedAgainInFull)
{
    server.serve("/episode.mp3", [](const LoopbackServer::Request &request) {
        return request.header("If-None-Match").isNull() ? Reply::ok("new episode", "audio/mpeg").header("ETag", "\"e1\"")
                                                        : Reply::withStatus(304).header("ETag", "\"e1\"");
    });
    addFeed(QStringLiteral("Good"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    ASSERT_EQ(download().out, QStringLiteral("Done.\n"));
    ASSERT_EQ(download().out, QStringLiteral("Done.\n"));
    EXPECT_EQ(server.requests().last().header("If-None-Match"), QByteArray("\"e1\"")) << "confirmed, not fetched";

    // Other bytes of the same size, the modification time set back.
    const QDateTime modified = QFileInfo(episodePath()).lastModified();
    {
        QFile file(episodePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("old episode");
        ASSERT_TRUE(file.flush());
        ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    ASSERT_EQ(QFileInfo(episodePath()).lastModified(), modified);
    EXPECT_EQ(download().out, QStringLiteral("Done.\n"));
    EXPECT_TRUE(server.requests().last().header("If-None-Match").isNull());
    EXPECT_EQ(episode(), QByteArray("new episode"));
}

} // namespace
} // namespace tidewell::test
