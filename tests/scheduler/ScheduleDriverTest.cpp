// The scheduling driver on a clock moved by hand, with downloads that end
// when the test says: the bounded queue, the retry rule, no drift, and what
// the program's end leaves behind.
#include "FakeClock.h"
#include "FakeDownloads.h"
#include "ScheduleDriver.h"
#include "ScheduleStore.h"
#include "TemporaryHome.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

using Start = CountdownEngine::Start;
using test::FakeDownloads;

constexpr qint64 minute = 60 * 1000;
constexpr qint32 day = 86400;

ScheduledFeed feed(FeedRow row, const QString &host, qint32 seconds)
{
    return {row, QStringLiteral("Feed %1").arg(row), host, seconds, true};
}

class ScheduleDriverTest : public testing::Test
{
protected:
    // Ticks never come on their own: the test calls runDue().
    std::unique_ptr<ScheduleDriver> makeDriver()
    {
        auto made = std::make_unique<ScheduleDriver>(
            ScheduleDriver::Environment{clock, store.get(), downloads.factory(), 60, 0});
        QObject::connect(made.get(), &ScheduleDriver::ended, made.get(),
                         [this](const DownloadEnd &end) { ends.push_back(end); });
        return made;
    }

    void feeds(const std::vector<ScheduledFeed> &list, Start how = Start::FromZero)
    {
        driver->setFeeds(list);
        driver->start(how);
    }

    // Rows 1 to 6, each on a host of its own, due and handed to the driver:
    // four run, two wait.
    void sixFeedsOfSixHostsFallDue()
    {
        std::vector<ScheduledFeed> list;
        for (FeedRow row = 1; row <= 6; ++row)
            list.push_back(feed(row, QStringLiteral("host%1").arg(row), 60));
        feeds(list);
        clock.advance(60);
        driver->runDue();
    }

    std::optional<qint64> nextTry(FeedRow row)
    {
        return driver->engine().nextTryMs(driver->engine().indexOf(row));
    }

    // The program ends and starts again: a new store read from the file, a
    // new driver resuming.
    void restart(const std::vector<ScheduledFeed> &list)
    {
        driver->shutDown();
        driver.reset();
        store.reset();
        store = std::make_unique<ScheduleStore>();
        driver = makeDriver();
        feeds(list, Start::Resume);
    }

    test::TemporaryHome home;
    test::FakeClock clock;
    FakeDownloads downloads;
    std::unique_ptr<ScheduleStore> store = std::make_unique<ScheduleStore>();
    std::vector<DownloadEnd> ends;
    std::unique_ptr<ScheduleDriver> driver = makeDriver();
};

TEST_F(ScheduleDriverTest, ABurstRunsFourAtOnceTwoPerHostInTheOrderTheFeedsFellDue)
{
    // 1,000 feeds fall due in one tick (a wake, a clock jump), on three hosts;
    // feed 1000 fell due first.
    std::vector<ScheduledFeed> list;
    for (FeedRow row = 1; row <= 1000; ++row)
        list.push_back(feed(row, QStringLiteral("host%1.example").arg(row % 3), row == 1000 ? 60 : 120));
    feeds(list);
    clock.advance(120);
    driver->runDue();
    ASSERT_EQ(downloads.runningCount(), 4);
    EXPECT_NE(downloads.of(1000), nullptr) << "the feed that fell due first goes first";
    std::map<QString, int> perHost;
    for (const auto *job : downloads.running())
        ++perHost[list[static_cast<std::size_t>(job->row() - 1)].host];
    for (const auto &[host, count] : perHost)
        EXPECT_LE(count, 2) << host.toStdString();

    std::vector<FeedRow> order;
    while (!downloads.running().empty()) {
        auto *oldest = downloads.running().front();
        order.push_back(oldest->row());
        oldest->succeed();
        EXPECT_LE(downloads.runningCount(), ScheduleDriver::maxRunning);
    }
    EXPECT_EQ(ends.size(), 1000u);
    EXPECT_EQ(downloads.peak(), 4);
    // Among the feeds of one host, each started in list order after the first.
    FeedRow last = 0;
    for (const FeedRow row : order) {
        if (row % 3 == 1 && row != 1000) {
            EXPECT_GT(row, last);
            last = row;
        }
    }
}

