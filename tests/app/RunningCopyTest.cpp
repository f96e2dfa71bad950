#include "RunningCopy.h"
#include "ScriptedMessageBox.h"
#include "TemporaryHome.h"

#include <QCoreApplication>
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
