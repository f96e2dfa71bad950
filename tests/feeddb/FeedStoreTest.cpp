#include "FeedDatabase.h"
#include "FeedStore.h"
#include "RuntimeError.h"
#include "TemporaryHome.h"

#include <QFile>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

class FeedStoreTest : public testing::Test
{
protected:
    void SetUp() override
    {
        home.installBlankTemplate();
        path = home.path() + QStringLiteral("/feeds.mdb");
        ASSERT_TRUE(QFile::copy(home.programFolder() + QStringLiteral("/dbBlank.mdb"), path));
        feeds.open(path);
    }

    void add(const QString &name, const QString &minute, bool active = true)
    {
        feeds.insert({name, minute, name + QStringLiteral(".mp3"), QStringLiteral("/tmp/"),
                      QStringLiteral("http://127.0.0.1/feed"), active});
    }

    static QStringList names(const std::vector<FeedRecord> &records)
    {
        QStringList result;
        for (const FeedRecord &record : records)
            result << record.name.toText();
        return result;
    }

    test::TemporaryHome home;
    QString path;
    FeedStore feeds;
};

TEST_F(FeedStoreTest, BlankTemplateHoldsTheFeedTableEmpty)
{
    EXPECT_TRUE(feeds.byMinute().empty());
    EXPECT_TRUE(feeds.byName().empty());
    EXPECT_FALSE(feeds.find(1));
}

TEST_F(FeedStoreTest, MinutesOrderNumericallyAndAreFoundAsNumbers)
{
    add(QStringLiteral("Hourly"), QStringLiteral("120"));
    add(QStringLiteral("Often"), QStringLiteral("5"));
    add(QStringLiteral("Half"), QStringLiteral("30"));
    add(QStringLiteral("Odd"), QStringLiteral(" 2.5 "));
    EXPECT_EQ(names(feeds.byMinute()), (QStringList{QStringLiteral("Odd"), QStringLiteral("Often"),
                                                    QStringLiteral("Half"), QStringLiteral("Hourly")}));
    EXPECT_EQ(names(feeds.byName()), (QStringList{QStringLiteral("Half"), QStringLiteral("Hourly"),
                                                  QStringLiteral("Odd"), QStringLiteral("Often")}));
    EXPECT_EQ(feeds.byMinute()[0].minute.toText(), QStringLiteral("2.5"));
    EXPECT_EQ(feeds.byMinute()[1].minute.toText(), QStringLiteral("5"));
    EXPECT_TRUE(feeds.minuteTaken(QStringLiteral("05")));
    EXPECT_TRUE(feeds.minuteTaken(QStringLiteral("+120")));
    EXPECT_TRUE(feeds.minuteTaken(QStringLiteral("2.50")));
    EXPECT_FALSE(feeds.minuteTaken(QStringLiteral("6")));
    EXPECT_THROW(feeds.minuteTaken(QStringLiteral("soon")), RuntimeError);
}

TEST_F(FeedStoreTest, NamesCompareWithoutRegardToCaseAndTheFeedItselfIsNoOtherFeed)
{
    add(QStringLiteral("Morning News"), QStringLiteral("5"));
    EXPECT_TRUE(feeds.nameTaken(QStringLiteral("  morning NEWS  "), QString()));
    EXPECT_FALSE(feeds.nameTaken(QStringLiteral("\tMorning News"), QString())) << "only spaces are trimmed";
    EXPECT_FALSE(feeds.nameTaken(QStringLiteral("MORNING NEWS"), QStringLiteral("Morning News")));
    EXPECT_TRUE(feeds.nameTaken(QStringLiteral("MORNING NEWS"), QStringLiteral("Evening News")));
}

TEST_F(FeedStoreTest, QuotesTravelThroughEveryCall)
{
    const QString name = QStringLiteral("Rock 'n' Roll");
    add(name, QStringLiteral("15"));
    EXPECT_EQ(names(feeds.byMinute()), QStringList{name});
    EXPECT_EQ(names(feeds.byName()), QStringList{name});
    EXPECT_TRUE(feeds.nameTaken(name, QString()));

    const QString renamed = QStringLiteral("Rock 'n' Roll's Best");
    feeds.update(name, {renamed, QStringLiteral("20"), QStringLiteral("it's.mp3"), QStringLiteral("/tmp/o'clock/"),
                        QStringLiteral("http://x/?a='b'"), false});
    const std::optional<FeedRecord> stored = feeds.find(feeds.byName().at(0).row);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->name.toText(), renamed);
    EXPECT_EQ(stored->minute.toInt16(), 20);
    EXPECT_EQ(stored->filename.toText(), QStringLiteral("it's.mp3"));
    EXPECT_EQ(stored->folder.toText(), QStringLiteral("/tmp/o'clock/"));
    EXPECT_EQ(stored->url.toText(), QStringLiteral("http://x/?a='b'"));
    EXPECT_FALSE(stored->active.toBool());

    feeds.remove(renamed);
    EXPECT_TRUE(feeds.byName().empty());
}

