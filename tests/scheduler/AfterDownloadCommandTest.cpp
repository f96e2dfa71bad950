#include "AfterDownloadCommand.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

// Readable failure messages for text and lists of it.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tidewell {
namespace {

using namespace std::chrono_literals;

TEST(CommandLineWords, AreSplitAsAShellSplitsThem)
{
    const std::pair<QString, QStringList> lines[] = {
        {QStringLiteral("ffmpeg -i %f  -af loudnorm \"/media/my stick/%n.mp3\""),
         {QStringLiteral("ffmpeg"), QStringLiteral("-i"), QStringLiteral("%f"), QStringLiteral("-af"),
          QStringLiteral("loudnorm"), QStringLiteral("/media/my stick/%n.mp3")}},
        {QStringLiteral("a 'b \"c\" \\d' \"e \\\"f\\\" \\$g \\h\" i\\ j\\'k"),
         {QStringLiteral("a"), QStringLiteral("b \"c\" \\d"), QStringLiteral("e \"f\" $g \\h"),
          QStringLiteral("i j'k")}},
        {QStringLiteral("one \"\" '' t\"w\"'o'"),
         {QStringLiteral("one"), QString(), QString(), QStringLiteral("two")}},
        {QStringLiteral("\tjoined \\\n lines\n"), {QStringLiteral("joined"), QStringLiteral("lines")}},
        {QStringLiteral("   "), {}},
    };
    for (const auto &[line, words] : lines) {
        QString error;
        EXPECT_EQ(SplitCommandLine(line, &error), words) << line.toStdString();
        EXPECT_EQ(error, QString());
    }

    const std::pair<QString, QString> broken[] = {
        {QStringLiteral("cp %f '/media/stick"), QStringLiteral("a ' is not closed")},
        {QStringLiteral("cp \"%f /media/stick"), QStringLiteral("a \" is not closed")},
        {QStringLiteral("cp %f \\"), QStringLiteral("it ends in a backslash")},
    };
    for (const auto &[line, message] : broken) {
        QString error;
        EXPECT_EQ(SplitCommandLine(line, &error), QStringList()) << line.toStdString();
        EXPECT_EQ(error, message);
    }
}

TEST(CommandLineWords, TakeTheEpisodeAsOneWordWhereverItStands)
{
    const NewEpisode episode{QStringLiteral("Rock %u Roll"), QStringLiteral("/pods/news today.mp3"),
                             QStringLiteral("https://e.test/a b?c=%n")};
    EXPECT_EQ(ExpandPlaceholders({QStringLiteral("%f"), QStringLiteral("--name=%n.mp3"), QStringLiteral("%u"),
                                  QStringLiteral("100%%"), QStringLiteral("%%f"), QStringLiteral("%x%")},
                                 episode),
              QStringList({QStringLiteral("/pods/news today.mp3"), QStringLiteral("--name=Rock %u Roll.mp3"),
                           QStringLiteral("https://e.test/a b?c=%n"), QStringLiteral("100%"), QStringLiteral("%f"),
                           QStringLiteral("%x%")}));
}

class AfterDownload : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(bin)); }

    // An executable shell script in the test's folder; its path has a blank.
    QString script(const QString &name, const QByteArray &body)
    {
        const QString path = bin + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // Runs the command for one episode and waits for its outcome.
    AfterDownloadOutcome outcomeOf(AfterDownloadCommand &runner, const QString &commandLine)
    {
        std::optional<AfterDownloadOutcome> outcome;
        runner.run(commandLine, episode, [&](const AfterDownloadOutcome &ended) { outcome = ended; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 20000));
        return outcome.value_or(AfterDownloadOutcome{});
    }

    QByteArray read(const QString &name) const
    {
        QFile file(bin + QLatin1Char('/') + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Gone, or a zombie only waiting for its new parent to reap it.
    static bool processEnded(const QByteArray &pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid.trimmed())));
        return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
    }

    QTemporaryDir folder;
    const QString bin = folder.path() + QStringLiteral("/my bin");
    const QString pods = folder.path() + QStringLiteral("/My \"Pods\" & 'more'");
    NewEpisode episode{QStringLiteral("Rock 'n' Roll \"Live\""), pods + QStringLiteral("/news today.mp3"),
                       QStringLiteral("https://e.test/ep 1.mp3?a=1&b='2'")};
};

TEST_F(AfterDownload, GivesTheEpisodeAsArgumentsAndEnvironmentWithoutAShellAndWithoutWaiting)
{
    ASSERT_TRUE(QDir().mkpath(pods));
    const QString recorder = script(QStringLiteral("record args.sh"),
                                    "out=\"$(dirname \"$0\")/record\"\n"
                                    "printf '%s\\0' \"$@\" > \"$out\"\n"
                                    "printf '%s\\0' \"$TIDEWELL_FILE\" \"$TIDEWELL_FEED\" \"$TIDEWELL_URL\" \"$(pwd)\" "
                                    ">> \"$out\"\n");
    AfterDownloadCommand runner;
    std::optional<AfterDownloadOutcome> outcome;
    runner.run(QStringLiteral("\"%1\" --in %f '--feed=%n' %u $HOME;x").arg(recorder), episode,
               [&](const AfterDownloadOutcome &ended) { outcome = ended; });
    EXPECT_TRUE(runner.isRunning(episode.feed));
    EXPECT_FALSE(outcome.has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 20000));
    EXPECT_TRUE(outcome->succeeded()) << outcome->text().toStdString();
    EXPECT_EQ(outcome->text(), QString());
    EXPECT_FALSE(runner.isRunning(episode.feed));

    QStringList recorded = QString::fromUtf8(read(QStringLiteral("record"))).split(QChar(0));
    recorded.removeLast();
    EXPECT_EQ(recorded, QStringList({QStringLiteral("--in"), episode.file, QStringLiteral("--feed=") + episode.feed,
                                     episode.url, QStringLiteral("$HOME;x"), episode.file, episode.feed, episode.url,
                                     pods}));
}

