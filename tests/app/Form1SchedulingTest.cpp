#include "../shell/FakeTray.h"
#include "FakeClock.h"
#include "FakeDownloads.h"
#include "FeedDatabase.h"
#include "Form1.h"
#include "ProgramIcon.h"
#include "SampleFeeds.h"
#include "ScheduleStore.h"
#include "LoopbackServer.h"
#include "NetworkRules.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "TemporaryHome.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace tidewell {
namespace {

using test::LoopbackServer;
using Reply = LoopbackServer::Reply;
using test::rssWithEpisode;

// Never elapses during a test: the tests drive every tick themselves.
constexpr int idleTick = 24 * 3600 * 1000;


// The feed's name as it stands in its server paths: letters and digits only.
QByteArray slug(const QString &name)
{
    QByteArray result;
    for (const QChar c : name) {
        if (c.isLetterOrNumber())
            result += c.toLatin1();
    }
    return result;
}

class Form1Scheduling : public testing::Test
{
protected:
    void SetUp() override
    {
        home.installBlankTemplate();
        folder = home.path() + QStringLiteral("/pods/");
        ASSERT_TRUE(QDir().mkpath(folder));
    }

    // A feed whose document at /<name>.xml points at the episode /<name>.mp3.
    void addFeed(const QString &name, int minute, bool active = true)
    {
        const QByteArray path = "/" + slug(name);
        server.serve(path + ".xml", Reply::ok(rssWithEpisode(server.url(QString::fromUtf8(path + ".mp3")))));
        server.serve(path + ".mp3", Reply::ok("episode " + name.toUtf8(), "audio/mpeg"));
        change([=, this](FeedStore &feeds) {
            feeds.insert({name, QString::number(minute), name + QStringLiteral(".mp3"), folder,
                          server.url(QString::fromUtf8(path + ".xml")), active});
        });
    }

    // A change the program itself never makes, made as the sqlite3 command would.
    void execute(const QString &statement)
    {
        change([=, this](FeedStore &) { test::runSql(home.dataFile(), statement); });
    }

    // Made at once when the window has opened the feed list, else as soon as
    // it has.
    void change(const std::function<void(FeedStore &)> &made)
    {
        if (form)
            made(form->dbConn);
        else
            pending.push_back(made);
    }

    void load(const QString &startStopState)
    {
        settings::write(settings::startStopState, startStopState);
        Form1::Environment environment{box, home.programFolder(), idleTick, {}, [this] { programEnded = true; }};
        environment.clock = &clock;
        if (fakes)
            environment.makeDownload = fakes->factory();
        environment.tray = [record = trayRecord] {
            auto fake = std::make_unique<test::FakeTray>();
            fake->record = record;
            return fake;
        };
        form = std::make_unique<Form1>(environment);
        form->Form_Load();
        for (const auto &made : pending)
            made(form->dbConn);
        pending.clear();
        form->listPodCast();
    }

    // Loads with scheduling off and then turns it on, so every feed above is
    // in the list when the timers are made.
    void loadAndTurnOn()
    {
        load(settings::off);
        form->PushButton6->click();
        ASSERT_TRUE(form->schedulingOn());
    }

    int indexOf(const QString &name) const
    {
        for (int row = 0; row < form->rowCount(); ++row) {
            if (form->itemText(row, Form1::NameColumn) == name)
                return row;
        }
        return -1;
    }

    // Each tick comes one second after the one before, as the wake-up does;
    // a download it starts ends on the event loop, and the next tick waits
    // for that.
    void tick(const QString &name, int times)
    {
        for (int i = 0; i < times; ++i) {
            clock.advance(1);
            form->Timer1_Timer(indexOf(name));
            settle();
        }
    }

    // One tick of the feed at `seconds` after the clock's first reading.
    void tickAt(const QString &name, qint64 seconds)
    {
        clock.set(test::FakeClock::morning() + seconds * 1000);
        form->Timer1_Timer(indexOf(name));
        settle();
    }

