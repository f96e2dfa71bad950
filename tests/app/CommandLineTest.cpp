#include "Connection.h"
#include "SampleFeeds.h"
#include "LoopbackServer.h"
#include "RunningCopy.h"
#include "Statements.h"
#include "TemporaryHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace tidewell {
namespace {

using test::LoopbackServer;
using Reply = LoopbackServer::Reply;
using test::rssWithEpisode;


// Runs the installed-to-be executable as a child process in a home of its own.
class CommandLine : public testing::Test
{
protected:
    void SetUp() override
    {
        folder = home.path() + QStringLiteral("/pods/");
        ASSERT_TRUE(QDir().mkpath(folder));
        server.serve("/feed.xml", Reply::ok(rssWithEpisode(server.url(QStringLiteral("/episode.mp3")))));
        server.serve("/episode.mp3", Reply::ok("new episode", "audio/mpeg"));
    }

    struct Result
    {
        int status = -1;
        QString out;
        QString err;
    };

    Result run(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(TIDEWELL_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    // Makes the data file the way the program does, then adds feeds to it.
    void addFeed(const QString &name, int minute, const QString &url, const QString &feedFolder)
    {
        if (!QFile::exists(home.dataFile())) {
            ASSERT_EQ(run({QStringLiteral("--list")}).status, 0);
        }
        Connection db;
        db.Open(QStringLiteral("Data Source=") + home.dataFile());
        db.Execute(statements::insertFeed(
            {name, QString::number(minute), QStringLiteral("show.mp3"), feedFolder, url, true}));
    }

    QByteArray episode() const
    {
        QFile file(folder + QStringLiteral("show.mp3"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    test::TemporaryHome home;
    LoopbackServer server;
    QString folder;
};

TEST_F(CommandLine, HelpAndVersionNeedNoDisplay)
{
    qunsetenv("DISPLAY");
    const Result version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("tidewell-episode-keeper "))) << version.out.toStdString();
    const Result help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    for (const char *option : {"--list", "--download", "--check-feed", "--headless"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    EXPECT_EQ(run({QStringLiteral("--no-such-option")}).status, 2);
    EXPECT_EQ(run({QStringLiteral("--list"), QStringLiteral("--headless")}).status, 2);
}

TEST_F(CommandLine, ListPrintsTheFeedsAsTheMainListShowsThem)
{
    addFeed(QStringLiteral("Daily"), 1440, server.url(QStringLiteral("/feed.xml")), folder);
    addFeed(QStringLiteral("Rock 'n' Roll"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    const Result result = run({QStringLiteral("--list")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("Rock 'n' Roll\t00:05:00\tYes\nDaily\t1 day(s) and 00:00:00\tYes\n"));
}

TEST_F(CommandLine, DownloadReportsAsTheButtonDoes)
{
    addFeed(QStringLiteral("Good"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    addFeed(QStringLiteral("NoUrl"), 6, QString(), folder);
    addFeed(QStringLiteral("NoFolder"), 7, server.url(QStringLiteral("/feed.xml")), QStringLiteral("/no/such/"));

    Result result = run({QStringLiteral("--download"), QStringLiteral("NoUrl")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QStringLiteral("No folder, filename or feed URL specied on this feed\n"));
    result = run({QStringLiteral("--download"), QStringLiteral("NoFolder")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QStringLiteral("(/no/such/) Folder does not exists.\n"));
    result = run({QStringLiteral("--download"), QStringLiteral("Nobody")});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.err.contains(QStringLiteral("Nobody")));

    result = run({QStringLiteral("--download"), QStringLiteral("Good")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("Done.\n"));
    EXPECT_EQ(episode(), QByteArray("new episode"));
}

struct CheckCase
{
    const char *name;
    const char *file;
    const char *contentType;
    int status;
    const char *type;
};

class CheckFeed : public CommandLine, public testing::WithParamInterface<CheckCase>
{
};

TEST_P(CheckFeed, PrintsWhatTheReaderFound)
{
    QFile sample(QStringLiteral(TIDEWELL_TEST_DATA "/") + QLatin1String(GetParam().file));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    server.serve("/doc", Reply::ok(sample.readAll(), GetParam().contentType));
    const Result result = run({QStringLiteral("--check-feed"), server.url(QStringLiteral("/doc"))});
    EXPECT_EQ(result.status, GetParam().status) << result.out.toStdString();
    EXPECT_TRUE(result.out.startsWith(QStringLiteral("Type: ") + QLatin1String(GetParam().type)))
        << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QStringLiteral("HTTP status: 200 OK")));
}

INSTANTIATE_TEST_SUITE_P(Documents, CheckFeed,
                         testing::Values(CheckCase{"Rss", "rss.xml", "application/rss+xml", 0, "RSS"},
                                         CheckCase{"Atom", "atom.xml", "application/atom+xml", 0, "Atom"},
                                         CheckCase{"HtmlPage", "html-page.html", "text/html", 1,
                                                   "Unknown / None"}),
                         [](const testing::TestParamInfo<CheckCase> &info) { return info.param.name; });

TEST_F(CommandLine, CheckFeedOnARefusedConnectionSaysWhy)
{
    QString url;
    {
        LoopbackServer gone;
        url = gone.url(QStringLiteral("/feed.xml"));
    }
    const Result result = run({QStringLiteral("--check-feed"), url});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.contains(QStringLiteral("Items: 0")));
    EXPECT_TRUE(result.out.contains(QStringLiteral("Error: "))) << result.out.toStdString();
}

class Headless : public CommandLine
{
protected:
    void start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TIDEWELL_SECONDS_PER_MINUTE"), QStringLiteral("1"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TIDEWELL_EXECUTABLE), {QStringLiteral("--headless")});
        ASSERT_TRUE(process.waitForStarted());
    }

    bool waitFor(const std::function<bool()> &condition)
    {
        return QTest::qWaitFor(condition, 20000);
    }

    void stop(int signal)
    {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(20000));
    }

    QProcess process;
};

TEST_F(Headless, DownloadsOnScheduleAndReadsTheListAgainOnHangUp)
{
    addFeed(QStringLiteral("Quick"), 1, server.url(QStringLiteral("/feed.xml")), folder);
    start();
    QByteArray output;
    ASSERT_TRUE(waitFor([&] {
        output += process.readAllStandardOutput();
        return output.contains("Quick: Done.");
    })) << output.constData();
    EXPECT_EQ(episode(), QByteArray("new episode"));

    server.serve("/other.xml", Reply::ok(rssWithEpisode(server.url(QStringLiteral("/other.mp3")))));
    server.serve("/other.mp3", Reply::ok("other", "audio/mpeg"));
    addFeed(QStringLiteral("Later"), 2, server.url(QStringLiteral("/other.xml")), home.path() + QLatin1Char('/'));
    ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
    ASSERT_TRUE(waitFor([&] {
        output += process.readAllStandardOutput();
        return output.contains("Later: Done.");
    })) << output.constData();

    stop(SIGINT);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(Headless, SigtermInTheMiddleOfATransferLeavesTheOldEpisode)
{
    ASSERT_TRUE(test::writeOldEpisode(folder + QStringLiteral("show.mp3")));
    const Reply stalled = test::stalledEpisode();
    server.serve("/episode.mp3", stalled);
    addFeed(QStringLiteral("Stuck"), 1, server.url(QStringLiteral("/feed.xml")), folder);

    start();
    ASSERT_TRUE(waitFor([&] { return server.hits("/episode.mp3") > 0; }));
    stop(SIGTERM);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(episode(), QByteArray("last week's episode"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("show.mp3")});
}

TEST_F(Headless, RefusesToRunBesideTheWindowWhileTheOtherCommandsRun)
{
    addFeed(QStringLiteral("Good"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    RunningCopy window(home.dataFolder());
    ASSERT_EQ(window.claimForWindow(), RunningCopy::Holder::None);

    const Result refused = run({QStringLiteral("--headless")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.count(QLatin1Char('\n')), 1) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("in its window (process %1)")
                                         .arg(QCoreApplication::applicationPid())))
        << refused.err.toStdString();

    EXPECT_EQ(run({QStringLiteral("--list")}).status, 0);
    EXPECT_EQ(run({QStringLiteral("--download"), QStringLiteral("Good")}).status, 0);
    EXPECT_EQ(episode(), QByteArray("new episode"));
}

TEST_F(Headless, OneSchedulerAtATimeAndTheLockOfOneKilledIsTakenOver)
{
    addFeed(QStringLiteral("Slow"), 60, server.url(QStringLiteral("/feed.xml")), folder);
    start();
    QByteArray said;
    ASSERT_TRUE(waitFor([&] {
        said += process.readAllStandardError();
        return said.contains("Scheduling");
    })) << said.constData();

    const Result second = run({QStringLiteral("--headless")});
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(second.err.startsWith(QStringLiteral("Another headless scheduler (process %1)")
                                          .arg(process.processId())))
        << second.err.toStdString();
    EXPECT_EQ(run({QStringLiteral("--list")}).status, 0);

    // Killed outright, it leaves its lock behind; the next one takes it over.
    stop(SIGKILL);
    start();
    said.clear();
    ASSERT_TRUE(waitFor([&] {
        said += process.readAllStandardError();
        return said.contains("Scheduling") || process.state() == QProcess::NotRunning;
    }));
    EXPECT_EQ(process.state(), QProcess::Running) << said.constData();
    stop(SIGTERM);
    EXPECT_EQ(process.exitCode(), 0);
}

} // namespace
} // namespace tidewell
