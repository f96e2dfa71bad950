#include "DownloadFile.h"
#include "LoopbackServer.h"
#include "NetworkRules.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace tidewell {
namespace {

using test::LoopbackServer;
using Reply = LoopbackServer::Reply;

class DownloadFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        folder = home.path() + QStringLiteral("/pods");
        ASSERT_TRUE(QDir().mkpath(folder));
        target = folder + QStringLiteral("/episode.mp3");
        net::setStallTimeoutForTesting(std::chrono::milliseconds(300));
    }
    void TearDown() override { net::setStallTimeoutForTesting(std::chrono::milliseconds(0)); }

    void writeOldEpisode()
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(oldBytes);
    }

    QByteArray contents() const
    {
        QFile file(target);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Whatever a transfer leaves behind besides the episode itself.
    QStringList strays() const
    {
        QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        entries.removeAll(QStringLiteral("episode.mp3"));
        return entries;
    }

    test::TemporaryHome home;
    LoopbackServer server;
    QString folder;
    QString target;
    const QByteArray oldBytes = QByteArray("the episode from last week");
    const QByteArray newBytes = QByteArray(300000, 'n');
};

TEST_F(DownloadFileTest, ReplacesTheOldEpisodeOnSuccessAndReportsProgress)
{
    writeOldEpisode();
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    qint64 lastReceived = -1;
    qint64 lastTotal = 0;
    EXPECT_TRUE(DownloadFile(server.url(QStringLiteral("/new.mp3")), target, [&](qint64 received, qint64 total) {
        lastReceived = received;
        lastTotal = total;
    }));
    EXPECT_EQ(contents(), newBytes);
    EXPECT_TRUE(strays().isEmpty()) << strays().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(lastReceived, newBytes.size());
    EXPECT_EQ(lastTotal, newBytes.size());
}

TEST_F(DownloadFileTest, PodcastSchemesAndRedirectsAreFollowed)
{
    server.serve("/a", Reply::redirect(302, "/b"));
    server.serve("/b", Reply::redirect(301, "/new.mp3"));
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    QString link = server.url(QStringLiteral("/a"));
    link.replace(QStringLiteral("http://"), QStringLiteral("feed://"));
    EXPECT_TRUE(DownloadFile(link, target));
    EXPECT_EQ(contents(), newBytes);
}

TEST_F(DownloadFileTest, AReadOnlyOldEpisodeIsStillReplaced)
{
    writeOldEpisode();
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadUser);
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    EXPECT_TRUE(DownloadFile(server.url(QStringLiteral("/new.mp3")), target));
    EXPECT_EQ(contents(), newBytes);
}

TEST_F(DownloadFileTest, AMissingFolderOrAnUnfetchableUrlGivesFalse)
{
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    EXPECT_FALSE(DownloadFile(server.url(QStringLiteral("/new.mp3")), home.path() + QStringLiteral("/none/e.mp3")));
    EXPECT_FALSE(QDir(home.path() + QStringLiteral("/none")).exists());
    EXPECT_FALSE(DownloadFile(QStringLiteral("file:///etc/hostname"), target));
    EXPECT_FALSE(DownloadFile(QStringLiteral("ftp://127.0.0.1/e.mp3"), target));
    EXPECT_FALSE(DownloadFile(QString(), target));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(strays().isEmpty());
}

struct FailingServer
{
    const char *name;
    Reply reply;
};

class FailedTransfer : public DownloadFileTest, public testing::WithParamInterface<FailingServer>
{
};

TEST_P(FailedTransfer, LeavesTheOldEpisodeByteForByteAndNothingElse)
{
    writeOldEpisode();
    server.serve("/new.mp3", GetParam().reply);
    EXPECT_FALSE(DownloadFile(server.url(QStringLiteral("/new.mp3")), target));
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty()) << strays().join(QLatin1Char(' ')).toStdString();
}

Reply cut(Reply::Ending ending, qint64 after)
{
    Reply reply = Reply::ok(QByteArray(300000, 'n'), "audio/mpeg");
    reply.ending = ending;
    reply.cutAfter = after;
    return reply;
}

Reply cutWithoutLength()
{
    Reply reply = cut(Reply::Ending::DropAfter, 1000);
    reply.contentLength = false;
    reply.header("Transfer-Encoding", "chunked");
    return reply;
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FailedTransfer,
    testing::Values(FailingServer{"NotFound", Reply::withStatus(404, "<html>Not Found</html>", "text/html")},
                    FailingServer{"ServerError", Reply::withStatus(500, "oops")},
                    FailingServer{"DroppedHalfWay", cut(Reply::Ending::DropAfter, 150000)},
                    FailingServer{"DroppedChunked", cutWithoutLength()},
                    FailingServer{"StalledMidBody", cut(Reply::Ending::StallAfter, 1000)},
                    FailingServer{"StalledBeforeHeaders", cut(Reply::Ending::StallBeforeHeaders, 0)},
                    FailingServer{"TooManyRedirects", Reply::redirect(302, "/new.mp3")}),
    [](const testing::TestParamInfo<FailingServer> &info) { return info.param.name; });

TEST_F(DownloadFileTest, ARefusedConnectionLeavesTheOldEpisode)
{
    writeOldEpisode();
    QString url;
    {
        LoopbackServer gone;
        url = gone.url(QStringLiteral("/new.mp3"));
    }
    EXPECT_FALSE(DownloadFile(url, target));
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty());
}

TEST_F(DownloadFileTest, AFullDiskLeavesTheOldEpisode)
{
    writeOldEpisode();
    server.serve("/new.mp3", Reply::ok(QByteArray(4 << 20, 'n'), "audio/mpeg"));
    // A file-size limit makes writes beyond 64 KiB fail as a full disk would.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool result = DownloadFile(server.url(QStringLiteral("/new.mp3")), target);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result);
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty()) << strays().join(QLatin1Char(' ')).toStdString();
}

TEST_F(DownloadFileTest, AnAbortedTransferLeavesTheOldEpisode)
{
    writeOldEpisode();
    server.serve("/new.mp3", cut(Reply::Ending::StallAfter, 1000));
    net::setStallTimeoutForTesting(std::chrono::milliseconds(60000));
    // The program ends while the episode is half-way: as soon as the server
    // has the request, every transfer is aborted.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (server.hits("/new.mp3") > 0) {
            watch.stop();
            AbortAllTransfers();
        }
    });
    watch.start(5);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(DownloadFile(server.url(QStringLiteral("/new.mp3")), target));
    EXPECT_LT(clock.elapsed(), 30000) << "the abort did not end the wait";
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty());
}

} // namespace
} // namespace tidewell