    // Until every download on the loopback server has ended.
    void settle()
    {
        if (!fakes && form->driver().runningCount() > 0) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return form->driver().runningCount() == 0; }, 20000));
        }
    }

    FeedRow rowOf(const QString &name) const { return form->ListItems->item(indexOf(name), 0)->data(Form1::RowRole).toLongLong(); }
    QString tooltip(const QString &name) const { return form->ListItems->item(indexOf(name), 0)->toolTip(); }

    int downloads(const QString &name) const { return server.hits("/" + slug(name) + ".mp3"); }
    QString countdown(const QString &name) const { return form->itemText(indexOf(name), Form1::CountdownColumn); }

    test::TemporaryHome home;
    test::ScriptedMessageBox box;
    test::FakeClock clock;
    LoopbackServer server;
    QString folder;
    std::vector<std::function<void(FeedStore &)>> pending;
    bool programEnded = false;
    // Downloads that end when the test says, instead of the loopback server's.
    std::unique_ptr<test::FakeDownloads> fakes;
    // What the window told the notification area.
    std::shared_ptr<test::FakeTray::Record> trayRecord = std::make_shared<test::FakeTray::Record>();
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Scheduling, AFiveMinuteFeedIsDueAtTick300AndAgain300TicksAfterItsDownload)
{
    addFeed(QStringLiteral("Five"), 5);
    loadAndTurnOn();
    EXPECT_EQ(form->PushButton6->text(), QStringLiteral("Turn Off"));
    EXPECT_TRUE(form->Timer1.at(0)->isActive());

    tick(QStringLiteral("Five"), 1);
    EXPECT_EQ(countdown(QStringLiteral("Five")), QStringLiteral("00:04:59"));
    tick(QStringLiteral("Five"), 298);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 0);
    clock.advance(1);
    form->Timer1_Timer(0);
    EXPECT_EQ(countdown(QStringLiteral("Five")), QStringLiteral("00:00:00"));
    EXPECT_FALSE(form->Timer1.at(0)->isActive()) << "no tick while its download runs";
    settle();
    EXPECT_EQ(downloads(QStringLiteral("Five")), 1);
    EXPECT_EQ(countdown(QStringLiteral("Five")), QStringLiteral("00:05:00"));
    EXPECT_TRUE(form->Timer1.at(0)->isActive());
    QFile episode(folder + QStringLiteral("Five.mp3"));
    ASSERT_TRUE(episode.open(QIODevice::ReadOnly));
    EXPECT_EQ(episode.readAll(), QByteArray("episode Five"));

    tick(QStringLiteral("Five"), 299);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 1);
    tick(QStringLiteral("Five"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 2);
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("Five downloaded at")));
    EXPECT_TRUE(form->TransferProgress->isHidden());
}

TEST_F(Form1Scheduling, IntervalsComeFromTheStoredMinuteWhateverTheirLength)
{
    addFeed(QStringLiteral("Hour"), 60);
    addFeed(QStringLiteral("NinetyMinutes"), 90);
    addFeed(QStringLiteral("Day"), 1440);
    addFeed(QStringLiteral("Never"), 0);
    loadAndTurnOn();
    const struct
    {
        const char *name;
        int dueAt;
    } feeds[] = {{"Hour", 3600}, {"NinetyMinutes", 5400}, {"Day", 86400}};
    for (const auto &feed : feeds) {
        const QString name = QString::fromLatin1(feed.name);
        tickAt(name, feed.dueAt - 1);
        EXPECT_EQ(downloads(name), 0) << feed.name;
        tickAt(name, feed.dueAt);
        EXPECT_EQ(downloads(name), 1) << feed.name;
    }
    tickAt(QStringLiteral("Never"), 86500);
    EXPECT_EQ(downloads(QStringLiteral("Never")), 0);
    EXPECT_EQ(countdown(QStringLiteral("Never")), QStringLiteral("00:01:40")); // counting up, as a time of day
}

