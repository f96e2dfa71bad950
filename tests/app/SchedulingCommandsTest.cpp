// The schedule from the command line: the headless scheduler's pace, its
// memory across restarts, the reasons it gives, --status, and the database
// held by another process for a moment.
#include "CommandLineFixture.h"

#include "ScheduleStore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>

namespace tidewell {
namespace {

using test::Headless;
using Reply = test::LoopbackServer::Reply;
using test::rssWithEpisode;

// Holds the feed database the way another program writing it would.
class HeldDatabase
{
public:
    explicit HeldDatabase(const QString &file)
    {
        EXPECT_TRUE(m_db.open(file));
        test::runSql(m_db, QStringLiteral("begin exclusive"));
    }
    void release() { test::runSql(m_db, QStringLiteral("commit")); }

private:
    sqlite::Database m_db;
};

class Schedule : public Headless
{
protected:
    // The headless runs count a minute as a second; --status must agree.
    void SetUp() override
    {
        Headless::SetUp();
        qputenv("TIDEWELL_SECONDS_PER_MINUTE", "1");
    }
    void TearDown() override { qunsetenv("TIDEWELL_SECONDS_PER_MINUTE"); }

    // A feed of its own at /<name>.xml whose episode is /<name>.mp3.
    void addOwnFeed(const QString &name, int minute, const Reply &episode)
    {
        const QByteArray path = "/" + name.toUtf8();
        server.serve(path + ".xml", Reply::ok(rssWithEpisode(server.url(QString::fromUtf8(path + ".mp3")))));
        server.serve(path + ".mp3", episode);
        addFeed(name, minute, server.url(QString::fromUtf8(path + ".xml")), folder, name + QStringLiteral(".mp3"));
    }

    QByteArray readOutput()
    {
        output += process.readAllStandardOutput();
        return output;
    }

    QString stateFile() const { return home.path() + QStringLiteral("/state/Marrowby/Tidewell Episode Keeper/schedule.sqlite"); }

    QByteArray output;
};

TEST_F(Schedule, AFeedDueEverySecondKeepsItsPaceWhileAnotherTransferTakesEightSeconds)
{
    Reply slow = Reply::ok(QByteArray(80, 's'), "audio/mpeg");
    slow.trickleMs = 100;
    addOwnFeed(QStringLiteral("Slow"), 1, slow);
    addOwnFeed(QStringLiteral("Fast"), 1, Reply::ok("fast", "audio/mpeg"));
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readOutput().contains("Slow: Done."); }, 30000)) << output.constData();
    stop(SIGTERM);
    const int fast = static_cast<int>(readOutput().count("Fast: Done."));
    // Slow's episode took eight seconds; Fast, due a second after each of
    // its downloads, went on meanwhile.
    EXPECT_GE(fast, 5) << output.constData();
}

TEST_F(Schedule, ARestartContinuesTheCountAndAnOverdueFeedIsFetchedAtOnce)
{
    addOwnFeed(QStringLiteral("Daily"), 1440, Reply::ok("daily", "audio/mpeg"));
    const auto startCounting = [&] {
        start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return process.readAllStandardError().contains("Scheduling"); }, 10000));
    };
    startCounting();
    stop(SIGTERM);
    const Result first = run({QStringLiteral("--status")});
    startCounting();
    stop(SIGTERM);
    const Result second = run({QStringLiteral("--status")});
    EXPECT_EQ(first.out, second.out) << "the next download moved with the restart";
    EXPECT_FALSE(first.out.contains(QStringLiteral("Daily\tYes\t-"))) << first.out.toStdString();

    // As if the machine had been off for a day and a half.
    {
        ScheduleStore store(stateFile());
        const qint64 dayAndAHalfAgo = QDateTime::currentMSecsSinceEpoch() - 36 * 3600 * 1000LL;
        store.saveCount(1, {QStringLiteral("Daily"), 1440, dayAndAHalfAgo + 1440 * 1000, 0, std::nullopt, false});
    }
    QElapsedTimer clock;
    clock.start();
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readOutput().contains("Daily: Done."); }, 10000)) << output.constData();
    EXPECT_LT(clock.elapsed(), 5000);
    stop(SIGTERM);
}

