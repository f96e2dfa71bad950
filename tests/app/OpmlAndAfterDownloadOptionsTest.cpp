#include "CommandLineFixture.h"

#include <QSettings>
#include <QXmlStreamReader>

namespace tidewell::test {
namespace {

QString afterDownloadSetting(const TemporaryHome &home)
{
    QSettings store(home.configFile(), QSettings::IniFormat);
    return store.value(QStringLiteral("Tidewell Episode Keeper/AfterDownload")).toString();
}

TEST_F(CommandLine, AfterDownloadKeepsACommandThatCanBeReadAndAnEmptyOneClearsIt)
{
    const QString command = QStringLiteral("ffmpeg -i %f -af loudnorm \"/media/my stick/%n.mp3\"");
    Result result = run({QStringLiteral("--after-download"), command});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("After each new episode this command runs: ") + command + QLatin1Char('\n'));
    EXPECT_EQ(afterDownloadSetting(home), command);

    result = run({QStringLiteral("--after-download"), QStringLiteral("cp %f '/media/stick")});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, QStringLiteral("The command cannot be read: a ' is not closed. Nothing was changed.\n"));
    EXPECT_EQ(afterDownloadSetting(home), command);

    result = run({QStringLiteral("--after-download"), QString()});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("No command runs after a new episode any more.\n"));
    EXPECT_EQ(afterDownloadSetting(home), QString());
    // A setting only: the feed list is not made for it.
    EXPECT_FALSE(QFile::exists(home.dataFile()));
}

TEST_F(CommandLine, TheCommandRunsAfterANewEpisodeOnlyAndItsFailureJoinsTheOutcome)
{
    server.serve("/episode.mp3", [](const LoopbackServer::Request &request) {
        return request.header("If-None-Match").isNull()
            ? LoopbackServer::Reply::ok("new episode", "audio/mpeg").header("ETag", "\"e1\"")
            : LoopbackServer::Reply::withStatus(304).header("ETag", "\"e1\"");
    });
    addFeed(QStringLiteral("Good"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    const QString ran = home.path() + QStringLiteral("/ran");
    ASSERT_EQ(run({QStringLiteral("--after-download"),
                   QStringLiteral("sh -c 'echo \"$1\" >>\"$2\"; echo \"it broke\" >&2; exit 2' - %f ") + ran})
                  .status,
              0);

    const Result first = run({QStringLiteral("--download"), QStringLiteral("Good")});
    EXPECT_EQ(first.out, QStringLiteral("Done.\n"));
    EXPECT_EQ(first.err, QStringLiteral("Done. (after-download command failed: exit 2: it broke)\n"));
    EXPECT_TRUE(run({QStringLiteral("--status")}).out.contains(
        QStringLiteral("Done. (after-download command failed: exit 2: it broke)")));

    // Not modified: nothing new, so nothing runs.
    EXPECT_EQ(run({QStringLiteral("--download"), QStringLiteral("Good")}).out, QStringLiteral("Done.\n"));
    QFile record(ran);
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(record.readAll(), (folder + QStringLiteral("show.mp3\n")).toUtf8());
}

TEST_F(CommandLine, ImportRefusesADeviceAndExportSaysWhichFeedLostCharacters)
{
    const Result refused = run({QStringLiteral("--import-opml"), QStringLiteral("/dev/zero")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, QStringLiteral("Cannot read /dev/zero: it is a device, not a file. Nothing was added.\n"));

    addFeed(QStringLiteral("Bell\aName"), 5, server.url(QStringLiteral("/feed.xml")), folder);
    const Result exported = run({QStringLiteral("--export-opml")});
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.err,
              QStringLiteral("Feed \"BellName\": characters XML does not allow were left out of its name.\n"));
    QXmlStreamReader xml(exported.out);
    while (!xml.atEnd())
        xml.readNext();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
}

} // namespace
} // namespace tidewell::test