TEST_F(Form1Scheduling, TimeAsleepCountsAndAClockSetBackNeverShowsMoreThanTheInterval)
{
    addFeed(QStringLiteral("Five"), 5);
    loadAndTurnOn();
    tick(QStringLiteral("Five"), 60);
    EXPECT_EQ(countdown(QStringLiteral("Five")), QStringLiteral("00:04:00"));
    // The laptop sleeps through the rest: the first tick after waking finds
    // the feed due.
    clock.advance(3600);
    tick(QStringLiteral("Five"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 1);
    // The clock is set back an hour: the count starts again from there.
    clock.advance(-3600);
    tick(QStringLiteral("Five"), 1);
    EXPECT_EQ(countdown(QStringLiteral("Five")), QStringLiteral("00:05:00"));
    tick(QStringLiteral("Five"), 299);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 1);
    tick(QStringLiteral("Five"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 2);
}

TEST_F(Form1Scheduling, AnInactiveFeedNeitherCountsNorDownloads)
{
    addFeed(QStringLiteral("Quiet"), 1, false);
    loadAndTurnOn();
    tick(QStringLiteral("Quiet"), 120);
    EXPECT_EQ(downloads(QStringLiteral("Quiet")), 0);
    EXPECT_EQ(countdown(QStringLiteral("Quiet")), QStringLiteral("00:01:00"));
}

TEST_F(Form1Scheduling, TurningOffAndOnAgainStartsEveryCountFromZero)
{
    addFeed(QStringLiteral("Five"), 5);
    loadAndTurnOn();
    tick(QStringLiteral("Five"), 200);

    form->PushButton6->click();
    EXPECT_EQ(form->PushButton6->text(), QStringLiteral("Turn On"));
    EXPECT_EQ(settings::read(settings::startStopState, QString()), settings::off);
    EXPECT_EQ(countdown(QStringLiteral("Five")), QStringLiteral("00:05:00"));
    EXPECT_EQ(form->Timer1.size(), 1u);
    EXPECT_FALSE(form->Timer1.at(0)->isActive());
    form->Timer1_Timer(0); // a tick queued before the switch does nothing
    EXPECT_EQ(countdown(QStringLiteral("Five")), QStringLiteral("00:05:00"));

    form->PushButton6->click();
    EXPECT_EQ(settings::read(settings::startStopState, QString()), settings::on);
    tick(QStringLiteral("Five"), 299);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 0);
    tick(QStringLiteral("Five"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 1);
}

TEST_F(Form1Scheduling, AnEmptyListTurnsOnWithoutTimers)
{
    loadAndTurnOn();
    EXPECT_EQ(form->PushButton6->text(), QStringLiteral("Turn Off"));
    EXPECT_EQ(settings::read(settings::startStopState, QString()), settings::on);
    EXPECT_FALSE(form->Timer1.at(0)->isActive());
    form->Timer1_Timer(0);
    EXPECT_TRUE(box.shown().empty());
}

TEST_F(Form1Scheduling, ARefillWhileOnKeepsTheCountsOfFeedsThatStay)
{
    addFeed(QStringLiteral("Alpha"), 5);
    addFeed(QStringLiteral("Bravo"), 10);
    addFeed(QStringLiteral("Charlie"), 15);
    loadAndTurnOn();
    clock.advance(100);

    // Bravo goes, Delta comes first, Charlie's interval changes.
    form->dbConn.remove(QStringLiteral("Bravo"));
    addFeed(QStringLiteral("Delta"), 1);
    execute(QStringLiteral("update [rss] set [minute]=20 where name='Charlie'"));
    form->listPodCast();
    ASSERT_EQ(form->rowCount(), 3);
    EXPECT_EQ(form->Timer1.size(), 3u);
    EXPECT_EQ(indexOf(QStringLiteral("Delta")), 0);
    EXPECT_EQ(countdown(QStringLiteral("Alpha")), QStringLiteral("00:03:20"));

    tickAt(QStringLiteral("Delta"), 159);
    EXPECT_EQ(downloads(QStringLiteral("Delta")), 0);
    tickAt(QStringLiteral("Delta"), 160);
    EXPECT_EQ(downloads(QStringLiteral("Delta")), 1);
    tickAt(QStringLiteral("Alpha"), 299);
    EXPECT_EQ(downloads(QStringLiteral("Alpha")), 0);
    tickAt(QStringLiteral("Alpha"), 300);
    EXPECT_EQ(downloads(QStringLiteral("Alpha")), 1);
    tickAt(QStringLiteral("Charlie"), 1299);
    EXPECT_EQ(downloads(QStringLiteral("Charlie")), 0);
    tickAt(QStringLiteral("Charlie"), 1300);
    EXPECT_EQ(downloads(QStringLiteral("Charlie")), 1);

    // Rows that are gone take their timers with them; their ticks do nothing.
    execute(QStringLiteral("delete from [rss] where name<>'Delta'"));
    form->listPodCast();
    EXPECT_EQ(form->Timer1.size(), 1u);
    form->Timer1_Timer(1);
    form->Timer1_Timer(2);
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(Form1Scheduling, ADownloadRunningWhenTheListIsRefilledEndsForItsOwnFeed)
{
    addFeed(QStringLiteral("Mid"), 5);
    loadAndTurnOn();
    tick(QStringLiteral("Mid"), 299);
    // While Mid's episode arrives, a feed is added in front of it.
    server.serve("/Mid.mp3", [&](const LoopbackServer::Request &) {
        QTimer::singleShot(0, form.get(), [&] {
            addFeed(QStringLiteral("First"), 1);
            form->listPodCast();
        });
        Reply reply = Reply::ok("episode Mid", "audio/mpeg");
        reply.trickleMs = 20; // still arriving when the list is refilled
        return reply;
    });
    tick(QStringLiteral("Mid"), 1);
    ASSERT_EQ(downloads(QStringLiteral("Mid")), 1);
    EXPECT_EQ(indexOf(QStringLiteral("Mid")), 1);
    EXPECT_TRUE(form->Timer1.at(1)->isActive());
    EXPECT_EQ(form->ElapsedSeconds(1), 0);
    EXPECT_EQ(form->ElapsedSeconds(0), 0);
    EXPECT_EQ(form->IntervalSeconds(0), 60);
}

TEST_F(Form1Scheduling, ADownloadRunningWhenSchedulingIsTurnedOffDoesNotRestartItsTimer)
{
    addFeed(QStringLiteral("Mid"), 5);
    loadAndTurnOn();
    tick(QStringLiteral("Mid"), 299);
    server.serve("/Mid.mp3", [&](const LoopbackServer::Request &) {
        QTimer::singleShot(0, form.get(), [&] { form->PushButton6->click(); });
        Reply reply = Reply::ok("episode Mid", "audio/mpeg");
        reply.trickleMs = 20; // still arriving when scheduling is turned off
        return reply;
    });
    tick(QStringLiteral("Mid"), 1);
    EXPECT_EQ(form->PushButton6->text(), QStringLiteral("Turn On"));
    EXPECT_EQ(form->Timer1.size(), 1u);
    EXPECT_FALSE(form->Timer1.at(0)->isActive());
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(Form1Scheduling, ClosingTheWindowDuringATransferLeavesTheOldEpisodeAlone)
{
    addFeed(QStringLiteral("Mid"), 5);
    ASSERT_TRUE(test::writeOldEpisode(folder + QStringLiteral("Mid.mp3")));
    const Reply stalled = test::stalledEpisode();
    server.serve("/Mid.mp3", [&](const LoopbackServer::Request &) {
        QTimer::singleShot(50, form.get(), [&] { form->close(); });
        return stalled;
    });
    loadAndTurnOn();
    tick(QStringLiteral("Mid"), 300);

    EXPECT_TRUE(programEnded);
    EXPECT_FALSE(form->dbConn.isOpen());
    QFile episode(folder + QStringLiteral("Mid.mp3"));
    ASSERT_TRUE(episode.open(QIODevice::ReadOnly));
    EXPECT_EQ(episode.readAll(), QByteArray("last week's episode"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Mid.mp3")});
    // Cut short by the close, the transfer is no outcome of the feed's, and
    // its count was not started again: the next start fetches it at once.
    const FeedRow mid = rowOf(QStringLiteral("Mid"));
    form.reset();
    EXPECT_FALSE(ScheduleStore().lastDownload(mid).has_value());
    ASSERT_TRUE(ScheduleStore().count(mid).has_value());
    EXPECT_LE(ScheduleStore().count(mid)->dueMs, clock.nowMs());
    server.serve("/Mid.mp3", Reply::ok("episode Mid", "audio/mpeg"));
    load(settings::on);
    tick(QStringLiteral("Mid"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Mid")), 2);
}

TEST_F(Form1Scheduling, StartUpResumesTheStoredState)
{
    addFeed(QStringLiteral("A"), 5);
    addFeed(QStringLiteral("B"), 6);
    load(settings::on); // the feeds arrive after the timers were made
    form.reset();
    load(settings::on);
    EXPECT_EQ(form->PushButton6->text(), QStringLiteral("Turn Off"));
    ASSERT_EQ(form->Timer1.size(), 2u);
    EXPECT_TRUE(form->Timer1.at(0)->isActive());
    EXPECT_TRUE(form->Timer1.at(1)->isActive());
    EXPECT_EQ(form->Timer1.at(1)->interval(), idleTick);

    form.reset();
    load(QStringLiteral("on"));
    EXPECT_EQ(form->PushButton6->text(), QStringLiteral("Turn On"));
    EXPECT_FALSE(form->Timer1.at(0)->isActive());
    EXPECT_EQ(settings::read(settings::startStopState, QString()), QStringLiteral("on"));
}

TEST_F(Form1Scheduling, ARestartContinuesEachCountWhereItStood)
{
    addFeed(QStringLiteral("Daily"), 1440);
    load(settings::on);
    clock.advance(1000);
    form.reset(); // switched off for the evening...
    clock.advance(12 * 3600);
    load(settings::on); // ...and on again the next morning
    tick(QStringLiteral("Daily"), 1);
    EXPECT_EQ(countdown(QStringLiteral("Daily")), QStringLiteral("11:43:19"));
    tickAt(QStringLiteral("Daily"), 86399);
    EXPECT_EQ(downloads(QStringLiteral("Daily")), 0);
    tickAt(QStringLiteral("Daily"), 86400);
    EXPECT_EQ(downloads(QStringLiteral("Daily")), 1);
}

TEST_F(Form1Scheduling, OverdueFeedsAreAllFetchedAtTheFirstTickAfterAStart)
{
    for (const char *name : {"A", "B", "C"})
        addFeed(QString::fromLatin1(name), 5);
    addFeed(QStringLiteral("Later"), 600);
    load(settings::on);
    form.reset();
    clock.advance(3600);
    load(settings::on);
    clock.advance(1);
    form->driver().runDue();
    settle();
    for (const char *name : {"A", "B", "C"})
        EXPECT_EQ(downloads(QString::fromLatin1(name)), 1) << name;
    EXPECT_EQ(downloads(QStringLiteral("Later")), 0);
}

TEST_F(Form1Scheduling, AStartThatCannotReadTheFeedListKeepsTheStoredCounts)
{
    addFeed(QStringLiteral("Daily"), 1440);
    load(settings::on);
    const FeedRow daily = rowOf(QStringLiteral("Daily"));
    form.reset();
    clock.advance(3600);
    const auto renameTable = [&](const char *from, const char *to) {
        test::runSql(home.dataFile(),
                     QStringLiteral("alter table [%1] rename to [%2]").arg(QLatin1String(from), QLatin1String(to)));
    };
    renameTable("rss", "elsewhere");
    load(settings::on);
    EXPECT_FALSE(box.shown().empty()) << "the list's failure is reported";
    form.reset();
    EXPECT_TRUE(ScheduleStore().count(daily).has_value());

    renameTable("elsewhere", "rss");
    box.clear();
    load(settings::on);
    tick(QStringLiteral("Daily"), 1);
    EXPECT_EQ(countdown(QStringLiteral("Daily")), QStringLiteral("22:59:59"));
}

TEST_F(Form1Scheduling, TurnOnStartsFromZeroWhateverWasStored)
{
    addFeed(QStringLiteral("Five"), 5);
    load(settings::on);
    clock.advance(200);
    form.reset();
    load(settings::off);
    form->PushButton6->click();
    tick(QStringLiteral("Five"), 299);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 0);
    tick(QStringLiteral("Five"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 1);
}

TEST_F(Form1Scheduling, AFailureStaysInViewUntilItsFeedSucceedsAndTheTooltipSaysWhy)
{
    addFeed(QStringLiteral("Gone"), 1);
    addFeed(QStringLiteral("Good"), 2);
    server.serve("/Gone.mp3", Reply::withStatus(404, "<html>gone</html>", "text/html"));
    loadAndTurnOn();
    tickAt(QStringLiteral("Gone"), 60);
    const QString tip = tooltip(QStringLiteral("Gone"));
    EXPECT_TRUE(tip.contains(QStringLiteral("Download Failed. (HTTP 404 Not Found)"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("Next download: retry at 09:02 (attempt 2)"))) << tip.toStdString();
    EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("Gone failed at"))) << form->StatusLine->text().toStdString();

    tickAt(QStringLiteral("Good"), 120);
    ASSERT_EQ(downloads(QStringLiteral("Good")), 1);
    EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("HTTP 404 Not Found")))
        << form->StatusLine->text().toStdString();

    server.serve("/Gone.mp3", Reply::ok("back again", "audio/mpeg"));
    tickAt(QStringLiteral("Gone"), 120);
    EXPECT_EQ(downloads(QStringLiteral("Gone")), 2) << "the retry, a minute after the failure";
    EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("Gone downloaded at")))
        << form->StatusLine->text().toStdString();
    EXPECT_TRUE(box.shown().empty());
}

TEST_F(Form1Scheduling, OneWakeUpDrivesEveryRowAndASlowDownloadHoldsUpNoOtherFeed)
{
    addFeed(QStringLiteral("Slow"), 1);
    addFeed(QStringLiteral("Quick"), 2);
    Reply slow = Reply::ok("a slow episode", "audio/mpeg");
    slow.trickleMs = 100; // about one and a half seconds for the whole file
    server.serve("/Slow.mp3", slow);
    settings::write(settings::startStopState, settings::on);
    Form1::Environment environment{box, home.programFolder(), 10, {}, [this] { programEnded = true; }};
    environment.clock = &clock;
    form = std::make_unique<Form1>(environment);
    form->Form_Load();
    for (const auto &made : pending)
        made(form->dbConn);
    form->listPodCast();

    // Ten seconds of the feeds' time pass for every real 10 ms.
    QTimer time;
    QObject::connect(&time, &QTimer::timeout, [&] { clock.advance(10); });
    time.start(10);
    QEventLoop loop;
    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(20000);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QFile::exists(folder + QStringLiteral("Slow.mp3")))
            loop.quit();
    });
    watch.start(5);
    loop.exec();
    time.stop();
    ASSERT_TRUE(QFile::exists(folder + QStringLiteral("Slow.mp3")));
    EXPECT_EQ(downloads(QStringLiteral("Slow")), 1);
    // Quick is due every two minutes of the feeds' time; the slow episode
    // took well over ten of them.
    EXPECT_GE(downloads(QStringLiteral("Quick")), 3);
}