TEST_F(Schedule, ReasonsReachTheHeadlessLineAndStatus)
{
    addOwnFeed(QStringLiteral("Gone"), 1, Reply::withStatus(404, "<html>gone</html>", "text/html"));
    QString refused;
    {
        test::LoopbackServer nobody;
        refused = nobody.url(QStringLiteral("/feed.xml"));
    }
    addFeed(QStringLiteral("Down"), 2, refused, folder, QStringLiteral("down.mp3"));
    addFeed(QStringLiteral("Idle"), 3, server.url(QStringLiteral("/feed.xml")), folder);
    test::runSql(home.dataFile(), QStringLiteral("update [rss] set [Active]=False where name='Idle'"));
    start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return readOutput().contains("Gone: Download Failed.") && output.contains("Down: No url"); }, 20000))
        << output.constData();
    stop(SIGTERM);
    // Each failure's line says when it is tried again.
    const QRegularExpression gone(QStringLiteral("Gone: Download Failed\\. \\(HTTP 404 Not Found\\), retry at "
                                                 "\\d\\d:\\d\\d \\(attempt 2\\)\n"));
    EXPECT_TRUE(QString::fromLocal8Bit(output).contains(gone)) << output.constData();
    EXPECT_TRUE(output.contains("Down: No url found on this feed. (Connection refused), retry at "))
        << output.constData();

    const Result status = run({QStringLiteral("--status")});
    EXPECT_EQ(status.status, 0) << status.err.toStdString();
    const QStringList lines = status.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << status.out.toStdString();
    const QStringList first = lines[0].split(QLatin1Char('\t'));
    ASSERT_EQ(first.size(), 6);
    EXPECT_EQ(first[0], QStringLiteral("Gone"));
    EXPECT_EQ(first[1], QStringLiteral("Yes"));
    EXPECT_TRUE(QDateTime::fromString(first[2], Qt::ISODate).isValid()) << first[2].toStdString();
    EXPECT_TRUE(QDateTime::fromString(first[3], Qt::ISODate).isValid()) << first[3].toStdString();
    EXPECT_EQ(first[4], QStringLiteral("Download Failed. (HTTP 404 Not Found)"));
    EXPECT_TRUE(first[5].startsWith(QStringLiteral("retry at "))) << first[5].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\tNo url found on this feed. (Connection refused)\tretry at ")))
        << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("Idle\tNo\t-\t-\t-\t-"));
}

TEST_F(Schedule, ADatabaseHeldForTwoSecondsIsWaitedFor)
{
    addFeed(QStringLiteral("Good"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    QElapsedTimer clock;
    clock.start();
    {
        HeldDatabase held(home.dataFile());
        process.start(QStringLiteral(TIDEWELL_EXECUTABLE), {QStringLiteral("--download"), QStringLiteral("Good")});
        QTest::qWait(2000);
        held.release();
    }
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    EXPECT_EQ(process.readAllStandardOutput(), QByteArray("Done.\n"));
    EXPECT_GE(clock.elapsed(), 2000);

    // The headless scheduler waits the same way before it counts.
    {
        HeldDatabase held(home.dataFile());
        start();
        QTest::qWait(2000);
        held.release();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return process.readAllStandardError().contains("Scheduling 1 feeds"); }, 10000));
    stop(SIGTERM);
}

TEST_F(Schedule, AHangUpWhileTheDatabaseIsHeldKeepsTheFeedsAndTheirCounts)
{
    addOwnFeed(QStringLiteral("Quick"), 1, Reply::ok("quick", "audio/mpeg"));
    start();
    QByteArray errors;
    ASSERT_TRUE(QTest::qWaitFor([&] { return readOutput().contains("Quick: Done."); }, 10000));
    {
        HeldDatabase held(home.dataFile());
        ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                errors += process.readAllStandardError();
                return errors.contains("could not be read again");
            },
            15000))
            << errors.constData();
        held.release();
    }
    EXPECT_TRUE(errors.contains("the 1 feeds and their counts stay")) << errors.constData();
    const int before = static_cast<int>(readOutput().count("Quick: Done."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return readOutput().count("Quick: Done.") > before; }, 10000));
    stop(SIGTERM);
}

