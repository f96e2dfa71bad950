#include "CommandLineFixture.h"
#include "RunningCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>

namespace tidewell {
namespace {

using test::CommandLine;
using test::Headless;
using test::LoopbackServer;
using Reply = LoopbackServer::Reply;
using test::rssWithEpisode;


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

TEST_F(CommandLine, UnreadableFieldsAreReportedAtTheWindowsStatementNumbers)
{
    addFeed(QStringLiteral("Good"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    addFeed(QStringLiteral("Gap"), 6, server.url(QStringLiteral("/feed.xml")), folder);
    test::runSql(home.dataFile(), QStringLiteral("update [rss] set [folder]=NULL where name='Gap'"));
    test::runSql(home.dataFile(), QStringLiteral("insert into [rss] values (NULL,7,'x.mp3','/x/','http://x',1)"));
    Result result = run({QStringLiteral("--list")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QStringLiteral("Good\t00:05:00\tYes\nGap\t00:06:00\tYes\n"));
    EXPECT_TRUE(result.err.contains(QStringLiteral("Invalid use of Null\nin Tidefetch2021/08/31.Form1.listPodCast "
                                                   "at line 112\n")))
        << result.err.toStdString();

    result = run({QStringLiteral("--download"), QStringLiteral("Gap")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QStringLiteral("No folder, filename or feed URL specied on this feed\n"));
    EXPECT_TRUE(result.err.contains(QStringLiteral("Invalid use of Null\nin Tidefetch2021/08/31.Form1.PushButton2_Click "
                                                   "at line 0\n")))
        << result.err.toStdString();
}

TEST_F(CommandLine, ImportsAnotherProgramsListAndExportsItIntoAFreshHomeUnchanged)
{
    Result result = run({QStringLiteral("--import-opml"),
                         QStringLiteral(TIDEWELL_TEST_DATA "/subscriptions-nested.opml")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.count(QStringLiteral("Added: ")), 5) << result.out.toStdString();
    EXPECT_TRUE(result.out.endsWith(QStringLiteral("Skipped, already in the list: Morning Briefing (mirror)\n")));
    EXPECT_TRUE(run({QStringLiteral("--list")})
                    .out.contains(QStringLiteral("Rock 'n' Roll & Politics\t01:01:00\tYes\n")));
    for (const FeedRecord &feed : test::openFeeds(home.dataFile()).byName())
        EXPECT_EQ(feed.folder.toText(), home.desktop() + QLatin1Char('/'));

    const Result exported = run({QStringLiteral("--export-opml")});
    EXPECT_EQ(exported.status, 0);
    const QString file = home.path() + QStringLiteral("/exported.opml");
    QFile opml(file);
    ASSERT_TRUE(opml.open(QIODevice::WriteOnly));
    opml.write(exported.out.toUtf8());
    opml.close();

    test::TemporaryHome fresh;
    result = run({QStringLiteral("--import-opml"), file});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.count(QStringLiteral("Added: ")), 5);
    EXPECT_EQ(run({QStringLiteral("--export-opml")}).out, exported.out);
}

TEST_F(CommandLine, AFileThatIsNotOpmlIsRefusedAndAddsNothing)
{
    QFile nested(QStringLiteral(TIDEWELL_TEST_DATA "/subscriptions-nested.opml"));
    ASSERT_TRUE(nested.open(QIODevice::ReadOnly));
    const QString broken = home.path() + QStringLiteral("/broken.opml");
    QFile cut(broken);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(nested.read(nested.size() * 2 / 3));
    cut.close();

    Result result = run({QStringLiteral("--import-opml"), broken});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QString());
    EXPECT_TRUE(result.err.contains(QStringLiteral("is not an OPML file"))) << result.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.dataFile()));

    addFeed(QStringLiteral("Mine"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    QFile data(home.dataFile());
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    const QByteArray before = data.readAll();
    data.close();
    for (const QString &file :
         {broken, QStringLiteral(TIDEWELL_TEST_DATA "/rss.xml"), home.path() + QStringLiteral("/none.opml")}) {
        result = run({QStringLiteral("--import-opml"), file});
        EXPECT_EQ(result.status, 1) << file.toStdString();
        EXPECT_TRUE(result.err.contains(QStringLiteral("Nothing was added."))) << result.err.toStdString();
    }
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    EXPECT_EQ(data.readAll(), before);
}

// Without options the executable loads the window from the module beside it.
TEST_F(CommandLine, WithoutOptionsTheWindowOpensFromItsModule)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess window;
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(TIDEWELL_EXECUTABLE), {});
    ASSERT_TRUE(window.waitForStarted());
    // Form_Load makes the feed database: the window's code has run.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(home.dataFile()); }, 20000))
        << window.readAllStandardError().constData();
    window.kill();
    window.waitForFinished();

    const QString alone = home.path() + QStringLiteral("/alone");
    ASSERT_TRUE(QDir().mkpath(alone));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TIDEWELL_EXECUTABLE), alone + QStringLiteral("/tidewell-episode-keeper")));
    // The core it needs goes along; the module stays behind.
    const QString core = QFileInfo(QStringLiteral(TIDEWELL_EXECUTABLE)).dir().filePath(QStringLiteral("core"));
    ASSERT_TRUE(QDir().mkpath(alone + QStringLiteral("/core")));
    for (const QFileInfo &library : QDir(core).entryInfoList(QDir::Files))
        ASSERT_TRUE(QFile::copy(library.filePath(), alone + QStringLiteral("/core/") + library.fileName()));
    // The copy's standard error, once it has ended with exit status 1.
    const auto refusal = [&] {
        QProcess copy;
        copy.setProcessEnvironment(environment);
        copy.start(alone + QStringLiteral("/tidewell-episode-keeper"), {});
        EXPECT_TRUE(copy.waitForFinished(20000));
        EXPECT_EQ(copy.exitCode(), 1);
        return copy.readAllStandardError();
    };
    EXPECT_TRUE(refusal().contains("cannot load its window"));