TEST_F(Form1Scheduling, ASlowDownloadAndAFastOneEachEndInTheirOwnTimeWhicheverStartedFirst)
{
    fakes = std::make_unique<test::FakeDownloads>();
    addFeed(QStringLiteral("Slow"), 1);
    addFeed(QStringLiteral("Fast"), 1);
    loadAndTurnOn();
    const QString slow = QStringLiteral("Slow");
    const QString fast = QStringLiteral("Fast");
    qint64 due = 60;
    for (const bool slowFirst : {true, false}) {
        tickAt(slowFirst ? slow : fast, due);
        tickAt(slowFirst ? fast : slow, due);
        ASSERT_EQ(fakes->runningCount(), 2);
        clock.advance(5);
        fakes->of(rowOf(fast))->succeed();
        // Done, kept and counting again while the slow one goes on.
        EXPECT_TRUE(tooltip(fast).contains(QStringLiteral(", Done.\nNext download: "))) << tooltip(fast).toStdString();
        EXPECT_TRUE(form->Timer1.at(static_cast<std::size_t>(indexOf(fast)))->isActive());
        EXPECT_EQ(countdown(fast), QStringLiteral("00:00:55"));
        EXPECT_TRUE(tooltip(slow).endsWith(QStringLiteral("\nDownloading now"))) << tooltip(slow).toStdString();
        EXPECT_EQ(countdown(slow), QStringLiteral("00:00:00"));
        EXPECT_TRUE(form->StatusLine->text().startsWith(QStringLiteral("Downloading Slow")))
            << form->StatusLine->text().toStdString();
        clock.advance(40);
        fakes->of(rowOf(slow))->succeed();
        EXPECT_EQ(countdown(slow), QStringLiteral("00:00:15")) << "due a minute after it was due, not after its end";
        EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("Slow downloaded at")));
        EXPECT_TRUE(form->TransferProgress->isHidden());
        due += 60;
    }
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(Form1Scheduling, ARunTimeErrorOfAScheduledDownloadIsReportedAsTheTicksOwn)
{
    fakes = std::make_unique<test::FakeDownloads>();
    fakes->failAtStart = true;
    addFeed(QStringLiteral("Broken"), 1);
    loadAndTurnOn();
    tickAt(QStringLiteral("Broken"), 60);
    QCoreApplication::processEvents();
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("Invalid use of Null\r\nin Tidefetch2021/08/31.Form1.Timer1 at line 126\r\r")))
        << box.shown()[0].prompt.toStdString();
    EXPECT_TRUE(form->Timer1.at(0)->isActive()) << "the row counts again";
}

