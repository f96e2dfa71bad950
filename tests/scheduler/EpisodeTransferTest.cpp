#include "EpisodeTransfer.h"
#include "Gzip.h"
#include "LoopbackServer.h"
#include "Network.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace tidewell {
namespace {

using test::LoopbackServer;
using Reply = LoopbackServer::Reply;
using test::gzip;


// Bytes that do not compress to nothing, so a cut falls inside the stream.
QByteArray noise(qsizetype size)
{
    QByteArray bytes(size, '\0');
    quint32 state = 12345;
    for (char &byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

class EpisodeTransferTest : public testing::Test
{
protected:
    void SetUp() override
    {
        folder = home.path() + QStringLiteral("/pods");
        ASSERT_TRUE(QDir().mkpath(folder));
        target = folder + QStringLiteral("/episode.mp3");
        network.setStallTimeout(std::chrono::milliseconds(300));
    }

    void writeOldEpisode()
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(oldBytes);
    }

    QString partialFolder() const
    {
        return home.path() + QStringLiteral("/state/Marrowby/Tidewell Episode Keeper/partial");
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

    TransferOutcome transfer(const QByteArray &path)
    {
        TransferRequest request;
        request.url = server.url(QString::fromLatin1(path));
        request.localPath = target;
        return TransferEpisode(network, request);
    }

    test::TemporaryHome home;
    LoopbackServer server;
    Network network;
    QString folder;
    QString target;
    const QByteArray oldBytes = QByteArray("the episode from last week");
    const QByteArray newBytes = QByteArray(300000, 'n');
};

TEST_F(EpisodeTransferTest, ReplacesTheOldEpisodeOnSuccessAndReportsProgress)
{
    writeOldEpisode();
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    qint64 lastReceived = -1;
    qint64 lastTotal = 0;
    EXPECT_TRUE(DownloadFile(network, server.url(QStringLiteral("/new.mp3")), target,
                             [&](qint64 received, qint64 total) {
                                 lastReceived = received;
                                 lastTotal = total;
                             }));
    EXPECT_EQ(contents(), newBytes);
    EXPECT_TRUE(strays().isEmpty()) << strays().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(lastReceived, newBytes.size());
    EXPECT_EQ(lastTotal, newBytes.size());
    const LoopbackServer::Request request = server.requests().first();
    EXPECT_EQ(request.header("Accept-Encoding"), "identity"); // audio does not compress
    EXPECT_TRUE(request.header("User-Agent").startsWith("Tidewell-Episode-Keeper/"));
}

TEST_F(EpisodeTransferTest, PodcastSchemesAndRedirectsAreFollowed)
{
    server.serve("/a", Reply::redirect(302, "/b"));
    server.serve("/b", Reply::redirect(301, "/new.mp3"));
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    QString link = server.url(QStringLiteral("/a"));
    link.replace(QStringLiteral("http://"), QStringLiteral("feed://"));
    EXPECT_TRUE(DownloadFile(network, link, target));
    EXPECT_EQ(contents(), newBytes);
}

TEST_F(EpisodeTransferTest, AChunkedEpisodeIsWholeAtItsLastChunk)
{
    Reply reply = Reply::ok(newBytes, "audio/mpeg");
    reply.chunked = true;
    server.serve("/new.mp3", reply);
    EXPECT_EQ(transfer("/new.mp3").kind, TransferOutcome::Kind::Downloaded);
    EXPECT_EQ(contents(), newBytes);
}

TEST_F(EpisodeTransferTest, AGzippedEpisodeSentUnaskedIsUnpackedWhenWhole)
{
    const QByteArray episode = noise(200000);
    Reply reply = Reply::ok(gzip(episode), "audio/mpeg");
    reply.header("Content-Encoding", "gzip");
    reply.contentLength = false; // only the stream's own end can tell
    server.serve("/new.mp3", reply);
    EXPECT_EQ(transfer("/new.mp3").kind, TransferOutcome::Kind::Downloaded);
    EXPECT_EQ(contents(), episode);
}

TEST_F(EpisodeTransferTest, AReadOnlyOldEpisodeIsStillReplaced)
{
    writeOldEpisode();
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadUser);
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    EXPECT_TRUE(DownloadFile(network, server.url(QStringLiteral("/new.mp3")), target));
    EXPECT_EQ(contents(), newBytes);
}

TEST_F(EpisodeTransferTest, AMissingFolderOrAnUnfetchableUrlGivesFalse)
{
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    EXPECT_FALSE(DownloadFile(network, server.url(QStringLiteral("/new.mp3")), home.path() + QStringLiteral("/none/e.mp3")));
    EXPECT_FALSE(QDir(home.path() + QStringLiteral("/none")).exists());
    EXPECT_FALSE(DownloadFile(network, QStringLiteral("file:///etc/hostname"), target));
    EXPECT_FALSE(DownloadFile(network, QStringLiteral("ftp://127.0.0.1/e.mp3"), target));
    EXPECT_FALSE(DownloadFile(network, QString(), target));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(strays().isEmpty());
}

struct FailingServer
{
    const char *name;
    Reply reply;
    const char *reason; // a part of the reason the outcome gives
    Failure::Kind kind;  // what kind of failure it is
};

void PrintTo(const FailingServer &server, std::ostream *out)
{
    *out << server.name;
}

class FailedTransfer : public EpisodeTransferTest, public testing::WithParamInterface<FailingServer>
{
};

TEST_P(FailedTransfer, LeavesTheOldEpisodeByteForByteAndSaysWhy)
{
    writeOldEpisode();
    server.serve("/new.mp3", GetParam().reply);
    const TransferOutcome outcome = transfer("/new.mp3");
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Failed);
    EXPECT_TRUE(outcome.failure.text().contains(QString::fromUtf8(GetParam().reason)))
        << outcome.failure.text().toStdString();
    EXPECT_EQ(outcome.failure.kind, GetParam().kind) << outcome.failure.text().toStdString();
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty()) << strays().join(QLatin1Char(' ')).toStdString();
}

