#include "RunningCopy.h"
#include "ScriptedMessageBox.h"
#include "TemporaryHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tidewell {
namespace {

using Holder = RunningCopy::Holder;

class OneRunningCopy : public testing::Test
{
protected:
    QString dataFolder() const { return home.dataFolder(); }

    test::TemporaryHome home;
};

TEST_F(OneRunningCopy, TheWindowKeepsOutASecondWindowAndTheHeadlessScheduler)
{
    RunningCopy window(dataFolder());
    ASSERT_EQ(window.claimForWindow(), Holder::None);

    RunningCopy second(dataFolder());
    EXPECT_EQ(second.claimForWindow(), Holder::Window);
    EXPECT_EQ(second.holderProcess(), QCoreApplication::applicationPid());
    RunningCopy headless(dataFolder());
    EXPECT_EQ(headless.claimForHeadless(), Holder::Window);
    EXPECT_EQ(headless.holderProcess(), QCoreApplication::applicationPid());
}

TEST_F(OneRunningCopy, TheHeadlessSchedulerKeepsOutTheWindowAndAnotherScheduler)
{
    RunningCopy refusedWindow(dataFolder());
    {
        RunningCopy headless(dataFolder());
        ASSERT_EQ(headless.claimForHeadless(), Holder::None);
        EXPECT_EQ(RunningCopy(dataFolder()).claimForHeadless(), Holder::Headless);
        EXPECT_EQ(refusedWindow.claimForWindow(), Holder::Headless);
    }
    // The refused window kept no lock of its own: once the scheduler has
    // stopped, a window starts.
    RunningCopy window(dataFolder());
    EXPECT_EQ(window.claimForWindow(), Holder::None);
}

TEST_F(OneRunningCopy, AWindowStartedBesideTheHeadlessSchedulerSaysSoAndEnds)
{
    RunningCopy headless(dataFolder());
    ASSERT_EQ(headless.claimForHeadless(), Holder::None);
    test::ScriptedMessageBox box;
    RunningCopy window(dataFolder());
    EXPECT_EQ(deferToRunningCopy(window, dataFolder(), box), 1);
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
    EXPECT_EQ(headless.claimForHeadless(), Holder::None);
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
    ASSERT_EQ(headless.claimForHeadless(), Holder::None);
    const QStringList places = headless.lockPlaces();
    ASSERT_EQ(places.size(), 3) << "the data folder, the runtime folder, the state folder";
    EXPECT_TRUE(QFileInfo(places[1]).isFile());
    EXPECT_EQ(RunningCopy(data).claimForHeadless(), Holder::Headless);
    EXPECT_EQ(RunningCopy(data).claimForWindow(), Holder::Headless);

    // The data folder takes locks again: a copy starting now still finds the
    // one that had to go elsewhere.
    ASSERT_TRUE(QFile::remove(data));
    ASSERT_TRUE(QDir().mkpath(data));
    RunningCopy later(data);
    EXPECT_EQ(later.claimForHeadless(), Holder::Headless);
    EXPECT_EQ(later.holderProcess(), QCoreApplication::applicationPid());
    EXPECT_FALSE(QFileInfo::exists(places[0])) << "the refused copy leaves no lock behind";
}

TEST_F(OneRunningCopy, WithNoPlaceForALockTheProgramDoesNotRun)
{
    const QString data = unusable(home, "data-folder");
    qputenv("XDG_RUNTIME_DIR", unusable(home, "runtime-file").toLocal8Bit());
    qputenv("XDG_STATE_HOME", unusable(home, "state-file").toLocal8Bit());
    EXPECT_EQ(RunningCopy(data).claimForHeadless(), Holder::NoLock);
    test::ScriptedMessageBox box;
    RunningCopy window(data);
    EXPECT_EQ(deferToRunningCopy(window, data, box), 1);
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_TRUE(box.shown()[0].prompt.contains(QStringLiteral("cannot make a lock file")))
        << box.shown()[0].prompt.toStdString();
}

TEST_F(OneRunningCopy, ALaterStartAsksTheWindowToComeForward)
{
    ComeForwardServer server(dataFolder());
    ASSERT_TRUE(server.isListening());
    QSignalSpy asked(&server, &ComeForwardServer::comeForward);
    // The later start waits for the answer, which the window gives from its
    // event loop.
    std::atomic<int> answered{-1};
    std::thread later([&] { answered = askToComeForward(dataFolder(), 5000) ? 1 : 0; });
    const bool done = QTest::qWaitFor([&] { return answered != -1; }, 10000);
    later.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(asked.count(), 1);
}

TEST_F(OneRunningCopy, WithNoWindowToAskTheLaterStartGivesUpInTime)
{
    EXPECT_FALSE(askToComeForward(dataFolder(), 300));
}

} // namespace
} // namespace tidewell