TEST_F(Form1Scheduling, FailuresShowInTheTrayAndTheThirdInARowIsNotifiedOnce)
{
    fakes = std::make_unique<test::FakeDownloads>();
    addFeed(QStringLiteral("Morning News"), 60);
    addFeed(QStringLiteral("Quiz"), 61);
    loadAndTurnOn();
    const auto balloons = [&] {
        QStringList texts;
        for (const auto &notice : trayRecord->notices)
            texts << notice.text;
        return texts;
    };
    const auto download = [&](const QString &name, bool succeed) {
        ASSERT_EQ(form->driver().downloadNow(rowOf(name)), ScheduleDriver::Manual::Started);
        if (succeed)
            fakes->of(rowOf(name))->succeed();
        else
            fakes->of(rowOf(name))->fail();
    };
    download(QStringLiteral("Morning News"), false);
    EXPECT_EQ(trayRecord->tip, QStringLiteral("1 feed failed: Morning News (HTTP 503 Service Unavailable)"));
    download(QStringLiteral("Quiz"), false);
    EXPECT_EQ(trayRecord->tip,
              QStringLiteral("2 feeds failed: Quiz (HTTP 503 Service Unavailable), Morning News (HTTP 503 Service "
                             "Unavailable)"));
    download(QStringLiteral("Morning News"), false);
    EXPECT_TRUE(balloons().isEmpty());
    download(QStringLiteral("Morning News"), false);
    download(QStringLiteral("Morning News"), false);
    ASSERT_EQ(balloons().size(), 1) << "once, at the third failure in a row";
    EXPECT_EQ(balloons()[0],
              QStringLiteral("Morning News has failed 3 times in a row: HTTP 503 Service Unavailable."));

    download(QStringLiteral("Morning News"), true);
    ASSERT_EQ(balloons().size(), 2);
    EXPECT_EQ(balloons()[1], QStringLiteral("Morning News downloads again."));
    EXPECT_EQ(trayRecord->tip, QStringLiteral("1 feed failed: Quiz (HTTP 503 Service Unavailable)"));
    download(QStringLiteral("Quiz"), true);
    EXPECT_EQ(trayRecord->tip, QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_EQ(balloons().size(), 2) << "no notification for an ordinary success";
    EXPECT_EQ(trayRecord->icon.cacheKey(), programIcon().cacheKey());
}

class Form1Download : public Form1Scheduling
{
protected:
    void clickDownload(const QString &name)
    {
        form->ListView1->setCurrentIndex(form->ListItems->index(indexOf(name), 0));
        box.clear();
        form->PushButton2->click();
    }
};

TEST_F(Form1Download, TheButtonReportsEachOutcomeInItsOwnWords)
{
    addFeed(QStringLiteral("Good"), 5);
    addFeed(QStringLiteral("Gone"), 6);
    addFeed(QStringLiteral("Page"), 7);
    addFeed(QStringLiteral("NoFolder"), 8);
    addFeed(QStringLiteral("NoUrl"), 9);
    execute(QStringLiteral("update [rss] set [URL]='' where name='NoUrl'"));
    execute(QStringLiteral("update [rss] set [folder]='/nowhere/at/all/' where name='NoFolder'"));
    server.serve("/Gone.mp3", Reply::withStatus(404, "<html>gone</html>", "text/html"));
    server.serve("/Page.xml", Reply::ok("<html><body><p>not a feed</body></html>", "text/html"));
    load(settings::off);

    const struct
    {
        const char *feed;
        const char *message;
    } cases[] = {{"Good", "Done."},
                 {"Gone", "Download Failed."},
                 {"Page", "No url found on this feed."},
                 {"NoFolder", "(/nowhere/at/all/) Folder does not exists."},
                 {"NoUrl", "No folder, filename or feed URL specied on this feed"}};
    for (const auto &expected : cases) {
        clickDownload(QString::fromLatin1(expected.feed));
        ASSERT_EQ(box.shown().size(), 1u) << expected.feed;
        EXPECT_EQ(box.shown()[0].prompt.toStdString(), expected.message);
        EXPECT_EQ(box.shown()[0].style, msgbox::OkOnly);
        EXPECT_EQ(box.shown()[0].title, QStringLiteral("Tidewell Episode"));
    }
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("Gone.mp3")));
    EXPECT_TRUE(form->PushButton2->isEnabled());
    EXPECT_TRUE(form->TransferProgress->isHidden());
}

