#include "CountdownEngine.h"
#include "FakeClock.h"
#include "ScheduleStore.h"
#include "TemporaryHome.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace tidewell {
namespace {

using Start = CountdownEngine::Start;

constexpr qint64 minute = 60 * 1000;

ScheduledFeed feed(FeedRow row, const char *name, qint32 seconds, bool active = true)
{
    return {row, QString::fromLatin1(name), QStringLiteral("example.org"), seconds, active};
}

DownloadResult succeeded(qint64 when)
{
    FeedDownloadOutcome done;
    done.kind = FeedDownloadOutcome::Downloaded;
    return {{when, done, {}}, true, false, std::nullopt};
}

DownloadResult failed(qint64 when, std::optional<qint64> retryAfterSeconds = std::nullopt)
{
    FeedDownloadOutcome failed;
    failed.kind = FeedDownloadOutcome::TransferFailed;
    failed.failure = Failure::http(503, {});
    return {{when, failed, {}}, true, true, retryAfterSeconds};
}

class CountdownEngineTest : public testing::Test
{
protected:
    std::vector<QString> due(CountdownEngine &counting)
    {
        std::vector<QString> names;
        for (const int index : counting.dueFeeds())
            names.push_back(counting.feed(index).name);
        return names;
    }

    // The program ends here and starts again `seconds` later, with what it
    // had written.
    std::unique_ptr<CountdownEngine> restart(const std::vector<ScheduledFeed> &feeds, qint64 seconds)
    {
        store.reset();
        clock.advance(seconds);
        store = std::make_unique<ScheduleStore>();
        auto engine = std::make_unique<CountdownEngine>(clock, store.get());
        engine->setFeeds(feeds);
        engine->start(Start::Resume);
        return engine;
    }

    // One scheduled download of the feed in `index`, ended now.
    void download(CountdownEngine &counting, int index, const DownloadResult &result)
    {
        counting.claim(index);
        counting.downloadEnded(counting.feed(index).row, result);
    }

    qint64 nextTry(CountdownEngine &counting, int index) { return counting.nextTryMs(index).value_or(-1); }