TEST_F(FeedStoreTest, ActiveIsStoredTrueOrFalse)
{
    add(QStringLiteral("On"), QStringLiteral("1"), true);
    add(QStringLiteral("Off"), QStringLiteral("2"), false);
    const std::vector<FeedRecord> stored = feeds.byMinute();
    EXPECT_TRUE(stored[0].active.toBool());
    EXPECT_FALSE(stored[1].active.toBool());
}

TEST_F(FeedStoreTest, FirstRunUpdatePointsEveryFolderAtTheDesktop)
{
    add(QStringLiteral("A"), QStringLiteral("5"));
    add(QStringLiteral("B"), QStringLiteral("6"));
    feeds.pointFoldersAt(QStringLiteral("/home/o'neil/Desktop/"));
    for (const FeedRecord &feed : feeds.byName())
        EXPECT_EQ(feed.folder.toText(), QStringLiteral("/home/o'neil/Desktop/"));
}

TEST_F(FeedStoreTest, EachFeedKeepsItsRow)
{
    add(QStringLiteral("Twin"), QStringLiteral("5"));
    add(QStringLiteral("Twin"), QStringLiteral("6"));
    const std::vector<FeedRecord> stored = feeds.byMinute();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_NE(stored[0].row, stored[1].row);
    EXPECT_EQ(feeds.find(stored[1].row)->minute.toInt16(), 6);
    EXPECT_FALSE(feeds.find(stored[1].row + 1));
}

TEST_F(FeedStoreTest, RefusedStatementsRaiseTheDatabasesOwnWords)
{
    test::runSql(path, QStringLiteral("create trigger refuse before insert on [rss] "
                                      "begin select raise(abort, 'no more feeds'); end"));
    try {
        add(QStringLiteral("x"), QStringLiteral("5"));
        FAIL() << "a refused insert went through";
    } catch (const RuntimeError &error) {
        EXPECT_EQ(error.number(), errnum::ProviderFailure);
        EXPECT_EQ(error.description(), QStringLiteral("no more feeds"));
    }
    test::runSql(path, QStringLiteral("alter table [rss] rename to [elsewhere]"));
    EXPECT_THROW(feeds.byMinute(), RuntimeError);
    EXPECT_THROW(feeds.find(1), RuntimeError);
}

TEST_F(FeedStoreTest, AllOrNothingUndoesEveryChangeWhenOneFails)
{
    add(QStringLiteral("Kept"), QStringLiteral("5"));
    test::runSql(path, QStringLiteral("create trigger refuse before insert on [rss] when new.[name] = 'Bad' "
                                      "begin select raise(abort, 'refused'); end"));
    EXPECT_THROW(feeds.allOrNothing([&] {
        add(QStringLiteral("Good"), QStringLiteral("6"));
        add(QStringLiteral("Bad"), QStringLiteral("7"));
    }),
                 RuntimeError);
    EXPECT_EQ(names(feeds.byName()), QStringList{QStringLiteral("Kept")});
    feeds.allOrNothing([&] { add(QStringLiteral("Good"), QStringLiteral("6")); });
    EXPECT_EQ(names(feeds.byName()), (QStringList{QStringLiteral("Good"), QStringLiteral("Kept")}));
}

TEST_F(FeedStoreTest, AClosedStoreRefusesWork)
{
    feeds.close();
    EXPECT_FALSE(feeds.isOpen());
    for (const auto &call : std::initializer_list<std::function<void()>>{
             [&] { feeds.byMinute(); }, [&] { feeds.pointFoldersAt(QStringLiteral("/x/")); },
             [&] { add(QStringLiteral("x"), QStringLiteral("5")); }}) {
        try {
            call();
            ADD_FAILURE() << "a closed store did some work";
        } catch (const RuntimeError &error) {
            EXPECT_EQ(error.description(), QStringLiteral("Operation is not allowed when the object is closed."));
        }
    }
}

TEST(FeedStoreOpen, RefusesMissingAndForeignFiles)
{
    test::TemporaryHome home;
    FeedStore feeds;
    const QString missing = home.path() + QStringLiteral("/missing.mdb");
    EXPECT_THROW(feeds.open(missing), RuntimeError);
    EXPECT_FALSE(QFile::exists(missing)) << "opening must never create the database";

    const QString garbage = home.path() + QStringLiteral("/garbage.mdb");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    try {
        feeds.open(garbage);
        FAIL() << "a file that is no database was opened";
    } catch (const RuntimeError &error) {
        EXPECT_TRUE(error.description().startsWith(QStringLiteral("Could not open '") + garbage + QStringLiteral("': ")))
            << error.description().toStdString();
    }
    EXPECT_FALSE(feeds.isOpen());
}

TEST(TrimBlanks, OnlySpacesAreTrimmed)
{
    EXPECT_EQ(TrimBlanks(QStringLiteral("  a b  ")), QStringLiteral("a b"));
    EXPECT_EQ(TrimBlanks(QStringLiteral("\ta\t")), QStringLiteral("\ta\t"));
    EXPECT_EQ(TrimBlanks(QStringLiteral("   ")), QString());
}

} // namespace
} // namespace tidewell
