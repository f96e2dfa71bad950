#include "Statements.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

// The statement texts are what the database sees; these are the forms the
// feed table has always been written and read with.
TEST(Statements, TextsStandAsTheCatalogueHasThem)
{
    const FeedFields news{QStringLiteral("News"), QStringLiteral("15"), QStringLiteral("News.mp3"),
                          QStringLiteral("C:\\Pods\\"), QStringLiteral("feed.xml"), true};
    EXPECT_EQ(statements::insertFeed(news).toStdString(),
              "insert into [rss] ([name],[minute],[filename],[folder],[URL],[Active]) values "
              "('News',15,'News.mp3','C:\\Pods\\','feed.xml',True)");
    EXPECT_EQ(statements::updateFeed(news, QStringLiteral("Old")).toStdString(),
              "update [rss] set [name]='News',[minute]=15,[filename]='News.mp3',[folder]='C:\\Pods\\',"
              "[URL]='feed.xml',[Active]=True where [name]='Old'");
    EXPECT_EQ(statements::pointFoldersAtDesktop(QStringLiteral("/home/a/Desktop/")).toStdString(),
              "update [rss] set [folder]='/home/a/Desktop/'");
    EXPECT_EQ(statements::feedsByMinute().toStdString(), "select * from [rss] order by [minute]");
    EXPECT_EQ(statements::feedRowsByMinute().toStdString(), "select rowid as [row], * from [rss] order by [minute]");
    EXPECT_EQ(statements::feedAtRow(7).toStdString(), "select * from [rss] where rowid=7");
    EXPECT_EQ(statements::feedsByName().toStdString(), "select * from [rss] order by [name]");
    EXPECT_EQ(statements::feedsWithName(QStringLiteral("  News ")).toStdString(),
              "select * from [rss] where name='News'");
    EXPECT_EQ(statements::feedsWithMinute(QStringLiteral("05")).toStdString(),
              "select * from [rss] where [minute]=05");
    EXPECT_EQ(statements::deleteFeed(QStringLiteral("News")).toStdString(), "delete from [rss] where name='News'");
}

TEST(Statements, InactiveFeedsAreWrittenFalse)
{
    FeedFields feed{QStringLiteral("a"), QStringLiteral("1"), {}, {}, {}, false};
    EXPECT_TRUE(statements::insertFeed(feed).endsWith(QStringLiteral(",False)")));
    EXPECT_TRUE(statements::updateFeed(feed, QStringLiteral("a")).contains(QStringLiteral("[Active]=False where")));
}

TEST(Statements, SingleQuotesAreDoubledInEveryTextValue)
{
    EXPECT_EQ(SqlText(QStringLiteral("Rock 'n' Roll")), QStringLiteral("Rock ''n'' Roll"));
    EXPECT_EQ(statements::deleteFeed(QStringLiteral("it's")).toStdString(), "delete from [rss] where name='it''s'");
    EXPECT_EQ(statements::feedsWithName(QStringLiteral(" ' ")).toStdString(), "select * from [rss] where name=''''");
}

TEST(Statements, OnlySpacesAreTrimmedFromTheNameCheck)
{
    EXPECT_EQ(TrimBlanks(QStringLiteral("  a b  ")), QStringLiteral("a b"));
    EXPECT_EQ(TrimBlanks(QStringLiteral("\ta\t")), QStringLiteral("\ta\t"));
    EXPECT_EQ(TrimBlanks(QStringLiteral("   ")), QString());
}

} // namespace
} // namespace tidewell