Reply cut(Reply::Ending ending, qint64 after, Reply reply = Reply::ok(QByteArray(300000, 'n'), "audio/mpeg"))
{
    reply.ending = ending;
    reply.cutAfter = after;
    return reply;
}

Reply chunked(Reply reply)
{
    reply.chunked = true;
    return reply;
}

Reply withoutLength(Reply reply)
{
    reply.contentLength = false;
    return reply;
}

Reply gzipped(const QByteArray &body)
{
    Reply reply = Reply::ok(gzip(body), "audio/mpeg");
    reply.header("Content-Encoding", "gzip");
    return reply;
}

Reply damaged(Reply reply)
{
    reply.body[reply.body.size() / 2] = static_cast<char>(reply.body[reply.body.size() / 2] ^ 0x55);
    return reply;
}

Reply raw(const QByteArray &head, const QByteArray &body)
{
    Reply reply;
    reply.rawHead = head;
    reply.body = body;
    return reply;
}

Reply endlessHeader()
{
    Reply reply = raw("HTTP/1.1 200 OK\r\nX-Never-Ends: ", {});
    reply.stream = [] { return QByteArray(64 * 1024, 'a'); };
    return reply;
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FailedTransfer,
    testing::Values(
        FailingServer{"NotFound", Reply::withStatus(404, "<html>Not Found</html>", "text/html"), "HTTP 404 Not Found", Failure::Kind::Http},
        FailingServer{"ServerError", Reply::withStatus(500, "oops"), "HTTP 500", Failure::Kind::Http},
        FailingServer{"DroppedHalfWay", cut(Reply::Ending::DropAfter, 150000), "150000 of 300000 bytes", Failure::Kind::Incomplete},
        FailingServer{"DroppedChunked", chunked(cut(Reply::Ending::DropAfter, 1000)), "last chunk", Failure::Kind::Incomplete},
        FailingServer{"DroppedWithoutLength", withoutLength(Reply::ok(QByteArray(1000, 'n'), "audio/mpeg")),
                      "never said how long", Failure::Kind::Refused},
        FailingServer{"GzipCutWithLength", cut(Reply::Ending::DropAfter, 50000, gzipped(noise(200000))),
                      "closed after 50000", Failure::Kind::Incomplete},
        FailingServer{"GzipCutChunked", chunked(cut(Reply::Ending::DropAfter, 50000, gzipped(noise(200000)))),
                      "last chunk", Failure::Kind::Incomplete},
        FailingServer{"GzipCutWithoutLength",
                      withoutLength(cut(Reply::Ending::DropAfter, 50000, gzipped(noise(200000)))), "ended early", Failure::Kind::Incomplete},
        FailingServer{"GzipDamaged", damaged(gzipped(noise(5000))), "damaged", Failure::Kind::Protocol},
        FailingServer{"UnknownEncoding", Reply::ok("....", "audio/mpeg").header("Content-Encoding", "br"), "(br)", Failure::Kind::Refused},
        FailingServer{"EmptyOk", Reply::ok({}, "audio/mpeg"), "empty file (HTTP 200 OK)", Failure::Kind::Refused},
        FailingServer{"NoContent", Reply::withStatus(204), "empty file (HTTP 204", Failure::Kind::Refused},
        FailingServer{"UnaskedPartial", Reply::withStatus(206, "part", "audio/mpeg"), "206", Failure::Kind::Refused},
        FailingServer{"UnaskedNotModified", Reply::withStatus(304), "HTTP 304", Failure::Kind::Http},
        FailingServer{"ConflictingLengths",
                      raw("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 8\r\n\r\n", "12345678"),
                      "conflicting Content-Length", Failure::Kind::Protocol},
        FailingServer{"RedirectWithoutLocation", Reply::withStatus(302, "moved, but where?"), "HTTP 302", Failure::Kind::Http},
        FailingServer{"CaptivePortal", Reply::ok("<html>log in first</html>", "text/html; charset=utf-8"),
                      "the address gives a web page, not an episode", Failure::Kind::Refused},
        FailingServer{"PageLink", Reply::ok("<html>a page</html>", "application/xhtml+xml"), "a web page", Failure::Kind::Refused},
        FailingServer{"HeaderLineWithoutEnd", endlessHeader(), "line longer than", Failure::Kind::Protocol},
        FailingServer{"StalledMidBody", cut(Reply::Ending::StallAfter, 1000), "nothing arrived for 0.3 seconds", Failure::Kind::Timeout},
        FailingServer{"StalledBeforeHeaders", cut(Reply::Ending::StallBeforeHeaders, 0), "nothing arrived", Failure::Kind::Timeout},
        FailingServer{"TooManyRedirects", Reply::redirect(302, "/new.mp3"), "more than 10 times", Failure::Kind::Protocol}),
    [](const testing::TestParamInfo<FailingServer> &info) { return info.param.name; });