    test::TemporaryHome home;
    test::FakeClock clock;
    std::unique_ptr<ScheduleStore> store = std::make_unique<ScheduleStore>();
    CountdownEngine engine{clock, store.get()};
};

TEST_F(CountdownEngineTest, AFeedIsDueWhenItsIntervalHasPassedAndNotBefore)
{
    engine.setFeeds({feed(1, "Five", 300), feed(2, "Never", 0), feed(3, "Off", 60, false)});
    engine.start(Start::FromZero);
    clock.advance(299);
    EXPECT_TRUE(due(engine).empty());
    EXPECT_EQ(engine.elapsedSeconds(0), 299);
    clock.advance(1);
    EXPECT_EQ(due(engine), std::vector<QString>{QStringLiteral("Five")});
    // Ticks that come late, or not at all, change nothing.
    clock.advance(3600);
    EXPECT_EQ(due(engine), std::vector<QString>{QStringLiteral("Five")});
    EXPECT_EQ(engine.nextTryMs(0), test::FakeClock::morning() + 300 * 1000);
    EXPECT_EQ(engine.nextTryMs(1), std::nullopt);
    EXPECT_EQ(engine.nextTryMs(2), std::nullopt);
    EXPECT_EQ(engine.elapsedSeconds(1), 3900) << "a feed that is never due counts up";
}

TEST_F(CountdownEngineTest, TheNextDueTimeFollowsThePreviousOneNotTheEndOfTheDownload)
{
    engine.setFeeds({feed(1, "A", 60)});
    engine.start(Start::FromZero);
    const qint64 first = test::FakeClock::morning() + minute;
    clock.advance(60);
    engine.claim(0);
    EXPECT_TRUE(engine.isClaimed(0));
    EXPECT_TRUE(due(engine).empty()) << "a claimed feed is not due twice";
    clock.advance(30); // the download takes half a minute
    engine.downloadEnded(1, succeeded(clock.nowMs()));
    EXPECT_EQ(engine.lastDownload(0)->report(), QStringLiteral("Done."));
    EXPECT_EQ(nextTry(engine, 0), first + minute);
    // A download that outlasts several intervals skips the ones it missed.
    clock.advance(30);
    engine.claim(0);
    clock.advance(150);
    engine.downloadEnded(1, succeeded(clock.nowMs()));
    EXPECT_EQ(nextTry(engine, 0), first + 4 * minute);
}

TEST_F(CountdownEngineTest, AClockSetBackNeverShowsMoreThanTheInterval)
{
    engine.setFeeds({feed(1, "A", 300)});
    engine.start(Start::FromZero);
    clock.advance(100);
    clock.advance(-7200);
    EXPECT_EQ(engine.elapsedSeconds(0), 0);
    clock.advance(300);
    EXPECT_EQ(due(engine).size(), 1u);
}

TEST_F(CountdownEngineTest, ARestartGoesOnFromEachStoredDueTime)
{
    const std::vector<ScheduledFeed> feeds{feed(1, "Daily", 86400), feed(2, "Hourly", 3600), feed(3, "New", 600)};
    engine.setFeeds({feeds[0], feeds[1]});
    engine.start(Start::FromZero);
    clock.advance(1800);
    // Off for two hours: Hourly fell due meanwhile, Daily did not, and New
    // was never counted.
    const auto resumed = restart(feeds, 7200);
    EXPECT_EQ(resumed->elapsedSeconds(0), 9000);
    EXPECT_EQ(resumed->elapsedSeconds(2), 0);
    EXPECT_EQ(due(*resumed), std::vector<QString>{QStringLiteral("Hourly")}) << "an overdue feed is due at once";
    // Daily falls due a day after it first started, not a day after the restart.
    EXPECT_EQ(nextTry(*resumed, 0), test::FakeClock::morning() + 86400 * 1000);
}

// The first start after an upgrade from a version that kept counts by name.
TEST_F(CountdownEngineTest, AnUpgradeGoesOnFromTheCountsKeptByName)
{
    store.reset();
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(ScheduleStore::defaultPath().toUtf8().constData(), &db), SQLITE_OK);
        const QByteArray old = "drop table counts; drop table name_keyed_counts; pragma user_version = 0;"
                               "create table counts (name text, ordinal integer, interval integer, started integer);"
                               "insert into counts values ('Daily', 0, 86400, "
            + QByteArray::number(test::FakeClock::morning() - 3600 * 1000) + ");";
        EXPECT_EQ(sqlite3_exec(db, old.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    const auto resumed = restart({feed(7, "Daily", 86400), feed(8, "Weekly", 604800)}, 0);
    EXPECT_EQ(nextTry(*resumed, 0), test::FakeClock::morning() + 82800 * 1000) << "not a day after the upgrade";
    EXPECT_EQ(resumed->elapsedSeconds(1), 0);
    // Once counted under its row, the name no longer speaks for it.
    EXPECT_FALSE(store->nameKeyedCount(QStringLiteral("Daily")));
    EXPECT_EQ(store->count(7)->dueMs, test::FakeClock::morning() + 82800 * 1000);
}

TEST_F(CountdownEngineTest, OverdueFeedsAreDueTogetherInTheOrderTheyFellDueAndAChangedIntervalStartsAgain)
{
    engine.setFeeds({feed(1, "A", 300), feed(2, "B", 60), feed(3, "C", 120), feed(4, "D", 60)});
    engine.start(Start::FromZero);
    const auto resumed =
        restart({feed(1, "A", 300), feed(2, "B", 60), feed(3, "C", 120), feed(4, "D", 120)}, 3600);
    EXPECT_EQ(due(*resumed), (std::vector<QString>{QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A")}));
    EXPECT_EQ(resumed->elapsedSeconds(3), 0); // D's minute changed: from zero
}

TEST_F(CountdownEngineTest, TurningOnFromZeroIgnoresWhatWasStoredAndTurningOffForgetsIt)
{
    engine.setFeeds({feed(1, "A", 60)});
    engine.start(Start::FromZero);
    clock.advance(3600);
    CountdownEngine again(clock, store.get());
    again.setFeeds({feed(1, "A", 60)});
    again.start(Start::FromZero);
    EXPECT_EQ(again.elapsedSeconds(0), 0);
    again.stop();
    EXPECT_TRUE(due(again).empty());
    const auto resumed = restart({feed(1, "A", 60)}, 3600);
    EXPECT_EQ(resumed->elapsedSeconds(0), 0);
}

TEST_F(CountdownEngineTest, FeedsAreKnownByTheirRowsNotTheirNames)
{
    engine.setFeeds({feed(1, "Twin", 600), feed(2, "Twin", 600), feed(3, "Gone", 600), feed(4, "Changed", 600)});
    engine.start(Start::FromZero);
    clock.advance(100);
    engine.claim(1);
    engine.downloadEnded(2, failed(clock.nowMs()));
    clock.advance(100);
    engine.setFeeds({feed(5, "New", 600), feed(2, "Twin", 600), feed(1, "Twin", 600), feed(4, "Changed", 900)});
    EXPECT_EQ(engine.elapsedSeconds(0), 0);   // New
    EXPECT_EQ(engine.elapsedSeconds(2), 200); // the first Twin kept its count wherever it stands
    EXPECT_FALSE(engine.lastDownload(2).has_value());
    ASSERT_TRUE(engine.lastDownload(1).has_value()) << "the second Twin keeps its own outcome";
    EXPECT_EQ(engine.elapsedSeconds(3), 0); // Changed
    EXPECT_EQ(engine.indexOf(3), -1);

    // A row that shows another name after a restart holds another feed,
    // which inherits nothing of the one before.
    const auto resumed = restart({feed(2, "Other", 600), feed(1, "Twin", 600)}, 10);
    EXPECT_FALSE(resumed->lastDownload(0).has_value());
    EXPECT_EQ(resumed->elapsedSeconds(0), 0);
    EXPECT_EQ(resumed->elapsedSeconds(1), 210);
    EXPECT_FALSE(store->count(3).has_value()) << "the feed that left the list is forgotten";
}

TEST_F(CountdownEngineTest, AFailureIsTriedAgainAfterOneTwoAndFourMinutesButNeverAfterTheNextDueTime)
{
    engine.setFeeds({feed(1, "Hourly", 3600), feed(2, "Five", 300)});
    engine.start(Start::FromZero);
    clock.advance(3600);
    const qint64 due = clock.nowMs();
    int attempt = 2;
    for (const qint64 wait : {1, 2, 4, 8, 16}) {
        download(engine, 0, failed(clock.nowMs()));
        EXPECT_EQ(nextTry(engine, 0), clock.nowMs() + wait * minute) << wait;
        EXPECT_EQ(engine.retry(0)->attempt, attempt++);
        clock.set(nextTry(engine, 0) - 1000);
        EXPECT_FALSE(engine.isDue(0));
        clock.advance(1);
        EXPECT_TRUE(engine.isDue(0));
    }
    // 31 minutes gone: the next wait of 32 would pass the next due time.
    download(engine, 0, failed(clock.nowMs()));
    EXPECT_EQ(nextTry(engine, 0), due + 3600 * 1000);
    EXPECT_EQ(RetryText(*engine.retry(0), clock.nowMs()), QStringLiteral("retry at 11:00 (attempt 7)"));
    // A success ends the retries, and the regular time comes an hour on.
    clock.set(nextTry(engine, 0));
    download(engine, 0, succeeded(clock.nowMs()));
    EXPECT_FALSE(engine.retry(0).has_value());
    EXPECT_EQ(nextTry(engine, 0), due + 2 * 3600 * 1000);
    clock.set(nextTry(engine, 0));
    download(engine, 0, failed(clock.nowMs()));
    EXPECT_EQ(engine.retry(0)->attempt, 2) << "the backoff starts afresh";
    EXPECT_EQ(nextTry(engine, 0), clock.nowMs() + minute);

    // A five-minute feed is retried within its interval, then keeps it.
    clock.set(nextTry(engine, 1));
    const qint64 fiveDue = clock.nowMs();
    download(engine, 1, failed(clock.nowMs()));
    EXPECT_EQ(nextTry(engine, 1), fiveDue + minute);
    clock.advance(60);
    download(engine, 1, failed(clock.nowMs()));
    EXPECT_EQ(nextTry(engine, 1), fiveDue + 3 * minute);
    clock.advance(120);
    download(engine, 1, failed(clock.nowMs()));
    EXPECT_EQ(nextTry(engine, 1), fiveDue + 5 * minute);
}

TEST_F(CountdownEngineTest, WhatCannotMendAndDownloadsByHandAreNotRetried)
{
    engine.setFeeds({feed(1, "A", 3600)});
    engine.start(Start::FromZero);
    clock.advance(3600);
    DownloadResult noDetails = failed(clock.nowMs());
    noDetails.retryable = false;
    download(engine, 0, noDetails);
    EXPECT_FALSE(engine.retry(0).has_value());
    EXPECT_EQ(nextTry(engine, 0), clock.nowMs() + 3600 * 1000);

    DownloadResult byHand = failed(clock.nowMs());
    byHand.scheduled = false;
    download(engine, 0, byHand);
    EXPECT_FALSE(engine.retry(0).has_value());
    EXPECT_EQ(nextTry(engine, 0), clock.nowMs() + 3600 * 1000) << "a download by hand leaves the count alone";
}

TEST_F(CountdownEngineTest, RetryAfterIsHonouredInTheProgramsTimeAndWithinReason)
{
    engine.setFeeds({feed(1, "Hourly", 3600)});
    engine.start(Start::FromZero);
    clock.advance(3600);
    download(engine, 0, failed(clock.nowMs(), 600));
    EXPECT_EQ(nextTry(engine, 0), clock.nowMs() + 10 * minute);
    download(engine, 0, failed(clock.nowMs(), 2 * 3600));
    EXPECT_EQ(nextTry(engine, 0), clock.nowMs() + 2 * 3600 * 1000) << "even past the next due time";
    download(engine, 0, failed(clock.nowMs(), 10LL * 365 * 86400));
    EXPECT_EQ(nextTry(engine, 0), clock.nowMs() + 86400 * 1000) << "at most a day";

    // Minutes of a second each shorten the server's wait alike.
    CountdownEngine fast(clock, nullptr, 1);
    fast.setFeeds({feed(1, "Hourly", 60)});
    fast.start(Start::FromZero);
    clock.advance(60);
    download(fast, 0, failed(clock.nowMs(), 600));
    EXPECT_EQ(nextTry(fast, 0), clock.nowMs() + 10 * 1000);
}

TEST_F(CountdownEngineTest, RetriesWaitingRunAtOnceWhenTheNetworkComesBackButNotThoseTheServerTimed)
{
    engine.setFeeds({feed(1, "A", 86400), feed(2, "B", 86400)});
    engine.start(Start::FromZero);
    clock.advance(86400);
    download(engine, 0, failed(clock.nowMs()));
    download(engine, 1, failed(clock.nowMs(), 3600));
    clock.advance(10);
    engine.retryNow();
    EXPECT_EQ(due(engine), (std::vector<QString>{QStringLiteral("A")}));
    EXPECT_EQ(engine.retry(0)->attempt, 2);
}

TEST_F(CountdownEngineTest, RetriesAndOutcomesOutliveTheProgramAndACutDownloadLeavesTheFeedDue)
{
    engine.setFeeds({feed(1, "A", 3600), feed(2, "B", 3600)});
    engine.start(Start::FromZero);
    clock.advance(3600);
    download(engine, 0, failed(clock.nowMs()));
    engine.claim(1);
    engine.releaseClaim(2); // B's download was cut by the program's end
    const auto resumed = restart({feed(1, "A", 3600), feed(2, "B", 3600)}, 10);
    ASSERT_TRUE(resumed->lastDownload(0).has_value());
    EXPECT_EQ(resumed->lastDownload(0)->report(), QStringLiteral("Download Failed. (HTTP 503)"))
        << "kept as a value, said the same after a restart";
    EXPECT_EQ(resumed->lastDownload(0)->outcome.failure, Failure::http(503, {}));
    ASSERT_TRUE(resumed->retry(0).has_value());
    EXPECT_EQ(resumed->retry(0)->attempt, 2);
    EXPECT_FALSE(resumed->lastDownload(1).has_value());
    EXPECT_TRUE(resumed->isDue(1));
}

TEST_F(CountdownEngineTest, NotCountingTheEngineShowsWhatAnotherRunKeptAndStartsNothing)
{
    engine.setFeeds({feed(1, "A", 3600)});
    engine.start(Start::FromZero);
    clock.advance(7200);
    store->flush();
    ScheduleStore kept(ScheduleStore::defaultPath(), ScheduleStore::Mode::ReadOnly);
    CountdownEngine status(clock, &kept);
    status.setFeeds({feed(1, "A", 3600), feed(2, "New", 60)});
    EXPECT_EQ(status.nextTryMs(0), test::FakeClock::morning() + 3600 * 1000);
    EXPECT_FALSE(status.isDue(0));
    EXPECT_EQ(status.nextTryMs(1), std::nullopt);
}

TEST(ScheduleStoreOpening, AStoreThatCannotBeOpenedRemembersNothingAndSaysWhy)
{
    test::TemporaryHome home;
    ScheduleStore store(home.path() + QStringLiteral("/Desktop"));
    EXPECT_FALSE(store.isOpen());
    EXPECT_FALSE(store.error().isEmpty());
    test::FakeClock clock;
    CountdownEngine engine(clock, &store);
    engine.setFeeds({feed(1, "A", 60)});
    engine.start(Start::Resume);
    EXPECT_EQ(engine.elapsedSeconds(0), 0);
}

} // namespace
} // namespace tidewell
