#include "Connection.h"
#include "RecordSet.h"
#include "RuntimeError.h"
#include "Statements.h"
#include "TemporaryHome.h"

#include <QFile>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

class ConnectionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        home.installBlankTemplate();
        path = home.path() + QStringLiteral("/feeds.mdb");
        ASSERT_TRUE(QFile::copy(home.programFolder() + QStringLiteral("/dbBlank.mdb"), path));
        db.Open(QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=") + path
                + QStringLiteral(";Persist Security Info=False"));
    }

    void add(const QString &name, const QString &minute, bool active = true)
    {
        db.Execute(statements::insertFeed({name, minute, name + QStringLiteral(".mp3"), QStringLiteral("/tmp/"),
                                           QStringLiteral("http://127.0.0.1/feed"), active}));
    }

    QStringList names(const QString &query)
    {
        RecordSet records;
        records.Open(query, db);
        QStringList result;
        for (; !records.Eof(); records.MoveNext())
            result << records.Fields(QStringLiteral("name")).toText();
        records.Close();
        return result;
    }

    test::TemporaryHome home;
    QString path;
    Connection db;
};

TEST_F(ConnectionTest, BlankTemplateHoldsTheFeedTableEmpty)
{
    EXPECT_TRUE(names(statements::feedsByMinute()).isEmpty());
    RecordSet records;
    records.Open(QStringLiteral("select [name],[minute],[filename],[folder],[URL],[Active] from [rss]"), db);
    EXPECT_TRUE(records.Eof());
}

TEST_F(ConnectionTest, MinutesOrderNumerically)
{
    add(QStringLiteral("Hourly"), QStringLiteral("120"));
    add(QStringLiteral("Often"), QStringLiteral("5"));
    add(QStringLiteral("Half"), QStringLiteral("30"));
    EXPECT_EQ(names(statements::feedsByMinute()),
              (QStringList{QStringLiteral("Often"), QStringLiteral("Half"), QStringLiteral("Hourly")}));
    EXPECT_EQ(names(statements::feedsWithMinute(QStringLiteral("05"))), QStringList{QStringLiteral("Often")});
}

TEST_F(ConnectionTest, NamesCompareWithoutRegardToCase)
{
    add(QStringLiteral("Morning News"), QStringLiteral("5"));
    EXPECT_EQ(names(statements::feedsWithName(QStringLiteral("  morning NEWS  "))).size(), 1);
}

TEST_F(ConnectionTest, NameWithSingleQuotesTravelsThroughEveryStatement)
{
    const QString name = QStringLiteral("Rock 'n' Roll");
    add(name, QStringLiteral("15"));
    EXPECT_EQ(names(statements::feedsByMinute()), QStringList{name});
    EXPECT_EQ(names(statements::feedsByName()), QStringList{name});
    EXPECT_EQ(names(statements::feedsWithName(name)), QStringList{name});

    const QString renamed = QStringLiteral("Rock 'n' Roll's Best");
    db.Execute(statements::updateFeed({renamed, QStringLiteral("20"), QStringLiteral("it's.mp3"),
                                       QStringLiteral("/tmp/o'clock/"), QStringLiteral("http://x/?a='b'"), false},
                                      name));
    RecordSet records;
    records.Open(statements::feedsWithName(renamed), db);
    ASSERT_FALSE(records.Eof());
    EXPECT_EQ(records.Fields(QStringLiteral("filename")).toText(), QStringLiteral("it's.mp3"));
    EXPECT_EQ(records.Fields(QStringLiteral("folder")).toText(), QStringLiteral("/tmp/o'clock/"));
    EXPECT_EQ(records.Fields(QStringLiteral("url")).toText(), QStringLiteral("http://x/?a='b'"));
    EXPECT_FALSE(records.Fields(QStringLiteral("Active")).toBool());
    records.Close();

    db.Execute(statements::deleteFeed(renamed));
    EXPECT_TRUE(names(statements::feedsByName()).isEmpty());
}