TEST_F(ScheduleDriverTest, AFeedHasOneDownloadAtATimeAndOneAskedForByHandGoesFirst)
{
    sixFeedsOfSixHostsFallDue();
    ASSERT_NE(downloads.of(1), nullptr);
    EXPECT_EQ(driver->downloadNow(1), ScheduleDriver::Manual::Downloading);
    EXPECT_EQ(downloads.made(1), 1);
    EXPECT_TRUE(driver->isWaiting(6));
    // The feed waiting for its scheduled turn takes it now, before feed 5.
    EXPECT_EQ(driver->downloadNow(6), ScheduleDriver::Manual::Waiting);
    downloads.of(2)->succeed();
    EXPECT_NE(downloads.of(6), nullptr);
    EXPECT_TRUE(driver->isWaiting(5));
    downloads.of(6)->succeed();
    EXPECT_TRUE(ends.back().scheduled) << "still the scheduled download, with its due time moved on";
    EXPECT_EQ(nextTry(6), clock.nowMs() + minute);
    // Not due, by hand: it counts as the feed's last download, and its
    // count goes on.
    EXPECT_EQ(driver->downloadNow(6), ScheduleDriver::Manual::Waiting);
    downloads.of(1)->succeed();
    ASSERT_NE(downloads.of(6), nullptr);
    downloads.of(6)->succeed();
    EXPECT_FALSE(ends.back().scheduled);
    EXPECT_EQ(nextTry(6), clock.nowMs() + minute);
    EXPECT_EQ(driver->downloadNow(99), ScheduleDriver::Manual::Unknown);
}

TEST_F(ScheduleDriverTest, AFailedDownloadIsTriedAgainAfterOneTwoAndFourMinutesThenAtItsDueTime)
{
    feeds({feed(1, QStringLiteral("a"), 10 * 60)});
    clock.advance(10 * 60);
    const qint64 due = clock.nowMs();
    const auto failAndWait = [&](qint64 minutes) {
        ASSERT_NE(downloads.of(1), nullptr);
        downloads.of(1)->fail();
        ASSERT_TRUE(ends.back().retry.has_value());
        EXPECT_EQ(ends.back().retry->atMs, clock.nowMs() + minutes * minute);
        clock.advance(minutes * 60 - 1);
        driver->runDue();
        EXPECT_EQ(downloads.of(1), nullptr) << "not before its time";
        clock.advance(1);
        driver->runDue();
    };
    driver->runDue();
    failAndWait(1);
    failAndWait(2);
    failAndWait(4);
    // Seven minutes on: the next wait of eight would pass the due time.
    downloads.of(1)->fail();
    EXPECT_EQ(ends.back().retry->atMs, due + 10 * minute);
    EXPECT_EQ(ends.back().retry->attempt, 5);
    clock.set(due + 10 * minute);
    driver->runDue();
    ASSERT_NE(downloads.of(1), nullptr);
    downloads.of(1)->succeed();
    EXPECT_FALSE(ends.back().retry.has_value());
    EXPECT_EQ(nextTry(1), due + 20 * minute);
}

TEST_F(ScheduleDriverTest, RetryAfterSetsTheNextTry)
{
    feeds({feed(1, QStringLiteral("a"), day)});
    clock.advance(day);
    driver->runDue();
    downloads.of(1)->fail(900);
    EXPECT_EQ(nextTry(1), clock.nowMs() + 15 * minute);
    clock.advance(14 * 60);
    driver->runDue();
    EXPECT_EQ(downloads.of(1), nullptr);
}

TEST_F(ScheduleDriverTest, TheNetworkComingBackOrAWakeFromSleepRunsTheWaitingRetriesAtOnce)
{
    feeds({feed(1, QStringLiteral("a"), day), feed(2, QStringLiteral("b"), day)});
    clock.advance(day);
    driver->runDue();
    downloads.of(1)->fail();
    downloads.of(2)->fail();
    clock.advance(10);
    driver->reachabilityChanged(false);
    driver->runDue();
    EXPECT_EQ(downloads.runningCount(), 0);
    driver->reachabilityChanged(true);
    EXPECT_EQ(downloads.runningCount(), 2) << "both retries start the moment the network is back";
    downloads.of(1)->fail();
    downloads.of(2)->fail();
    driver->reachabilityChanged(true);
    EXPECT_EQ(downloads.runningCount(), 0) << "only a change to online counts";

    // Asleep for half a minute, with retries due two minutes on: the first
    // look at the clock after waking finds the jump and runs them.
    clock.advance(1);
    driver->runDue();
    clock.sleep(30);
    driver->runDue();
    EXPECT_EQ(downloads.runningCount(), 2);
}