    // A module left by another version is refused in words, not run.
    ASSERT_TRUE(QDir().mkpath(alone + QStringLiteral("/modules")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(OTHER_VERSION_WINDOW),
                            alone + QStringLiteral("/modules/tidewell-episode-keeper-window.so")));
    EXPECT_TRUE(refusal().contains("is of another version"));
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

// An answer that is no feed says why, in words and without a number.
struct UnreadableCase
{
    const char *name;
    QByteArray body;
    QByteArray contentType;
    const char *error;
};

class CheckFeedUnreadable : public CommandLine, public testing::WithParamInterface<UnreadableCase>
{
};

TEST_P(CheckFeedUnreadable, SaysWhyOnTheErrorLine)
{
    server.serve("/doc", Reply::ok(GetParam().body, GetParam().contentType));
    const Result result = run({QStringLiteral("--check-feed"), server.url(QStringLiteral("/doc"))});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QStringLiteral("Type: Unknown / None\nHTTP status: 200 OK\nItems: 0\nError: ") +
                              QString::fromUtf8(GetParam().error) + u'\n');
    EXPECT_EQ(server.hits("/doc"), 1);
}

QByteArray sampleFile(const char *name)
{
    QFile file(QStringLiteral(TIDEWELL_TEST_DATA "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CheckFeedUnreadable,
    testing::Values(
        UnreadableCase{"Empty", "", "application/rss+xml", "the server sent an empty answer"},
        UnreadableCase{"WebPage", sampleFile("html-page.html"), "text/html", "the address gives a web page, not a feed"},
        UnreadableCase{"Json", "{\"version\": \"https://jsonfeed.org/version/1.1\"}", "application/feed+json",
                       "the address gives a JSON document, not an RSS, RDF or Atom feed"},
        UnreadableCase{"OtherXml", "<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><body/></opml>", "text/xml",
                       "the document is not an RSS, RDF or Atom feed (its root element is opml)"},
        UnreadableCase{"NotWellFormed", "<rss version=\"2.0\">\n  <channel>\n    <item><title>Cut", "text/xml",
                       "the feed is not well-formed XML (line 3, column 20: Start-end tags mismatch)"}),
    [](const testing::TestParamInfo<UnreadableCase> &info) { return info.param.name; });

TEST_F(CommandLine, CheckFeedPrintsLettersBeyondAsciiAsWritten)
{
    server.serve("/shows/feed.xml", Reply::ok(sampleFile("iri.xml"), "application/rss+xml"));
    const Result result = run({QStringLiteral("--check-feed"), server.url(QStringLiteral("/shows/feed.xml"))});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              QStringLiteral("Type: RSS\nHTTP status: 200 OK\nItems: 3\nFirst item URL: ") +
                  server.url(QString::fromUtf8("/shows/\xE3\x82\xA8\xE3\x83\x94\xE3\x82\xBD\xE3\x83\xBC\xE3\x83\x89 1.mp3")) +
                  QString::fromUtf8("\nFirst item title: \xE6\xBD\xAE\xE3\x81\xA8\xE6\xB5\xB7\xE6\xB5\x81 \xE7\xAC\xAC"
                                    "1\xE5\x9B\x9E\n"));
}

TEST_F(CommandLine, CheckFeedOnARefusedConnectionSaysWhy)
{
    QString url;
    {
        LoopbackServer gone;
        url = gone.url(QStringLiteral("/feed.xml"));
    }
    const Result result = run({QStringLiteral("--check-feed"), url});
    EXPECT_EQ(result.status, 1);
    // No status text, so nothing follows the number.
    EXPECT_EQ(result.out, QStringLiteral("Type: Unknown / None\n"
                                         "HTTP status: 0\n"
                                         "Items: 0\n"
                                         "Error: Connection refused\n"));
}

TEST_F(CommandLine, CheckFeedPrintsTheFirstItemResolvedAgainstTheFeedsAddress)
{
    server.serve("/show/feed.xml",
                 Reply::ok("<rss><channel><item><title>Pilot</title><link>https://example.org/pilot</link>"
                           "<enclosure url=\"cover.jpg\" type=\"image/jpeg\"/>"
                           "<enclosure url=\"pilot.m4a\" type=\"audio/mp4\"/></item></channel></rss>"));
    const Result result = run({QStringLiteral("--check-feed"), server.url(QStringLiteral("/show/feed.xml"))});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, QStringLiteral("Type: RSS\nHTTP status: 200 OK\nItems: 1\nFirst item URL: ") +
                              server.url(QStringLiteral("/show/pilot.m4a")) + QStringLiteral("\nFirst item title: Pilot\n"));
}

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

