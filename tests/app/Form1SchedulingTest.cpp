#include "Connection.h"
#include "Form1.h"
#include "SampleFeeds.h"
#include "LoopbackServer.h"
#include "NetworkRules.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "Statements.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
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
        execute(statements::insertFeed({name, QString::number(minute), name + QStringLiteral(".mp3"), folder,
                                        server.url(QString::fromUtf8(path + ".xml")), active}));
    }

    void execute(const QString &statement)
    {
        if (form) {
            form->dbConn.Execute(statement);
            return;
        }
        pending << statement;
    }

    void load(const QString &startStopState)
    {
        settings::write(settings::startStopState, startStopState);
        form = std::make_unique<Form1>(
            Form1::Environment{box, home.programFolder(), idleTick, {}, [this] { programEnded = true; }});
        form->Form_Load();
        for (const QString &statement : pending)
            form->dbConn.Execute(statement);
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

    void tick(const QString &name, int times)
    {
        for (int i = 0; i < times; ++i)
            form->Timer1_Timer(indexOf(name));
    }

    int downloads(const QString &name) const { return server.hits("/" + slug(name) + ".mp3"); }
    QString countdown(const QString &name) const { return form->itemText(indexOf(name), Form1::CountdownColumn); }

    test::TemporaryHome home;
    test::ScriptedMessageBox box;
    LoopbackServer server;
    QString folder;
    QStringList pending;
    bool programEnded = false;
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
    tick(QStringLiteral("Five"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Five")), 1);
    EXPECT_EQ(countdown(QStringLiteral("Five")), QStringLiteral("00:00:00"));
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
        tick(name, feed.dueAt - 1);
        EXPECT_EQ(downloads(name), 0) << feed.name;
        tick(name, 1);
        EXPECT_EQ(downloads(name), 1) << feed.name;
    }
    tick(QStringLiteral("Never"), 100);
    EXPECT_EQ(downloads(QStringLiteral("Never")), 0);
    EXPECT_EQ(countdown(QStringLiteral("Never")), QStringLiteral("00:01:40"));
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
    tick(QStringLiteral("Alpha"), 100);
    tick(QStringLiteral("Bravo"), 100);
    tick(QStringLiteral("Charlie"), 100);

    // Bravo goes, Delta comes first, Charlie's interval changes.
    form->dbConn.Execute(statements::deleteFeed(QStringLiteral("Bravo")));
    addFeed(QStringLiteral("Delta"), 1);
    form->dbConn.Execute(QStringLiteral("update [rss] set [minute]=20 where name='Charlie'"));
    form->listPodCast();
    ASSERT_EQ(form->rowCount(), 3);
    EXPECT_EQ(form->Timer1.size(), 3u);
    EXPECT_EQ(indexOf(QStringLiteral("Delta")), 0);
    EXPECT_EQ(countdown(QStringLiteral("Alpha")), QStringLiteral("00:03:20"));

    tick(QStringLiteral("Alpha"), 199);
    EXPECT_EQ(downloads(QStringLiteral("Alpha")), 0);
    tick(QStringLiteral("Alpha"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Alpha")), 1);
    tick(QStringLiteral("Delta"), 60);
    EXPECT_EQ(downloads(QStringLiteral("Delta")), 1);
    tick(QStringLiteral("Charlie"), 1199);
    EXPECT_EQ(downloads(QStringLiteral("Charlie")), 0);
    tick(QStringLiteral("Charlie"), 1);
    EXPECT_EQ(downloads(QStringLiteral("Charlie")), 1);

    // Rows that are gone take their timers with them; their ticks do nothing.
    form->dbConn.Execute(QStringLiteral("delete from [rss] where name<>'Delta'"));
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
        return Reply::ok("episode Mid", "audio/mpeg");
    });
    tick(QStringLiteral("Mid"), 1);
    ASSERT_EQ(downloads(QStringLiteral("Mid")), 1);
    EXPECT_EQ(indexOf(QStringLiteral("Mid")), 1);
    EXPECT_TRUE(form->Timer1.at(1)->isActive());
    EXPECT_EQ(form->ElapsedSeconds.at(1), 0);
    EXPECT_EQ(form->ElapsedSeconds.at(0), 0);
    EXPECT_EQ(form->IntervalSeconds.at(0), 60);
}

TEST_F(Form1Scheduling, ADownloadRunningWhenSchedulingIsTurnedOffDoesNotRestartItsTimer)
{
    addFeed(QStringLiteral("Mid"), 5);
    loadAndTurnOn();
    tick(QStringLiteral("Mid"), 299);
    server.serve("/Mid.mp3", [&](const LoopbackServer::Request &) {
        QTimer::singleShot(0, form.get(), [&] { form->PushButton6->click(); });
        return Reply::ok("episode Mid", "audio/mpeg");
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
    EXPECT_EQ(form->dbConn.State(), 0);
    QFile episode(folder + QStringLiteral("Mid.mp3"));
    ASSERT_TRUE(episode.open(QIODevice::ReadOnly));
    EXPECT_EQ(episode.readAll(), QByteArray("last week's episode"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Mid.mp3")});
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
    form->dbConn.Execute(QStringLiteral("update [rss] set [folder]='/nowhere/' where name='NoFolder'"));
    form->listPodCast();
    form->DownloadFeed(1);
    EXPECT_TRUE(box.shown().empty());
    EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("NoFolder failed at")));
}

TEST_F(Form1Download, ANameWithQuotesIsFoundForItsDownload)
{
    addFeed(QStringLiteral("Rock 'n' Roll"), 5);
    load(settings::off);
    clickDownload(QStringLiteral("Rock 'n' Roll"));
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Done.")});
}

} // namespace
} // namespace tidewell
