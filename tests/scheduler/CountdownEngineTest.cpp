#include "CountdownEngine.h"
#include "FakeClock.h"
#include "ScheduleStore.h"
#include "TemporaryHome.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

using Start = CountdownEngine::Start;

ScheduledFeed feed(const char *name, qint32 seconds, bool active = true)
{
    return {QString::fromLatin1(name), seconds, active};
}

class CountdownEngineTest : public testing::Test
{
protected:
    std::vector<QString> due(CountdownEngine &engine)
    {
        std::vector<QString> names;
        for (const int index : engine.dueFeeds())
            names.push_back(engine.feed(index).name);
        return names;
    }

    // The program ends here and starts again `seconds` later.
    std::unique_ptr<CountdownEngine> restart(const std::vector<ScheduledFeed> &feeds, qint64 seconds)
    {
        clock.advance(seconds);
        auto engine = std::make_unique<CountdownEngine>(clock, &store);
        engine->start(feeds, Start::Resume);
        return engine;
    }

    test::TemporaryHome home;
    test::FakeClock clock;
    ScheduleStore store;
    CountdownEngine engine{clock, &store};
};

TEST_F(CountdownEngineTest, AFeedIsDueWhenItsIntervalHasPassedAndNotBefore)
{
    engine.start({feed("Five", 300), feed("Never", 0), feed("Off", 60, false)}, Start::FromZero);
    clock.advance(299);
    EXPECT_TRUE(due(engine).empty());
    EXPECT_EQ(engine.elapsedSeconds(0), 299);
    clock.advance(1);
    EXPECT_EQ(due(engine), std::vector<QString>{QStringLiteral("Five")});
    // Ticks that come late, or not at all, change nothing.
    clock.advance(3600);
    EXPECT_EQ(due(engine), std::vector<QString>{QStringLiteral("Five")});
    EXPECT_EQ(engine.nextDueMs(0), test::FakeClock::morning() + 300 * 1000);
    EXPECT_EQ(engine.nextDueMs(1), std::nullopt);
    EXPECT_EQ(engine.nextDueMs(2), std::nullopt);
}

TEST_F(CountdownEngineTest, ADownloadHoldsItsFeedAndItsEndStartsTheCountAgain)
{
    engine.start({feed("A", 60)}, Start::FromZero);
    clock.advance(60);
    const CountdownEngine::Token token = engine.downloadStarted(0);
    EXPECT_TRUE(engine.isDownloading(0));
    EXPECT_TRUE(due(engine).empty());
    clock.advance(30); // the download takes half a minute
    EXPECT_EQ(engine.downloadEnded(token, {clock.nowMs(), true, QStringLiteral("Done.")}), 0);
    engine.restartCount(0);
    EXPECT_EQ(engine.lastDownload(0)->report, QStringLiteral("Done."));
    clock.advance(59);
    EXPECT_TRUE(due(engine).empty());
    clock.advance(1);
    EXPECT_EQ(due(engine).size(), 1u);
}

TEST_F(CountdownEngineTest, AClockSetBackNeverShowsMoreThanTheInterval)
{
    engine.start({feed("A", 300)}, Start::FromZero);
    clock.advance(100);
    clock.advance(-7200);
    EXPECT_EQ(engine.elapsedSeconds(0), 0);
    clock.advance(300);
    EXPECT_EQ(due(engine).size(), 1u);
}

TEST_F(CountdownEngineTest, ARestartGoesOnFromEachStoredCount)
{
    const std::vector<ScheduledFeed> feeds{feed("Daily", 86400), feed("Hourly", 3600), feed("New", 600)};
    engine.start({feeds[0], feeds[1]}, Start::FromZero);
    clock.advance(1800);
    // Off for two hours: Hourly fell due meanwhile, Daily did not, and New
    // was never counted.
    const auto resumed = restart(feeds, 7200);
    EXPECT_EQ(resumed->elapsedSeconds(0), 9000);
    EXPECT_EQ(resumed->elapsedSeconds(2), 0);
    EXPECT_TRUE(due(*resumed).empty()); // an overdue feed waits for the first tick
    clock.advance(1);
    EXPECT_EQ(due(*resumed), std::vector<QString>{QStringLiteral("Hourly")});
    // Daily falls due a day after it first started, not a day after the restart.
    clock.advance(86400 - 9001 - 1);
    EXPECT_FALSE(resumed->isDue(0));
    clock.advance(1);
    EXPECT_TRUE(resumed->isDue(0));
}