TEST_F(Form1Download, DetailsThatCannotBeReadAreReportedByTheButtonAndByTheTick)
{
    addFeed(QStringLiteral("Gap"), 5);
    execute(QStringLiteral("update [rss] set [folder]=NULL, [URL]=NULL where name='Gap'"));
    load(settings::off);
    clickDownload(QStringLiteral("Gap"));
    const QString byTheButton =
        QStringLiteral("Invalid use of Null\r\nin Tidefetch2021/08/31.Form1.PushButton2_Click at line 0\r\r");
    ASSERT_EQ(box.shown().size(), 3u) << box.prompts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(byTheButton));
    EXPECT_TRUE(box.shown()[1].prompt.startsWith(byTheButton));
    EXPECT_EQ(box.shown()[2].prompt, QStringLiteral("No folder, filename or feed URL specied on this feed"));

    // Scheduled, the first one ends the job and is the tick's.
    box.clear();
    form->PushButton6->click();
    tickAt(QStringLiteral("Gap"), 300);
    QCoreApplication::processEvents();
    ASSERT_EQ(box.shown().size(), 1u) << box.prompts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("Invalid use of Null\r\nin Tidefetch2021/08/31.Form1.Timer1 at line 126\r\r")));
}

TEST_F(Form1Download, AFeedTheDatabaseCannotLookUpIsReportedAndNothingIsFetched)
{
    addFeed(QStringLiteral("Lost"), 5);
    load(settings::off);
    execute(QStringLiteral("alter table [rss] rename to [elsewhere]"));
    clickDownload(QStringLiteral("Lost"));
    ASSERT_EQ(box.shown().size(), 3u) << box.prompts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("no such table: rss\r\nin Tidefetch2021/08/31.Form1.PushButton2_Click at line 0\r\r")));
    EXPECT_TRUE(box.shown()[1].prompt.startsWith(QStringLiteral("Operation is not allowed when the object is "
                                                                "closed.\r\nin Tidefetch2021/08/31.Form1."
                                                                "PushButton2_Click at line 0\r\r")));
    EXPECT_EQ(box.shown()[2].prompt, QStringLiteral("No folder, filename or feed URL specied on this feed"));
    EXPECT_EQ(server.hits("/Lost.xml"), 0);
}