TEST_F(AfterDownload, AFailureSaysWhy)
{
    ASSERT_TRUE(QDir().mkpath(pods));
    const QString failing = script(QStringLiteral("fail.sh"), "echo '  ' >&2\n"
                                                             "echo 'cannot write /media/stick: No space left' >&2\n"
                                                             "echo 'second line' >&2\n"
                                                             "exit 2\n");
    const QString readOnly = bin + QStringLiteral("/not executable.sh");
    QFile(failing).copy(readOnly);
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner);
    AfterDownloadCommand runner;
    const std::pair<QString, QString> commands[] = {
        {QStringLiteral("'%1'").arg(failing),
         QStringLiteral("after-download command failed: exit 2: cannot write /media/stick: No space left")},
        {QStringLiteral("sh -c 'exit 3'"), QStringLiteral("after-download command failed: exit 3")},
        {QStringLiteral("sh -c 'kill -TERM $$'"), QStringLiteral("after-download command failed: killed by signal 15")},
        {QStringLiteral("no-such-program-anywhere %f"),
         QStringLiteral("after-download command failed: cannot start \"no-such-program-anywhere\": no such program")},
        {QStringLiteral("./missing.sh"),
         QStringLiteral("after-download command failed: cannot start \"./missing.sh\": no such program")},
        {QStringLiteral("'%1' %f").arg(readOnly),
         QStringLiteral("after-download command failed: cannot start \"%1\": it is not an executable program")
             .arg(readOnly)},
        {QStringLiteral("cp %f '/media/stick"),
         QStringLiteral("after-download command failed: the command cannot be read: a ' is not closed")},
        {QStringLiteral("  "), QString()},
    };
    for (const auto &[command, text] : commands)
        EXPECT_EQ(outcomeOf(runner, command).text(), text) << command.toStdString();
}

TEST_F(AfterDownload, ACommandOverTheTimeLimitIsKilledWithWhatItStarted)
{
    ASSERT_TRUE(QDir().mkpath(pods));
    const QString hanging = script(QStringLiteral("hang.sh"), "sleep 600 &\n"
                                                             "echo $! > \"$(dirname \"$0\")/child\"\n"
                                                             "wait\n");
    AfterDownloadCommand runner(300ms);
    EXPECT_EQ(outcomeOf(runner, QLatin1Char('"') + hanging + QLatin1Char('"')).text(),
              QStringLiteral("after-download command failed: killed after 300 ms"));
    const QByteArray child = read(QStringLiteral("child"));
    ASSERT_FALSE(child.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return processEnded(child); }, 20000));
}

TEST_F(AfterDownload, OneCommandAtATimePerFeedAndOnlyTheNewestWaits)
{
    ASSERT_TRUE(QDir().mkpath(pods));
    const QString gate = bin + QStringLiteral("/gate");
    ASSERT_EQ(::mkfifo(QFile::encodeName(gate).constData(), 0600), 0);
    const QString command = QLatin1Char('"')
        + script(QStringLiteral("gated.sh"), "dir=\"$(dirname \"$0\")\"\n"
                                             "[ \"$1\" = first ] && cat \"$dir/gate\" > /dev/null\n"
                                             "echo \"$1\" >> \"$dir/log\"\n")
        + QStringLiteral("\" %u");
    AfterDownloadCommand runner;
    QStringList outcomes;
    const auto request = [&](const QString &feed, const QString &url) {
        runner.run(command, {feed, episode.file, url}, [&outcomes, url](const AfterDownloadOutcome &outcome) {
            outcomes << url + QStringLiteral(": ") + outcome.text();
        });
    };
    request(QStringLiteral("A"), QStringLiteral("first"));
    request(QStringLiteral("A"), QStringLiteral("second"));
    request(QStringLiteral("A"), QStringLiteral("third"));
    request(QStringLiteral("B"), QStringLiteral("other"));

    // Feed B does not wait for feed A.
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == 2; }, 20000));
    EXPECT_EQ(outcomes, QStringList({QStringLiteral("second: after-download command not run: a newer episode "
                                                    "replaced the file first"),
                                     QStringLiteral("other: ")}));
    EXPECT_EQ(read(QStringLiteral("log")), QByteArray("other\n"));
    EXPECT_TRUE(runner.isRunning(QStringLiteral("A")));

    int writer = -1;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (writer = ::open(QFile::encodeName(gate).constData(), O_WRONLY | O_NONBLOCK)) >= 0; }, 20000));
    ::close(writer);
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == 4; }, 20000));
    EXPECT_EQ(outcomes.mid(2), QStringList({QStringLiteral("first: "), QStringLiteral("third: ")}));
    EXPECT_EQ(read(QStringLiteral("log")), QByteArray("other\nfirst\nthird\n"));
}

TEST_F(AfterDownload, EndingTheRunnerEndsItsCommandsAndReportsNothing)
{
    ASSERT_TRUE(QDir().mkpath(pods));
    const QString hanging = script(QStringLiteral("hang.sh"), "sleep 600 &\n"
                                                             "echo $! > \"$(dirname \"$0\")/child\"\n"
                                                             "wait\n");
    bool reported = false;
    {
        AfterDownloadCommand runner;
        runner.run(QLatin1Char('"') + hanging + QLatin1Char('"'), episode,
                   [&](const AfterDownloadOutcome &) { reported = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return !read(QStringLiteral("child")).isEmpty(); }, 20000));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return processEnded(read(QStringLiteral("child"))); }, 20000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(reported);
}

} // namespace
} // namespace tidewell