TEST_F(CountdownEngineTest, OverdueFeedsFallDueOneASecondAndAChangedIntervalStartsAgain)
{
    engine.start({feed("A", 60), feed("B", 60), feed("C", 60), feed("D", 60)}, Start::FromZero);
    const auto resumed = restart({feed("A", 60), feed("B", 60), feed("C", 60), feed("D", 120)}, 3600);
    for (const char *name : {"A", "B", "C"}) {
        clock.advance(1);
        const std::vector<QString> now = due(*resumed);
        ASSERT_FALSE(now.empty());
        EXPECT_EQ(now.back(), QString::fromLatin1(name));
        resumed->downloadStarted(resumed->dueFeeds().back());
    }
    EXPECT_EQ(resumed->elapsedSeconds(3), 3); // D's minute changed: from zero
}

TEST_F(CountdownEngineTest, TurningOnFromZeroIgnoresWhatWasStored)
{
    engine.start({feed("A", 60)}, Start::FromZero);
    clock.advance(3600);
    CountdownEngine again(clock, &store);
    again.start({feed("A", 60)}, Start::FromZero);
    EXPECT_EQ(again.elapsedSeconds(0), 0);
    // Turning off forgets the counts: a later start has nothing to resume.
    again.stop();
    const auto resumed = restart({feed("A", 60)}, 3600);
    EXPECT_EQ(resumed->elapsedSeconds(0), 0);
}

TEST_F(CountdownEngineTest, ARefillKeepsTheCountsOfFeedsThatStayAndRowsWithOneNameKeepTheirOwn)
{
    engine.start({feed("Twin", 600), feed("Twin", 600), feed("Gone", 600), feed("Changed", 600)}, Start::FromZero);
    clock.advance(100);
    engine.rebind({feed("Twin", 600)});
    clock.advance(100);
    engine.rebind({feed("New", 600), feed("Twin", 600), feed("Twin", 600), feed("Changed", 900)});
    EXPECT_EQ(engine.elapsedSeconds(0), 0);   // New
    EXPECT_EQ(engine.elapsedSeconds(1), 200); // the first Twin kept its count
    EXPECT_EQ(engine.elapsedSeconds(2), 0);   // the second Twin was gone meanwhile
    EXPECT_EQ(engine.elapsedSeconds(3), 0);   // Changed
}

TEST_F(CountdownEngineTest, ADownloadEndsForItsOwnFeedWhereverTheListPutItMeanwhile)
{
    engine.start({feed("A", 60), feed("B", 60)}, Start::FromZero);
    clock.advance(60);
    const CountdownEngine::Token token = engine.downloadStarted(1);
    // B is changed while its episode arrives: it counts from zero, but its
    // download stays its own, so it is not due a second time meanwhile.
    engine.rebind({feed("First", 30), feed("A", 60), feed("B", 120)});
    clock.advance(200);
    EXPECT_EQ(due(engine), (std::vector<QString>{QStringLiteral("First"), QStringLiteral("A")}));
    EXPECT_EQ(engine.downloadEnded(token, {clock.nowMs(), false, QStringLiteral("Download Failed.")}), 2);
    EXPECT_EQ(engine.lastDownload(2)->report, QStringLiteral("Download Failed."));
    // A download whose feed has gone ends quietly.
    const CountdownEngine::Token orphan = engine.downloadStarted(0);
    engine.rebind({feed("A", 60)});
    EXPECT_EQ(engine.downloadEnded(orphan, {}), -1);
}

TEST_F(CountdownEngineTest, OutcomesOutliveTheProgram)
{
    engine.start({feed("A", 60)}, Start::FromZero);
    engine.recordOutcome(QStringLiteral("A"), {clock.nowMs(), false, QStringLiteral("Download Failed. (HTTP 404)")});
    const auto resumed = restart({feed("A", 60)}, 10);
    ASSERT_TRUE(resumed->lastDownload(0).has_value());
    EXPECT_EQ(resumed->lastDownload(0)->report, QStringLiteral("Download Failed. (HTTP 404)"));
    EXPECT_FALSE(resumed->lastDownload(0)->succeeded);
}

TEST(ScheduleStore, AStoreThatCannotBeOpenedRemembersNothingAndSaysWhy)
{
    test::TemporaryHome home;
    ScheduleStore store(home.path() + QStringLiteral("/Desktop"));
    EXPECT_FALSE(store.isOpen());
    EXPECT_FALSE(store.error().isEmpty());
    store.saveCount({QStringLiteral("A"), 0, 60, 1});
    EXPECT_TRUE(store.counts().empty());
    test::FakeClock clock;
    CountdownEngine engine(clock, &store);
    engine.start({feed("A", 60)}, Start::Resume);
    EXPECT_EQ(engine.elapsedSeconds(0), 0);
}

} // namespace
} // namespace tidewell