TEST_F(Form1Download, ASecondDownloadReplacesTheFirst)
{
    addFeed(QStringLiteral("Twice"), 5);
    load(settings::off);
    clickDownload(QStringLiteral("Twice"));
    server.serve("/Twice.mp3", Reply::ok("the newer episode", "audio/mpeg"));
    clickDownload(QStringLiteral("Twice"));
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Done.")});
    QFile episode(folder + QStringLiteral("Twice.mp3"));
    ASSERT_TRUE(episode.open(QIODevice::ReadOnly));
    EXPECT_EQ(episode.readAll(), QByteArray("the newer episode"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
}

TEST_F(Form1Download, ScheduledJobsAndAnEmptyListShowNothing)
{
    load(settings::off);
    form->PushButton2->click();
    EXPECT_TRUE(box.shown().empty());

    addFeed(QStringLiteral("NoFolder"), 8);
    execute(QStringLiteral("update [rss] set [folder]='/nowhere/' where name='NoFolder'"));
    form->listPodCast();
    form->PushButton6->click();
    tickAt(QStringLiteral("NoFolder"), 480);
    EXPECT_TRUE(box.shown().empty());
    EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("NoFolder failed at")));
}

TEST_F(Form1Download, AnUnchangedEpisodeIsConfirmedNotFetchedAgain)
{
    addFeed(QStringLiteral("Same"), 5);
    QByteArray etag = "\"one\"";
    server.serve("/Same.mp3", [&](const LoopbackServer::Request &request) {
        if (request.header("If-None-Match") == etag)
            return Reply::withStatus(304);
        return Reply::ok("episode " + etag, "audio/mpeg").header("ETag", etag);
    });
    load(settings::off);
    const QString path = folder + QStringLiteral("Same.mp3");
    const auto fullTransfers = [&] {
        int full = 0;
        for (const auto &request : server.requests())
            full += request.path == "/Same.mp3" && request.header("If-None-Match").isEmpty() ? 1 : 0;
        return full;
    };

    clickDownload(QStringLiteral("Same"));
    const QFileInfo first(path);
    const QDateTime written = first.lastModified();
    clickDownload(QStringLiteral("Same"));
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(QFileInfo(path).lastModified(), written);
    EXPECT_EQ(fullTransfers(), 1);

    // A new episode under the same address comes in full...
    etag = "\"two\"";
    clickDownload(QStringLiteral("Same"));
    QFile episode(path);
    ASSERT_TRUE(episode.open(QIODevice::ReadOnly));
    EXPECT_EQ(episode.readAll(), QByteArray("episode \"two\""));
    episode.close();
    // ...and so does the episode again when the file was changed by hand.
    ASSERT_TRUE(test::writeOldEpisode(path, "edited by hand"));
    clickDownload(QStringLiteral("Same"));
    ASSERT_TRUE(episode.open(QIODevice::ReadOnly));
    EXPECT_EQ(episode.readAll(), QByteArray("episode \"two\""));
    EXPECT_EQ(server.requests().last().header("If-None-Match"), QByteArray());
}

