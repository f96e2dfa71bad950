#include "LocalChannel.h"
#include "RunningCopy.h"
#include "ScriptedMessageBox.h"
#include "TemporaryHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tidewell {
namespace {

using Holder = RunningCopy::Holder;

class OneRunningCopy : public testing::Test
{
protected:
    QString dataFolder() const { return home.dataFolder(); }

    // What --headless claims: the service's own lock, then the schedule.
    static Holder claimForHeadless(RunningCopy &copy)
    {
        const Holder service = copy.claimForService();
        if (service != Holder::None)
            return service;
        return copy.takeSchedule() ? Holder::None : Holder::Window;
    }

    test::TemporaryHome home;
};

TEST_F(OneRunningCopy, TheWindowKeepsOutASecondWindowAndTakesTheScheduleFromNoService)
{
    RunningCopy window(dataFolder());
    ASSERT_EQ(window.claimForWindow(), Holder::None);

    RunningCopy second(dataFolder());
    EXPECT_EQ(second.claimForWindow(), Holder::Window);
    EXPECT_EQ(second.holderProcess(), QCoreApplication::applicationPid());
    // A service started beside the window runs, but does not schedule.
    RunningCopy service(dataFolder());
    EXPECT_EQ(service.claimForService(), Holder::None);
    EXPECT_FALSE(service.takeSchedule());
    EXPECT_TRUE(service.scheduleHeldElsewhere());
}

TEST_F(OneRunningCopy, OneServiceAtATimeAndTheWindowBesideItKeepsItsOwnLock)
{
    RunningCopy service(dataFolder());
    ASSERT_EQ(claimForHeadless(service), Holder::None);
    EXPECT_EQ(RunningCopy(dataFolder()).claimForService(), Holder::Headless);

    RunningCopy window(dataFolder());
    EXPECT_EQ(window.claimForWindow(), Holder::Headless);
    // The service hands over: the window takes the schedule.
    service.releaseSchedule();
    EXPECT_TRUE(window.takeSchedule());
    EXPECT_TRUE(service.scheduleHeldElsewhere());
    EXPECT_EQ(RunningCopy(dataFolder()).claimForWindow(), Holder::Window) << "the window's own lock stayed";
}

TEST_F(OneRunningCopy, AWindowTheServiceDoesNotHandOverToSaysSoAndEnds)
{
    RunningCopy service(dataFolder());
    ASSERT_EQ(claimForHeadless(service), Holder::None);
    test::ScriptedMessageBox box;
    RunningCopy window(dataFolder());
    EXPECT_EQ(deferToRunningCopy(window, dataFolder(), box, [] { return false; }), 1);
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_TRUE(box.shown()[0].prompt.contains(QStringLiteral("--headless, process %1")
                                                   .arg(QCoreApplication::applicationPid())))
        << box.shown()[0].prompt.toStdString();
    EXPECT_EQ(box.shown()[0].title, QStringLiteral("Tidewell Episode"));
}

TEST_F(OneRunningCopy, LocksGoWithTheirHolder)
{
    {
        RunningCopy window(dataFolder());
        ASSERT_EQ(window.claimForWindow(), Holder::None);
    }
    RunningCopy headless(dataFolder());
    EXPECT_EQ(claimForHeadless(headless), Holder::None);
}

// A place where no file can be made, whoever the test runs as (a read-only
// folder keeps out every user but root): a path through a file.
QString unusable(const test::TemporaryHome &home, const char *name)
{
    const QString path = home.path() + QLatin1Char('/') + QString::fromLatin1(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    return path;
}

TEST_F(OneRunningCopy, WhereTheDataFolderTakesNoLockTheLockGoesElsewhereAndStillKeepsOutASecondCopy)
{
    const QString data = unusable(home, "data-folder");
    RunningCopy headless(data);
    ASSERT_EQ(claimForHeadless(headless), Holder::None);
    const QStringList places = headless.lockPlaces();
    ASSERT_EQ(places.size(), 3) << "the data folder, the runtime folder, the state folder";
    EXPECT_TRUE(QFileInfo(places[1]).isFile());
    RunningCopy second(data);
    EXPECT_EQ(claimForHeadless(second), Holder::Headless);
    EXPECT_EQ(RunningCopy(data).claimForWindow(), Holder::Headless);

    // The data folder takes locks again: a copy starting now still finds the
    // one that had to go elsewhere.
    ASSERT_TRUE(QFile::remove(data));
    ASSERT_TRUE(QDir().mkpath(data));
    RunningCopy later(data);
    EXPECT_EQ(claimForHeadless(later), Holder::Headless);
    EXPECT_EQ(later.holderProcess(), QCoreApplication::applicationPid());
    EXPECT_FALSE(QFileInfo::exists(places[0])) << "the refused copy leaves no lock behind";
}

TEST_F(OneRunningCopy, WithNoPlaceForALockTheProgramDoesNotRun)
{
    const QString data = unusable(home, "data-folder");
    qputenv("XDG_RUNTIME_DIR", unusable(home, "runtime-file").toLocal8Bit());
    qputenv("XDG_STATE_HOME", unusable(home, "state-file").toLocal8Bit());
    EXPECT_EQ(RunningCopy(data).claimForService(), Holder::NoLock);
    test::ScriptedMessageBox box;
    RunningCopy window(data);
    EXPECT_EQ(deferToRunningCopy(window, data, box, [] { return true; }), 1);
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_TRUE(box.shown()[0].prompt.contains(QStringLiteral("cannot make a lock file")))
        << box.shown()[0].prompt.toStdString();
}

TEST_F(OneRunningCopy, ALaterStartAsksTheWindowToComeForwardAndAnImportAsksItToReadTheList)
{
    WindowChannel channel(dataFolder());
    ASSERT_TRUE(channel.isListening());
    QSignalSpy asked(&channel, &WindowChannel::comeForward);
    QSignalSpy reload(&channel, &WindowChannel::reloadList);
    // The later start waits for the answer, which the window gives from its
    // event loop.
    std::atomic<int> answered{-1};
    std::thread later([&] {
        answered = askToComeForward(dataFolder(), 5000) && tellSchedulerToReload(dataFolder()) ? 1 : 0;
    });
    const bool done = QTest::qWaitFor([&] { return answered != -1; }, 10000);
    later.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(asked.count(), 1);
    EXPECT_EQ(reload.count(), 1);
}

TEST_F(OneRunningCopy, WithNoWindowToAskTheLaterStartGivesUpInTime)
{
    EXPECT_FALSE(askToComeForward(dataFolder(), 300));
    EXPECT_FALSE(tellSchedulerToReload(dataFolder()));
}

// The channels' sockets.

TEST(Channels, LiveInAFolderOfThisUserAloneNeverInASharedOne)
{
    test::TemporaryHome home;
    EXPECT_EQ(privateSocketFolder(), home.path() + QStringLiteral("/runtime"));
    // A runtime folder others may enter is no place for them: the state
    // folder gets one of its own.
    ::chmod(QFile::encodeName(home.path() + QStringLiteral("/runtime")).constData(), 0755);
    const QString own = privateSocketFolder();
    EXPECT_EQ(own, home.path() + QStringLiteral("/state/Marrowby/Tidewell Episode Keeper/run"));
    EXPECT_EQ(QFileInfo(own).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(privateSocketFolder(), own);
}

// A socket's path holds at most 107 bytes: a home deep in the file system
// leaves no room in the state folder, so the channel goes to a folder of this
// user's own in /tmp instead of failing to listen.
TEST(Channels, AHomeTooDeepForASocketsPathStillHasAChannel)
{
    test::TemporaryHome home;
    qunsetenv("XDG_RUNTIME_DIR");
    const QString deep = home.path() + QStringLiteral("/a-home-as-deep-as-some-sites-make-them/for/everyone");
    qputenv("XDG_STATE_HOME", QFile::encodeName(deep));
    const QString path = channelPath(home.dataFolder(), QStringLiteral("window"));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_LE(QFile::encodeName(path).size(), 107);
    const QString folder = QFileInfo(path).path();
    EXPECT_EQ(folder, QStringLiteral("/tmp/tidewell-episode-keeper-%1").arg(::geteuid()));
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
    {
        LocalChannel channel(path);
        EXPECT_TRUE(channel.isListening()) << channel.errorString().toStdString();
    }
    QDir().rmdir(folder); // left only when another test's socket is in it
}

TEST(Channels, ALineLongerThanARequestIsHungUpOnWithoutBeingRead)
{
    test::TemporaryHome home;
    const QString path = channelPath(home.dataFolder(), QStringLiteral("test"));
    LocalChannel channel(path);
    ASSERT_TRUE(channel.isListening()) << channel.errorString().toStdString();
    QSignalSpy requests(&channel, &LocalChannel::request);
    QLocalSocket client;
    client.connectToServer(path);
    ASSERT_TRUE(client.waitForConnected(5000));
    // 64 MiB without a line end: the channel reads no more than a line's worth.
    const QByteArray flood(1 << 20, 'x');
    qint64 sent = 0;
    const bool hungUp = QTest::qWaitFor(
        [&] {
            if (client.state() != QLocalSocket::ConnectedState)
                return true;
            if (sent < 64 * (1 << 20) && client.bytesToWrite() < (1 << 20))
                sent += client.write(flood);
            return false;
        },
        10000);
    EXPECT_TRUE(hungUp);
    EXPECT_EQ(requests.count(), 0);
}

TEST(Channels, AProcessOfAnotherUserIsHungUpOn)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to run a client as another user";
    test::TemporaryHome home;
    // A folder the other user may reach, so that only the peer check stands
    // in its way.
    const QString folder = home.path() + QStringLiteral("/open");
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(home.path()).constData(), 0755);
    ::chmod(QFile::encodeName(folder).constData(), 0777);
    const QString path = folder + QStringLiteral("/channel");
    LocalChannel channel(path);
    ASSERT_TRUE(channel.isListening());
    ::chmod(QFile::encodeName(path).constData(), 0777);
    QSignalSpy requests(&channel, &LocalChannel::request);

    const QByteArray socketPath = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        // Another user asks (plain system calls: this is a forked copy of a
        // process with threads); it must get no answer.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.constData(), sizeof address.sun_path - 1);
        if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            ::_exit(4);
        const char request[] = "come forward\n";
        if (::write(socket, request, sizeof request - 1) < 0)
            ::_exit(0); // hung up on already
        timeval wait{3, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char answer[16];
        ::_exit(::read(socket, answer, sizeof answer) > 0 ? 1 : 0);
    }
    int status = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 10000));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other user's client was answered (or could not become that user)";
    EXPECT_EQ(requests.count(), 0);
}

} // namespace
} // namespace tidewell