TEST_F(Schedule, AnEmptyDataFileIsMadeAgainFromTheTemplate)
{
    ASSERT_TRUE(QDir().mkpath(home.dataFolder()));
    QFile empty(home.dataFile());
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    const Result result = run({QStringLiteral("--list")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_GT(QFileInfo(home.dataFile()).size(), 0);
    EXPECT_EQ(run({QStringLiteral("--status")}).status, 0);
}

// True once the process has its handler for the signal: its status lists
// the signal as caught.
bool catches(qint64 process, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

TEST_F(Schedule, AHangUpBeforeTheFeedListIsReadIsActedOnOnceItIs)
{
    addOwnFeed(QStringLiteral("Quick"), 1, Reply::ok("quick", "audio/mpeg"));
    QByteArray errors;
    {
        // The start waits for the list; the hang-up comes meanwhile.
        HeldDatabase held(home.dataFile());
        start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return catches(process.processId(), SIGHUP); }, 10000));
        ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
        QTest::qWait(300);
        held.release();
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            errors += process.readAllStandardError();
            return errors.contains("Feed list read again: 1 feeds.");
        },
        15000))
        << errors.constData();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readOutput().contains("Quick: Done."); }, 10000));
    stop(SIGTERM);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(Schedule, ABurstOfThreeHundredOverdueFeedsRunsTwoAtOnceOnOneHost)
{
    Reply slowly = Reply::ok("episode!", "audio/mpeg");
    slowly.trickleMs = 2;
    server.serve("/burst.mp3", slowly);
    server.serve("/burst.xml", Reply::ok(rssWithEpisode(server.url(QStringLiteral("/burst.mp3")))));
    addFeed(QStringLiteral("Feed 0"), 600, server.url(QStringLiteral("/burst.xml")), folder, QStringLiteral("0.mp3"));
    {
        FeedStore feeds = test::openFeeds(home.dataFile());
        for (int i = 1; i < 300; ++i) {
            feeds.insert({QStringLiteral("Feed %1").arg(i), QStringLiteral("600"), QStringLiteral("%1.mp3").arg(i),
                          folder, server.url(QStringLiteral("/burst.xml")), true});
        }
    }
    {
        // All of them fell due an hour ago, while the computer was off.
        ScheduleStore store(stateFile());
        const qint64 anHourAgo = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;
        for (int row = 1; row <= 300; ++row)
            store.saveCount(row, {QStringLiteral("Feed %1").arg(row - 1), 600, anHourAgo, 0, std::nullopt, false});
    }
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readOutput().count(": Done.") == 300; }, 120000)) << output.constData();
    stop(SIGTERM);
    EXPECT_EQ(server.hits("/burst.mp3"), 300);
    // At most four at once, two per host; these all share one.
    EXPECT_LE(server.peakConcurrentAnswers(), 2);
    EXPECT_FALSE(output.contains("Failed")) << output.constData();
}

TEST_F(Schedule, TwoFeedsOfOneNameEachDownloadOnTheirOwn)
{
    server.serve("/b.xml", Reply::ok(rssWithEpisode(server.url(QStringLiteral("/b.mp3")))));
    server.serve("/b.mp3", Reply::ok("second", "audio/mpeg"));
    addFeed(QStringLiteral("Twin"), 1, server.url(QStringLiteral("/feed.xml")), folder, QStringLiteral("a.mp3"));
    addFeed(QStringLiteral("Twin"), 1, server.url(QStringLiteral("/b.xml")), folder, QStringLiteral("b.mp3"));
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readOutput().count("Twin: Done.") >= 4; }, 20000)) << output.constData();
    stop(SIGTERM);
    EXPECT_GE(server.hits("/episode.mp3"), 1);
    EXPECT_GE(server.hits("/b.mp3"), 1);
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("a.mp3")));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("b.mp3")));
    const QStringList lines = run({QStringLiteral("--status")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    for (const QString &line : lines)
        EXPECT_TRUE(line.contains(QStringLiteral("\tDone.\t"))) << line.toStdString();
}

TEST_F(Schedule, ADownloadByNameIsKeptUnderTheFeedsOwnSpelling)
{
    addFeed(QStringLiteral("Morning News"), 60, server.url(QStringLiteral("/feed.xml")), folder);
    const Result result = run({QStringLiteral("--download"), QStringLiteral("morning news")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    const Result status = run({QStringLiteral("--status")});
    EXPECT_TRUE(status.out.startsWith(QStringLiteral("Morning News\tYes\t-\t"))) << status.out.toStdString();
    EXPECT_TRUE(status.out.contains(QStringLiteral("\tDone.\t-\n"))) << status.out.toStdString();
}

} // namespace
} // namespace tidewell