TEST_F(ScheduleDriverTest, NoDriftOverThirtyDaysOfDownloadsOfEveryLength)
{
    feeds({feed(1, QStringLiteral("daily"), day), feed(2, QStringLiteral("quarter"), 15 * 60)});
    const qint64 start = clock.nowMs();
    const qint64 wake = start + 20 * qint64{day} * 1000 + 2 * 3600 * 1000;
    std::map<const FakeDownloads::Job *, qint64> endsAt;
    std::map<FeedRow, std::vector<qint64>> starts;
    int made = 0;
    // A minute at a time; downloads take from no time to twenty minutes for
    // the quarter-hourly feed and up to fifty for the daily one, so some run
    // past a due time. The computer sleeps through the twentieth 09:00.
    for (qint64 t = start; t <= start + 30 * qint64{day} * 1000; t += minute) {
        if (t == wake - qint64{day} * 1000) {
            clock.sleep(day);
            t = wake;
        } else {
            clock.set(t);
        }
        driver->runDue();
        for (auto *job : downloads.running()) {
            if (endsAt.emplace(job, t + (job->row() == 1 ? (made * 613) % 50 : (made * 7) % 21) * minute).second) {
                starts[job->row()].push_back(t);
                ++made;
            }
        }
        for (auto *job : downloads.running()) {
            if (endsAt[job] <= t)
                job->succeed();
        }
    }
    // Every download started at one of its feed's own due times: 09:00 for
    // the daily feed, a quarter hour for the other, except the daily one
    // fetched on waking, after which it is back at 09:00.
    ASSERT_EQ(starts[1].size(), 30u);
    for (std::size_t d = 0; d < 30; ++d) {
        const qint64 expected = d == 19 ? wake : start + qint64{day} * 1000 * static_cast<qint64>(d + 1);
        EXPECT_EQ(starts[1][d], expected) << "day " << d + 1;
    }
    for (const qint64 at : starts[2])
        ASSERT_EQ((at - start) % (15 * minute), 0) << (at - start) / minute;
    EXPECT_GT(starts[2].size(), 2000u);
}

TEST_F(ScheduleDriverTest, ADownloadCutByTheProgramsEndIsNoOutcomeAndTheFeedIsDueAtTheNextStart)
{
    const std::vector<ScheduledFeed> list{feed(1, QStringLiteral("a"), 7 * day), feed(2, QStringLiteral("b"), day)};
    feeds(list);
    clock.advance(7 * day);
    driver->runDue();
    ASSERT_EQ(downloads.runningCount(), 2);
    downloads.of(2)->succeed();
    QSignalSpy shutDown(driver.get(), &ScheduleDriver::shutDownDone);
    const std::size_t endsBefore = ends.size();
    restart(list);
    EXPECT_EQ(ends.size(), endsBefore) << "nothing ends after the program's end";
    EXPECT_EQ(shutDown.count(), 1);
    EXPECT_FALSE(store->lastDownload(1).has_value());
    EXPECT_TRUE(store->lastDownload(2).has_value());
    clock.advance(1);
    driver->runDue();
    EXPECT_NE(downloads.of(1), nullptr) << "the weekly feed is fetched at once, not a week later";
    EXPECT_EQ(downloads.of(2), nullptr);
}

TEST_F(ScheduleDriverTest, ARowThatCannotBeReadEndsItsDownloadWithTheErrorAndIsNotRetried)
{
    downloads.failAtStart = true;
    feeds({feed(1, QStringLiteral("a"), 60)});
    clock.advance(60);
    driver->runDue();
    ASSERT_EQ(ends.size(), 1u);
    ASSERT_TRUE(ends[0].error.has_value());
    EXPECT_EQ(ends[0].error->number(), 94);
    EXPECT_EQ(ends[0].last.report(), QStringLiteral("Download Failed. (Invalid use of Null)"));
    EXPECT_FALSE(ends[0].retry.has_value());
    EXPECT_EQ(driver->runningCount(), 0);
}

TEST_F(ScheduleDriverTest, TurningOffDropsTheWaitingAndLetsTheRunningEnd)
{
    sixFeedsOfSixHostsFallDue();
    driver->stop();
    EXPECT_FALSE(driver->isWaiting(5));
    for (auto *job : downloads.running())
        job->succeed();
    EXPECT_EQ(ends.size(), 4u);
    EXPECT_EQ(downloads.runningCount(), 0);
    EXPECT_TRUE(driver->engine().lastDownload(0).has_value());
    EXPECT_EQ(nextTry(1), std::nullopt);
}

} // namespace
} // namespace tidewell
