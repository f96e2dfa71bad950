#pragma once

#include "FeedDatabase.h"
#include "LoopbackServer.h"
#include "SampleFeeds.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace tidewell::test {

// Runs the installed-to-be executable as a child process in a home of its own.
class CommandLine : public testing::Test
{
protected:
    void SetUp() override
    {
        folder = home.path() + QStringLiteral("/pods/");
        ASSERT_TRUE(QDir().mkpath(folder));
        server.serve("/feed.xml", LoopbackServer::Reply::ok(rssWithEpisode(server.url(QStringLiteral("/episode.mp3")))));
        server.serve("/episode.mp3", LoopbackServer::Reply::ok("new episode", "audio/mpeg"));
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
    void addFeed(const QString &name, int minute, const QString &url, const QString &feedFolder,
                 const QString &filename = QStringLiteral("show.mp3"))
    {
        if (!QFile::exists(home.dataFile())) {
            ASSERT_EQ(run({QStringLiteral("--list")}).status, 0);
        }
        openFeeds(home.dataFile()).insert({name, QString::number(minute), filename, feedFolder, url, true});
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

} // namespace tidewell::test