TEST_F(EpisodeTransferTest, RepeatedIdenticalLengthsAreFine)
{
    server.serve("/same", raw("HTTP/1.1 200 OK\r\nContent-Length: 8\r\nContent-Length: 8\r\n\r\n", "12345678"));
    EXPECT_EQ(transfer("/same").kind, TransferOutcome::Kind::Downloaded);
    EXPECT_EQ(contents(), QByteArray("12345678"));
}

TEST_F(EpisodeTransferTest, ARedirectWithoutLocationIsAskedForOnce)
{
    server.serve("/new.mp3", Reply::withStatus(302, "moved, but where?"));
    transfer("/new.mp3");
    EXPECT_EQ(server.hits("/new.mp3"), 1);
}

TEST_F(EpisodeTransferTest, ARefusedConnectionLeavesTheOldEpisodeAndSaysSo)
{
    writeOldEpisode();
    QString url;
    {
        LoopbackServer gone;
        url = gone.url(QStringLiteral("/new.mp3"));
    }
    TransferRequest request;
    request.url = url;
    request.localPath = target;
    const TransferOutcome outcome = TransferEpisode(network, request);
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Failed);
    EXPECT_EQ(outcome.failure, (Failure{Failure::Kind::Connection, 0, QStringLiteral("Connection refused")}));
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty());
}

TEST_F(EpisodeTransferTest, AFullDiskLeavesTheOldEpisode)
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
    const TransferOutcome outcome = transfer("/new.mp3");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Failed);
    EXPECT_EQ(outcome.failure.kind, Failure::Kind::Local);
    EXPECT_TRUE(outcome.failure.detail.startsWith(QStringLiteral("cannot write ") + target))
        << outcome.failure.text().toStdString();
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty()) << strays().join(QLatin1Char(' ')).toStdString();
}