TEST_F(ConnectionTest, FirstRunUpdatePointsEveryFolderAtTheDesktop)
{
    add(QStringLiteral("A"), QStringLiteral("5"));
    add(QStringLiteral("B"), QStringLiteral("6"));
    db.Execute(statements::pointFoldersAtDesktop(QStringLiteral("/home/o'neil/Desktop/")));
    RecordSet records;
    records.Open(statements::feedsByName(), db);
    for (; !records.Eof(); records.MoveNext())
        EXPECT_EQ(records.Fields(QStringLiteral("folder")).toText(), QStringLiteral("/home/o'neil/Desktop/"));
}

TEST_F(ConnectionTest, DoubleQuotedTextIsAnIdentifierNotAString)
{
    add(QStringLiteral("x"), QStringLiteral("5"));
    EXPECT_THROW(names(QStringLiteral("select * from [rss] where name=\"x\"")), RuntimeError);
}

TEST_F(ConnectionTest, RefusedStatementsRaiseTheProviderError)
{
    try {
        db.Execute(QStringLiteral("delete from [rss] where name='it's'"));
        FAIL() << "a broken statement was accepted";
    } catch (const RuntimeError &error) {
        EXPECT_EQ(error.number(), errnum::ProviderFailure);
        EXPECT_FALSE(error.description().isEmpty());
    }
    // Two statements in one text are refused whole, not half run.
    add(QStringLiteral("keep"), QStringLiteral("5"));
    EXPECT_THROW(db.Execute(QStringLiteral("select 1; delete from [rss]")), RuntimeError);
    EXPECT_EQ(names(statements::feedsByName()).size(), 1);
}

TEST_F(ConnectionTest, ClosedObjectsRefuseWork)
{
    db.Close();
    EXPECT_EQ(db.State(), 0);
    EXPECT_THROW(db.Execute(statements::feedsByName()), RuntimeError);
    EXPECT_THROW(db.Close(), RuntimeError);

    RecordSet records;
    EXPECT_EQ(records.State(), 0);
    EXPECT_THROW(records.Eof(), RuntimeError);
    EXPECT_THROW(records.Open(statements::feedsByName(), db), RuntimeError);
    EXPECT_EQ(records.State(), 0);
}

TEST_F(ConnectionTest, RecordSetRefusesReadsPastTheEndAndUnknownColumns)
{
    add(QStringLiteral("only"), QStringLiteral("5"));
    RecordSet records;
    records.Open(statements::feedsByName(), db);
    EXPECT_THROW(records.Fields(QStringLiteral("nonesuch")), RuntimeError);
    EXPECT_EQ(records.Fields(QStringLiteral("NAME")).toText(), QStringLiteral("only"));
    records.MoveNext();
    EXPECT_TRUE(records.Eof());
    EXPECT_THROW(records.Fields(QStringLiteral("name")), RuntimeError);
    EXPECT_THROW(records.MoveNext(), RuntimeError);
}

TEST(ConnectionOpen, RefusesMissingAndForeignFiles)
{
    test::TemporaryHome home;
    Connection db;
    const QString missing = home.path() + QStringLiteral("/missing.mdb");
    EXPECT_THROW(db.Open(QStringLiteral("Data Source=") + missing), RuntimeError);
    EXPECT_FALSE(QFile::exists(missing)) << "opening must never create the database";

    const QString garbage = home.path() + QStringLiteral("/garbage.mdb");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    EXPECT_THROW(db.Open(QStringLiteral("Data Source=") + garbage), RuntimeError);
    EXPECT_EQ(db.State(), 0);
    EXPECT_THROW(db.Open(QStringLiteral("PROVIDER=x;Persist Security Info=False")), RuntimeError);
}

TEST(ConnectionString, DataSourceIsTheTextUpToTheNextSemicolon)
{
    EXPECT_EQ(Connection::dataSource(QStringLiteral(
                  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/a b/dbData.mdb;Persist Security Info=False")),
              QStringLiteral("/a b/dbData.mdb"));
    EXPECT_EQ(Connection::dataSource(QStringLiteral("data source=/x.mdb")), QStringLiteral("/x.mdb"));
    EXPECT_EQ(Connection::dataSource(QStringLiteral("PROVIDER=x")), QString());
}

} // namespace
} // namespace tidewell
