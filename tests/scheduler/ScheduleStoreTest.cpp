// The schedule's file: written behind, in write-ahead-log mode, never
// waited for, and a failure said once while memory carries on.
#include "ScheduleStore.h"
#include "TemporaryHome.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace tidewell {
namespace {

// Another program's connection to the same file.
class Other
{
public:
    explicit Other(const QString &path) { sqlite3_open(path.toUtf8().constData(), &m_db); }
    ~Other() { sqlite3_close(m_db); }

    bool exec(const char *sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    QString text(const char *sql)
    {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr);
        QString value;
        if (sqlite3_step(statement) == SQLITE_ROW)
            value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        return value;
    }

private:
    sqlite3 *m_db = nullptr;
};

ScheduleStore::KeptDownload done(const char *name)
{
    LastDownload last;
    last.whenMs = 1000;
    last.outcome.kind = FeedDownloadOutcome::Downloaded;
    return {QString::fromLatin1(name), last};
}

class ScheduleStoreTest : public testing::Test
{
protected:
    test::TemporaryHome home;
    QString path = ScheduleStore::defaultPath();
};

TEST_F(ScheduleStoreTest, ChangesReachTheFileWhenTheEventLoopComesRoundInALogWithoutASyncPerCommit)
{
    ScheduleStore store;
    ASSERT_TRUE(store.isOpen()) << store.error().toStdString();
    Other other(path);
    EXPECT_EQ(other.text("pragma journal_mode"), QStringLiteral("wal"));
    store.saveLastDownload(1, done("A"));
    store.saveCount(1, {QStringLiteral("A"), 60, 5000, 2, 7000, false});
    store.saveEpisode(1, {QStringLiteral("http://a/e.mp3"), QStringLiteral("http://b/e.mp3"), QStringLiteral("/pods/a.mp3"),
                          "\"e\"", {}, 7, 9, 11});
    store.saveFeedDocument(1, {QStringLiteral("http://a/feed"), QStringLiteral("http://b/feed"), "\"f\"", {}});
    EXPECT_EQ(other.text("select count(*) from downloads"), QStringLiteral("0")) << "written behind";
    QCoreApplication::processEvents();
    EXPECT_EQ(other.text("select outcome from downloads where row = 1"),
              QString::number(FeedDownloadOutcome::Downloaded));
    EXPECT_EQ(other.text("select retry from counts where row = 1"), QStringLiteral("7000"));
    EXPECT_EQ(other.text("select etag from episodes where row = 1"), QStringLiteral("\"e\""));

    ScheduleStore again;
    ASSERT_TRUE(again.count(1).has_value());
    EXPECT_EQ(again.count(1)->failures, 2);
    EXPECT_EQ(again.count(1)->retryAtMs, 7000);
    EXPECT_EQ(again.episode(1)->size, 7);
    EXPECT_EQ(again.episode(1)->answeredUrl, QStringLiteral("http://b/e.mp3"));
    EXPECT_EQ(again.episode(1)->changedMs, 11);
    EXPECT_EQ(again.feedDocument(1)->etag, QByteArray("\"f\""));
}

TEST_F(ScheduleStoreTest, AFailureIsKeptAsAValueAndSaidTheSameWhenReadBack)
{
    ScheduleStore::KeptDownload failed = done("A");
    failed.last.outcome.kind = FeedDownloadOutcome::TransferFailed;
    failed.last.outcome.failure = Failure::http(404, QStringLiteral("Not Found"));
    {
        ScheduleStore store;
        store.saveLastDownload(1, failed);
        ASSERT_TRUE(store.flush());
    }
    Other other(path);
    EXPECT_EQ(other.text("select failure || ' ' || http_status || ' ' || detail from downloads where row = 1"),
              QStringLiteral("%1 404 Not Found").arg(static_cast<int>(Failure::Kind::Http)));
    ScheduleStore again;
    EXPECT_EQ(again.lastDownload(1)->last.outcome.failure, failed.last.outcome.failure);
    EXPECT_EQ(again.lastDownload(1)->last.report(), QStringLiteral("Download Failed. (HTTP 404 Not Found)"));
}

TEST_F(ScheduleStoreTest, AFileAnotherProgramHoldsIsTriedAgainLaterNotWaitedFor)
{
    ScheduleStore store;
    Other other(path);
    ASSERT_TRUE(other.exec("begin immediate"));
    store.saveLastDownload(1, done("A"));
    // With the file held, waiting would never end on this one thread.
    EXPECT_FALSE(store.flush());
    EXPECT_EQ(store.lastDownload(1)->last.report(), QStringLiteral("Done.")) << "memory carries on";
    ASSERT_TRUE(other.exec("commit"));
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(other.text("select name from downloads where row = 1"), QStringLiteral("A"));
}

TEST_F(ScheduleStoreTest, AWriteThatFailsIsSaidOnceAndAgainWhenWritingWorksOnceMore)
{
    ScheduleStore store;
    QSignalSpy problems(&store, &ScheduleStore::writeProblem);
    Other other(path);
    // A full disk, as far as this file goes.
    ASSERT_TRUE(other.exec("create trigger full before insert on downloads begin "
                           "select raise(abort, 'database or disk is full'); end"));
    store.saveLastDownload(1, done("A"));
    EXPECT_FALSE(store.flush());
    store.saveLastDownload(2, done("B"));
    EXPECT_FALSE(store.flush());
    ASSERT_EQ(problems.count(), 1);
    EXPECT_TRUE(problems[0][0].toString().contains(QStringLiteral("database or disk is full")))
        << problems[0][0].toString().toStdString();
    EXPECT_EQ(store.lastDownload(2)->last.report(), QStringLiteral("Done."));

    ASSERT_TRUE(other.exec("drop trigger full"));
    EXPECT_TRUE(store.flush());
    ASSERT_EQ(problems.count(), 2);
    EXPECT_TRUE(problems[1][0].toString().isEmpty());
    EXPECT_EQ(other.text("select count(*) from downloads"), QStringLiteral("2")) << "nothing was lost";
}

TEST_F(ScheduleStoreTest, FeedsThatLeftTheListAreForgottenEvenWhenAnotherRunWroteThem)
{
    {
        ScheduleStore earlier;
        for (const qint64 row : {1, 2, 3}) {
            earlier.saveLastDownload(row, done("X"));
            earlier.saveEpisode(row, {});
            earlier.saveCount(row, {QStringLiteral("X"), 60, 1, 0, std::nullopt, false});
        }
    }
    ScheduleStore store;
    store.keepOnly({2});
    EXPECT_FALSE(store.lastDownload(1).has_value());
    EXPECT_TRUE(store.lastDownload(2).has_value());
    ASSERT_TRUE(store.flush());
    Other other(path);
    for (const char *table : {"downloads", "episodes", "counts"}) {
        EXPECT_EQ(other.text((QByteArray("select group_concat(row) from ") + table).constData()), QStringLiteral("2"))
            << table;
    }
    store.forgetCounts();
    ASSERT_TRUE(store.flush());
    EXPECT_EQ(other.text("select count(*) from counts"), QStringLiteral("0"));
}

// An upgrade keeps each feed's place in its count: the name-keyed counts of
// the earlier versions hold until the feed's row has one of its own.
TEST_F(ScheduleStoreTest, CountsOfTheEarlierNameKeyedKindCarryOverUntilTheirFeedSavesOne)
{
    ASSERT_TRUE(ScheduleStore().isOpen()); // makes the folder
    {
        Other old(path);
        ASSERT_TRUE(old.exec("drop table counts; drop table downloads; drop table episodes; drop table feed_documents;"
                             "drop table name_keyed_counts; pragma user_version = 0;"
                             "create table counts (name text, ordinal integer, interval integer, started integer);"
                             "insert into counts values ('A', 0, 60, 1000);"
                             "insert into counts values ('Twice', 0, 60, 1000), ('Twice', 1, 60, 2000);"
                             "create table episodes (name text primary key, url text);"));
    }
    {
        ScheduleStore store;
        ASSERT_TRUE(store.isOpen()) << store.error().toStdString();
        const auto carried = store.nameKeyedCount(QStringLiteral("A"));
        ASSERT_TRUE(carried);
        EXPECT_EQ(carried->intervalSeconds, 60);
        EXPECT_EQ(carried->dueMs, 61000);
        EXPECT_FALSE(store.nameKeyedCount(QStringLiteral("Twice"))); // whose was it?
        EXPECT_FALSE(store.count(1));
    }
    {
        ScheduleStore store; // carried over in the file, not only in memory
        ASSERT_TRUE(store.nameKeyedCount(QStringLiteral("A")));
        store.saveCount(1, {QStringLiteral("A"), 60, 5000, 0, std::nullopt, false});
        EXPECT_FALSE(store.nameKeyedCount(QStringLiteral("A")));
        EXPECT_TRUE(store.flush());
    }
    ScheduleStore store;
    EXPECT_FALSE(store.nameKeyedCount(QStringLiteral("A")));
    EXPECT_EQ(store.count(1)->dueMs, 5000);
}

// The file of the version before differs only in how a download is kept.
TEST_F(ScheduleStoreTest, AStoreOfTheVersionBeforeKeepsItsCountsAndFiles)
{
    {
        ScheduleStore store;
        store.saveCount(3, {QStringLiteral("A"), 60, 5000, 2, 4000, true});
        store.saveLastDownload(3, done("A"));
        ASSERT_TRUE(store.flush());
    }
    {
        Other old(path);
        ASSERT_TRUE(old.exec("drop table downloads; drop table name_keyed_counts; pragma user_version = 2;"
                             "create table downloads (row integer primary key, name text not null, happened integer "
                             "not null, succeeded integer not null, report text not null);"
                             "insert into downloads values (3, 'A', 1000, 1, 'Done.')"));
    }
    ScheduleStore store;
    ASSERT_TRUE(store.isOpen()) << store.error().toStdString();
    const auto count = store.count(3);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->dueMs, 5000);
    EXPECT_EQ(count->failures, 2);
    EXPECT_EQ(count->retryAtMs, 4000);
    EXPECT_FALSE(store.lastDownload(3));
    store.saveLastDownload(3, done("A"));
    EXPECT_TRUE(store.flush());
}

TEST_F(ScheduleStoreTest, ALookAtTheScheduleWritesNothing)
{
    {
        ScheduleStore store;
        store.saveLastDownload(1, done("A"));
    }
    ScheduleStore look(path, ScheduleStore::Mode::ReadOnly);
    EXPECT_EQ(look.lastDownload(1)->name, QStringLiteral("A"));
    look.saveLastDownload(1, done("B"));
    look.keepOnly({});
    EXPECT_TRUE(look.flush());
    EXPECT_EQ(ScheduleStore().lastDownload(1)->name, QStringLiteral("A"));

    ScheduleStore nothingYet(home.path() + QStringLiteral("/none.sqlite"), ScheduleStore::Mode::ReadOnly);
    EXPECT_FALSE(nothingYet.isOpen());
    EXPECT_FALSE(QFileInfo::exists(home.path() + QStringLiteral("/none.sqlite")));
}

} // namespace
} // namespace tidewell