TEST_F(EpisodeTransferTest, AnAbortedTransferLeavesTheOldEpisode)
{
    writeOldEpisode();
    server.serve("/new.mp3", cut(Reply::Ending::StallAfter, 1000));
    network.setStallTimeout(std::chrono::milliseconds(60000));
    // The program ends while the episode is half-way: as soon as the server
    // has the request, every transfer is aborted.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (server.hits("/new.mp3") > 0) {
            watch.stop();
            network.abortAll();
        }
    });
    watch.start(5);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(DownloadFile(network, server.url(QStringLiteral("/new.mp3")), target));
    EXPECT_LT(clock.elapsed(), 30000) << "the abort did not end the wait";
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty());
    EXPECT_EQ(network.runningCount(), 0);
}

TEST_F(EpisodeTransferTest, AFinishedTransferIsCommittedWhileAnotherWaitIsOnTheStack)
{
    server.serve("/quick.mp3", Reply::ok("the quick one", "audio/mpeg"));
    Reply slow = Reply::ok("slow", "audio/mpeg");
    slow.trickleMs = 150;
    server.serve("/slow.mp3", slow);

    TransferRequest quick;
    quick.url = server.url(QStringLiteral("/quick.mp3"));
    quick.localPath = folder + QStringLiteral("/quick.mp3");
    EpisodeTransfer first(network, quick);
    bool committedDuringTheSlowWait = false;
    QObject::connect(&first, &EpisodeTransfer::finished,
                     [&] { committedDuringTheSlowWait = QFile::exists(quick.localPath); });
    first.start();

    TransferRequest later;
    later.url = server.url(QStringLiteral("/slow.mp3"));
    later.localPath = target;
    EXPECT_EQ(TransferEpisode(network, later).kind, TransferOutcome::Kind::Downloaded);
    EXPECT_TRUE(first.isFinished());
    EXPECT_TRUE(committedDuringTheSlowWait);
    EXPECT_EQ(contents(), QByteArray("slow"));
}

class ConditionalTransfer : public EpisodeTransferTest
{
protected:
    TransferOutcome fetchWithValidators(const QByteArray &etag, const QByteArray &lastModified)
    {
        TransferRequest request;
        request.url = server.url(QStringLiteral("/new.mp3"));
        request.localPath = target;
        request.validatedUrl = request.url;
        request.etag = etag;
        request.lastModified = lastModified;
        return TransferEpisode(network, request);
    }
};

TEST_F(ConditionalTransfer, NotModifiedKeepsTheFileItself)
{
    writeOldEpisode();
    struct stat before{};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &before), 0);
    server.serve("/new.mp3", [](const LoopbackServer::Request &request) {
        return request.header("If-None-Match") == "\"v1\"" ? Reply::withStatus(304)
                                                             : Reply::ok("changed", "audio/mpeg");
    });
    const TransferOutcome outcome = fetchWithValidators("\"v1\"", "Tue, 01 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Unchanged);
    EXPECT_TRUE(outcome.succeeded());
    struct stat after{};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty());
    EXPECT_EQ(server.requests().first().header("If-Modified-Since"), "Tue, 01 Dec 2026 10:00:00 GMT");
}

TEST_F(ConditionalTransfer, AnyOtherAnswerTransfersInFullAndGivesTheNewValidators)
{
    writeOldEpisode();
    server.serve("/new.mp3", Reply::ok("the new one", "audio/mpeg")
                                 .header("ETag", "\"v2\"")
                                 .header("Last-Modified", "Wed, 02 Dec 2026 10:00:00 GMT"));
    const TransferOutcome outcome = fetchWithValidators("\"v1\"", {});
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Downloaded);
    EXPECT_EQ(outcome.etag, "\"v2\"");
    EXPECT_EQ(outcome.lastModified, "Wed, 02 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(contents(), QByteArray("the new one"));
}


TEST_F(ConditionalTransfer, ValidatorsGoOnlyToTheAddressThatGaveThem)
{
    // Last time the link led to /a.mp3; now it leads to /b.mp3, an older
    // file that would call itself unchanged if it were asked.
    writeOldEpisode();
    server.serve("/new.mp3", Reply::redirect(302, "/b.mp3"));
    server.serve("/b.mp3", [](const LoopbackServer::Request &request) {
        const bool conditional = !request.header("If-None-Match").isNull() || !request.header("If-Modified-Since").isNull();
        return conditional ? Reply::withStatus(304) : Reply::ok("episode b", "audio/mpeg");
    });
    TransferRequest request;
    request.url = server.url(QStringLiteral("/new.mp3"));
    request.localPath = target;
    request.validatedUrl = server.url(QStringLiteral("/a.mp3"));
    request.etag = "\"a\"";
    request.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    EXPECT_EQ(TransferEpisode(network, request).kind, TransferOutcome::Kind::Downloaded);
    EXPECT_EQ(contents(), QByteArray("episode b"));
    for (const auto &sent : server.requests())
        EXPECT_TRUE(sent.header("If-None-Match").isNull() && sent.header("If-Modified-Since").isNull());
}