TEST_F(Form1Download, ANameWithQuotesIsFoundForItsDownload)
{
    addFeed(QStringLiteral("Rock 'n' Roll"), 5);
    load(settings::off);
    clickDownload(QStringLiteral("Rock 'n' Roll"));
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(Form1Download, ADownloadEndingWhileAMessageBoxIsOpenIsKeptAndCountedAtOnce)
{
    fakes = std::make_unique<test::FakeDownloads>();
    addFeed(QStringLiteral("Scheduled"), 1);
    addFeed(QStringLiteral("ByHand"), 5);
    loadAndTurnOn();
    tickAt(QStringLiteral("Scheduled"), 60);
    ASSERT_NE(fakes->of(rowOf(QStringLiteral("Scheduled"))), nullptr);
    fakes->endAtStart[rowOf(QStringLiteral("ByHand"))] = test::FakeDownloads::Job::outcome(FeedDownloadOutcome::Downloaded);
    bool checked = false;
    box.onShow([&](const test::ScriptedMessageBox::Shown &shown) {
        if (shown.prompt != QStringLiteral("Done."))
            return;
        // The user has not closed "Done." yet.
        fakes->of(rowOf(QStringLiteral("Scheduled")))->succeed();
        const QString tip = tooltip(QStringLiteral("Scheduled"));
        EXPECT_TRUE(tip.contains(QStringLiteral(", Done.\nNext download: "))) << tip.toStdString();
        EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("Scheduled downloaded at")));
        EXPECT_EQ(countdown(QStringLiteral("Scheduled")), QStringLiteral("00:01:00"));
        const int index = form->driver().engine().indexOf(rowOf(QStringLiteral("Scheduled")));
        EXPECT_EQ(form->driver().engine().nextTryMs(index), test::FakeClock::morning() + 120 * 1000);
        checked = true;
    });
    clickDownload(QStringLiteral("ByHand"));
    EXPECT_TRUE(checked);
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(Form1Download, TheButtonOnAFeedThatIsDownloadingSaysSoAndStartsNoSecondTransfer)
{
    fakes = std::make_unique<test::FakeDownloads>();
    addFeed(QStringLiteral("Busy"), 1);
    loadAndTurnOn();
    tickAt(QStringLiteral("Busy"), 60);
    clickDownload(QStringLiteral("Busy"));
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("This feed is downloading now.")});
    EXPECT_EQ(box.shown()[0].title, QStringLiteral("Tidewell Episode"));
    EXPECT_EQ(fakes->made(rowOf(QStringLiteral("Busy"))), 1);
    EXPECT_TRUE(form->PushButton2->isEnabled());
}

TEST_F(Form1Download, TwoFeedsOfOneNameEachDownloadTheirOwnEpisode)
{
    addFeed(QStringLiteral("Twin"), 5);
    change([this](FeedStore &feeds) {
        feeds.insert({QStringLiteral("Twin"), QStringLiteral("6"), QStringLiteral("Other.mp3"), folder,
                      server.url(QStringLiteral("/Other.xml")), true});
    });
    server.serve("/Other.xml", Reply::ok(rssWithEpisode(server.url(QStringLiteral("/Other.mp3")))));
    server.serve("/Other.mp3", Reply::ok("the other twin", "audio/mpeg"));
    load(settings::off);
    for (int row = 0; row < 2; ++row) {
        form->ListView1->setCurrentIndex(form->ListItems->index(row, 0));
        form->PushButton2->click();
    }
    EXPECT_EQ(box.prompts(), (QStringList{QStringLiteral("Done."), QStringLiteral("Done.")}));
    EXPECT_EQ(downloads(QStringLiteral("Twin")), 1);
    EXPECT_EQ(server.hits("/Other.mp3"), 1);
}

} // namespace
} // namespace tidewell