TEST_F(Headless, ReportsWhatItCannotReadOfTheListUnderItsOwnName)
{
    addFeed(QStringLiteral("Quick"), 1, server.url(QStringLiteral("/feed.xml")), folder);
    test::runSql(home.dataFile(), QStringLiteral("insert into [rss] values ('NoMinute',NULL,'x.mp3','/x/','http://x',1)"));
    start();
    QByteArray errors;
    ASSERT_TRUE(waitFor([&] {
        errors += process.readAllStandardError();
        return errors.contains("Scheduling 2 feeds");
    })) << errors.constData();
    EXPECT_TRUE(errors.contains("Invalid use of Null\nin Tidefetch2021/08/31.Headless.listPodCast at line 114\n"))
        << errors.constData();
    stop(SIGTERM);
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
    // Cut short by the stop, the transfer is no outcome of the feed's.
    const Result status = run({QStringLiteral("--status")});
    EXPECT_TRUE(status.out.endsWith(QStringLiteral("\t-\t-\t-\n"))) << status.out.toStdString();
}

TEST_F(Headless, BesideTheWindowItWaitsAndSchedulesOnceTheWindowHasGone)
{
    addFeed(QStringLiteral("Good"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    auto window = std::make_unique<RunningCopy>(home.dataFolder());
    ASSERT_EQ(window->claimForWindow(), RunningCopy::Holder::None);

    start();
    QByteArray said;
    ASSERT_TRUE(waitFor([&] {
        said += process.readAllStandardError();
        return said.contains("waits until it closes");
    })) << said.constData();
    EXPECT_TRUE(said.contains(QStringLiteral("(process %1)").arg(QCoreApplication::applicationPid()).toUtf8()))
        << said.constData();
    EXPECT_EQ(process.state(), QProcess::Running);
    EXPECT_EQ(run({QStringLiteral("--list")}).status, 0);
    EXPECT_EQ(run({QStringLiteral("--download"), QStringLiteral("Good")}).status, 0);
    EXPECT_EQ(episode(), QByteArray("new episode"));

    window.reset();
    ASSERT_TRUE(waitFor([&] {
        said += process.readAllStandardError();
        return said.contains("Scheduling 1 feeds");
    })) << said.constData();
    stop(SIGTERM);
    EXPECT_EQ(process.exitCode(), 0);
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
    EXPECT_EQ(second.status, 3) << "a status of its own, which the service manager does not restart on";
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