TEST_F(ConditionalTransfer, ANotModifiedForAnotherVersionIsAskedAgainInFull)
{
    writeOldEpisode();
    server.serve("/new.mp3", [](const LoopbackServer::Request &request) {
        return request.header("If-None-Match").isNull() ? Reply::ok("version 2", "audio/mpeg").header("ETag", "\"v2\"")
                                                        : Reply::withStatus(304).header("ETag", "\"v2\"");
    });
    const TransferOutcome outcome = fetchWithValidators("\"v1\"", {});
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Downloaded);
    EXPECT_EQ(contents(), QByteArray("version 2"));
    EXPECT_EQ(server.hits("/new.mp3"), 2);
}

TEST_F(EpisodeTransferTest, AnEpisodeWithoutALengthIsRefusedBeforeAnyOfItIsWritten)
{
    writeOldEpisode();
    Reply live = Reply::ok({}, "audio/mpeg");
    live.contentLength = false;
    live.stream = [] { return QByteArray(64 * 1024, 'l'); }; // a live stream: it never ends
    server.serve("/live.mp3", live);
    const TransferOutcome outcome = transfer("/live.mp3");
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Failed);
    EXPECT_TRUE(outcome.failure.text().contains(QStringLiteral("never said how long"))) << outcome.failure.text().toStdString();
    EXPECT_EQ(outcome.bytesReceived, 0);
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(QDir(partialFolder()).entryList(QDir::Files).isEmpty());
}

// Resuming: a server that names a strong ETag, honours a Range whose If-Range
// still matches, and drops every answer after `cutEvery` bytes.
class Resume : public EpisodeTransferTest
{
protected:
    static constexpr qint64 cutEvery = 1280 * 1024;

    LoopbackServer::Handler rangeServer(const QByteArray &file, const QByteArray &etag)
    {
        return [file, etag](const LoopbackServer::Request &request) {
            qint64 from = 0;
            const QByteArray range = request.header("Range");
            if (range.startsWith("bytes=") && request.header("If-Range") == etag)
                from = range.mid(6, range.indexOf('-') - 6).toLongLong();
            Reply reply = from == 0 ? Reply::ok(file, "audio/mpeg")
                                    : Reply::withStatus(206, file.mid(from), "audio/mpeg")
                                          .header("Content-Range", "bytes " + QByteArray::number(from) + '-'
                                                                       + QByteArray::number(file.size() - 1) + '/'
                                                                       + QByteArray::number(file.size()));
            reply.header("ETag", etag);
            if (reply.body.size() > cutEvery) {
                reply.ending = Reply::Ending::DropAfter;
                reply.cutAfter = cutEvery;
            }
            return reply;
        };
    }

    QByteArray rangeAsked(int request) const { return server.requests().value(request).header("Range"); }
};

TEST_F(Resume, ACutEpisodeGoesOnFromWhereItStopped)
{
    const QByteArray file = noise(3 * 1024 * 1024);
    server.serve("/new.mp3", rangeServer(file, "\"v1\""));
    const TransferOutcome outcome = transfer("/new.mp3");
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Downloaded) << outcome.failure.text().toStdString();
    EXPECT_EQ(contents(), file);
    EXPECT_EQ(outcome.bytesReceived, file.size());
    EXPECT_EQ(server.hits("/new.mp3"), 3);
    EXPECT_EQ(rangeAsked(1), "bytes=" + QByteArray::number(cutEvery) + '-');
    EXPECT_EQ(server.requests().value(1).header("If-Range"), QByteArray("\"v1\""));
    EXPECT_TRUE(strays().isEmpty());
}

TEST_F(Resume, WhatTwoResumesDidNotFinishTheNextDownloadContinues)
{
    writeOldEpisode();
    const QByteArray file = noise(5 * 1024 * 1024);
    server.serve("/new.mp3", rangeServer(file, "\"v1\""));
    const TransferOutcome first = transfer("/new.mp3");
    EXPECT_EQ(first.kind, TransferOutcome::Kind::Failed);
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(strays().isEmpty()); // the part waits in the state folder, not beside the episode
    EXPECT_EQ(QDir(partialFolder()).entryList(QDir::Files).size(), 2);

    const TransferOutcome second = transfer("/new.mp3");
    EXPECT_EQ(second.kind, TransferOutcome::Kind::Downloaded) << second.failure.text().toStdString();
    EXPECT_EQ(contents(), file);
    EXPECT_EQ(first.bytesReceived + second.bytesReceived, file.size());
    EXPECT_EQ(rangeAsked(3), "bytes=" + QByteArray::number(3 * cutEvery) + '-');
    EXPECT_TRUE(QDir(partialFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(Resume, AServerThatIgnoresTheRangeStartsOver)
{
    const QByteArray file = noise(2 * 1024 * 1024);
    int answers = 0;
    server.serve("/new.mp3", [&answers, file](const LoopbackServer::Request &) {
        Reply reply = Reply::ok(file, "audio/mpeg").header("ETag", "\"v1\"");
        if (answers++ == 0) {
            reply.ending = Reply::Ending::DropAfter;
            reply.cutAfter = cutEvery;
        }
        return reply;
    });
    const TransferOutcome outcome = transfer("/new.mp3");
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Downloaded) << outcome.failure.text().toStdString();
    EXPECT_EQ(contents(), file);
    EXPECT_EQ(outcome.bytesReceived, cutEvery + file.size());
}

TEST_F(Resume, APartialAnswerThatDoesNotContinueTheFileIsRefused)
{
    writeOldEpisode();
    const QByteArray file = noise(2 * 1024 * 1024);
    int answers = 0;
    server.serve("/new.mp3", [&answers, file](const LoopbackServer::Request &) {
        if (answers++ > 0) // the whole file again, but called a part
            return Reply::withStatus(206, file, "audio/mpeg")
                .header("Content-Range", "bytes 0-" + QByteArray::number(file.size() - 1) + '/'
                                             + QByteArray::number(file.size()));
        Reply reply = Reply::ok(file, "audio/mpeg").header("ETag", "\"v1\"");
        reply.ending = Reply::Ending::DropAfter;
        reply.cutAfter = cutEvery;
        return reply;
    });
    const TransferOutcome outcome = transfer("/new.mp3");
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Failed);
    EXPECT_TRUE(outcome.failure.text().contains(QStringLiteral("does not continue"))) << outcome.failure.text().toStdString();
    EXPECT_EQ(contents(), oldBytes);
    EXPECT_TRUE(QDir(partialFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(Resume, WithoutAStrongValidatorNothingIsKeptOrContinued)
{
    const QByteArray file = noise(2 * 1024 * 1024);
    Reply reply = Reply::ok(file, "audio/mpeg").header("ETag", "W/\"weak\"");
    reply.ending = Reply::Ending::DropAfter;
    reply.cutAfter = cutEvery;
    server.serve("/new.mp3", reply);
    EXPECT_EQ(transfer("/new.mp3").kind, TransferOutcome::Kind::Failed);
    EXPECT_EQ(server.hits("/new.mp3"), 1);
    EXPECT_TRUE(QDir(partialFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(EpisodeTransferTest, AnEpisodeArrivingOnAnotherFileSystemIsCopiedInWhole)
{
    // The state folder on a memory file system, the episode's folder not.
    QTemporaryDir state(QStringLiteral("/dev/shm/tidewell-state-XXXXXX"));
    struct stat stateFs{};
    struct stat episodeFs{};
    if (!state.isValid() || ::stat("/dev/shm", &stateFs) != 0
        || ::stat(QFile::encodeName(folder).constData(), &episodeFs) != 0 || stateFs.st_dev == episodeFs.st_dev)
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    writeOldEpisode();
    server.serve("/new.mp3", Reply::ok(newBytes, "audio/mpeg"));
    const TransferOutcome outcome = transfer("/new.mp3");
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path() + QStringLiteral("/state")));
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Downloaded) << outcome.failure.text().toStdString();
    EXPECT_EQ(contents(), newBytes);
    EXPECT_TRUE(strays().isEmpty()) << strays().join(QLatin1Char(' ')).toStdString();
}

} // namespace
} // namespace tidewell
