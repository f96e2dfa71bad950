#include "Connection.h"
#include "OpmlExport.h"
#include "OpmlImport.h"
#include "RuntimeError.h"
#include "Statements.h"
#include "TemporaryHome.h"

#include <QFile>

#include <gtest/gtest.h>

// Readable failure messages for text and lists of it.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tidewell {
namespace {

QByteArray sample(const char *file)
{
    QFile opml(QStringLiteral(TIDEWELL_TEST_DATA "/") + QLatin1String(file));
    return opml.open(QIODevice::ReadOnly) ? opml.readAll() : QByteArray();
}

struct Row
{
    QString name;
    qint64 minute = 0;
    QString filename;
    QString folder;
    QString url;
    bool active = false;
    bool operator==(const Row &) const = default;
};

std::ostream &operator<<(std::ostream &stream, const Row &row)
{
    return stream << row.name.toStdString() << '|' << row.minute << '|' << row.filename.toStdString() << '|'
                  << row.folder.toStdString() << '|' << row.url.toStdString() << '|' << row.active;
}

// A feed database of its own, made from the blank template.
class FeedDatabase
{
public:
    explicit FeedDatabase(const QString &path)
    {
        QFile::remove(path);
        if (!QFile::copy(QStringLiteral(TIDEWELL_BLANK_TEMPLATE), path))
            throw std::runtime_error("cannot copy the blank template");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        db.Open(QStringLiteral("Data Source=") + path);
    }

    void add(const QString &name, int minute, const QString &url)
    {
        db.Execute(statements::insertFeed(
            {name, QString::number(minute), QStringLiteral("own.mp3"), QStringLiteral("/own/"), url, false}));
    }

    std::vector<Row> rows()
    {
        std::vector<Row> rows;
        for (const auto &fields : db.query(QStringLiteral("select * from [rss] order by rowid")).rows)
            rows.push_back({fields[0].toText(), fields[1].toInt16(), fields[2].toText(), fields[3].toText(),
                            fields[4].toText(), fields[5].toBool()});
        return rows;
    }

    Connection db;
};

class Opml : public testing::Test
{
protected:
    QStringList import(const char *file)
    {
        const OpmlReading reading = ReadOpml(sample(file));
        EXPECT_EQ(reading.error, QString());
        return ImportFeeds(list.db, reading.feeds, folder);
    }

    test::TemporaryHome home;
    FeedDatabase list{home.path() + QStringLiteral("/feeds.mdb")};
    const QString folder = QStringLiteral("/home/jo/Desktop/");
};

TEST(OpmlReading, FindsFeedOutlinesAtEveryDepthInDocumentOrder)
{
    const OpmlReading reading = ReadOpml(sample("subscriptions-nested.opml"));
    ASSERT_EQ(reading.error, QString());
    std::vector<std::pair<QString, QString>> found;
    for (const OpmlFeed &feed : reading.feeds)
        found.emplace_back(feed.text.isEmpty() ? feed.title : feed.text, feed.xmlUrl);
    const std::vector<std::pair<QString, QString>> expected{
        {QStringLiteral("Morning Briefing"), QStringLiteral("https://feeds.example.org/morning-briefing.xml")},
        {QStringLiteral("Rock 'n' Roll & Politics"),
         QStringLiteral("https://podcasts.example.net/rnr/feed?format=rss&quality=high")},
        {QStringLiteral("Ångström – Physik für alle"), QStringLiteral("https://example.de/angstrom/feed.rss")},
        {QStringLiteral("The \"Lab\" Notes"), QStringLiteral("http://lab.example.com/notes.xml")},
        {QStringLiteral("日本語ポッドキャスト"), QStringLiteral("https://example.jp/podcast/rss")},
        {QStringLiteral("Morning Briefing (mirror)"), QStringLiteral("https://feeds.example.org/morning-briefing.xml")},
    };
    EXPECT_EQ(found, expected);
}

TEST(OpmlReading, TakesLatin1AndNamesWrittenInAnyCase)
{
    const OpmlReading reading = ReadOpml("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                                         "<OPML><Body><OUTLINE TEXT=\"Caf\xe9\" XMLURL=\"http://a.test/\"/>"
                                         "</Body></OPML>");
    ASSERT_EQ(reading.error, QString());
    ASSERT_EQ(reading.feeds.size(), 1u);
    EXPECT_EQ(reading.feeds[0].text, QStringLiteral("Café"));
    EXPECT_EQ(reading.feeds[0].xmlUrl, QStringLiteral("http://a.test/"));
    EXPECT_TRUE(ReadOpml("<opml version=\"2.0\"><head/><body/></opml>").feeds.empty());
}

TEST(OpmlReading, RefusesWhatIsNotOpml)
{
    const QByteArray nested = sample("subscriptions-nested.opml");
    const std::pair<const char *, QByteArray> documents[] = {
        {"empty", QByteArray()},
        {"cut short", nested.left(nested.size() / 2)},
        {"a feed", sample("rss.xml")},
        {"a web page", sample("html-page.html")},
        {"no body", "<opml version=\"2.0\"><head><title>t</title></head></opml>"},
        {"binary", QByteArray("\x00\xff\xfe<opml>\x01", 9)},
    };
    for (const auto &[what, document] : documents) {
        const OpmlReading reading = ReadOpml(document);
        EXPECT_FALSE(reading.error.isEmpty()) << what;
        EXPECT_TRUE(reading.feeds.empty()) << what;
    }
    EXPECT_EQ(ReadOpml(sample("rss.xml")).error, QStringLiteral("its root element is <rss>, not <opml>"));
}

TEST_F(Opml, AddsEachFeedAsTheEditorWouldMakeItAndSkipsOneAlreadyAdded)
{
    EXPECT_EQ(import("subscriptions-nested.opml"),
              QStringList({QStringLiteral("Added: Morning Briefing"), QStringLiteral("Added: Rock 'n' Roll & Politics"),
                           QStringLiteral("Added: Ångström – Physik für alle"),
                           QStringLiteral("Added: The \"Lab\" Notes"), QStringLiteral("Added: 日本語ポッドキャスト"),
                           QStringLiteral("Skipped, already in the list: Morning Briefing (mirror)")}));
    const std::vector<Row> rows = list.rows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[1], (Row{QStringLiteral("Rock 'n' Roll & Politics"), 60,
                            QStringLiteral("Rock 'n' Roll & Politics.mp3"), folder,
                            QStringLiteral("https://podcasts.example.net/rnr/feed?format=rss&quality=high"), true}));
    EXPECT_EQ(rows[3].filename, QStringLiteral("The \"Lab\" Notes.mp3"));
    EXPECT_EQ(rows[4].filename, QStringLiteral("日本語ポッドキャスト.mp3"));
}

TEST_F(Opml, SkipsFeedsWhoseNameOrUrlIsAlreadyInTheList)
{
    list.add(QStringLiteral("MORNING BRIEFING"), 5, QStringLiteral("https://elsewhere.example.org/feed"));
    list.add(QStringLiteral("Japanese"), 10, QStringLiteral("https://example.jp/podcast/rss"));
    const std::vector<Row> before = list.rows();

    // The mirror's URL is not in the list, since the feed it mirrors was
    // skipped by its name.
    EXPECT_EQ(import("subscriptions-nested.opml"),
              QStringList({QStringLiteral("Skipped, already in the list: Morning Briefing"),
                           QStringLiteral("Added: Rock 'n' Roll & Politics"),
                           QStringLiteral("Added: Ångström – Physik für alle"),
                           QStringLiteral("Added: The \"Lab\" Notes"),
                           QStringLiteral("Skipped, already in the list: 日本語ポッドキャスト"),
                           QStringLiteral("Added: Morning Briefing (mirror)")}));
    const std::vector<Row> after = list.rows();
    ASSERT_EQ(after.size(), 6u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);

    // A second import of the same file adds nothing.
    EXPECT_TRUE(import("subscriptions-nested.opml").filter(QStringLiteral("Added")).isEmpty());
    EXPECT_EQ(list.rows().size(), 6u);
}

TEST_F(Opml, TidiesNamesAndKeepsEachEpisodeInsideTheFolder)
{
    EXPECT_EQ(import("subscriptions-flat.opml"),
              QStringList({QStringLiteral("Added: Garden Hour"), QStringLiteral("Added: Café Crème Weekly"),
                           QStringLiteral("Added: News/Weather Daily"),
                           QStringLiteral("Skipped, already in the list: garden hour")}));
    const std::vector<Row> rows = list.rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].name, QStringLiteral("Café Crème Weekly"));
    EXPECT_EQ(rows[1].url, QStringLiteral("https://cafe.example.fr/podcast.xml"));
    EXPECT_EQ(rows[2].name, QStringLiteral("News/Weather Daily"));
    EXPECT_EQ(rows[2].filename, QStringLiteral("News-Weather Daily.mp3"));

    const QStringList lines = ImportFeeds(list.db,
                                          {{QStringLiteral(" "), QString(), QStringLiteral("http://a.test/")},
                                           {QStringLiteral("Line\none"), QString(), QStringLiteral("http://b.test/")},
                                           {QStringLiteral("No address"), QString(), QStringLiteral("  ")}},
                                          folder);
    EXPECT_EQ(lines, QStringList({QStringLiteral("Skipped, no name: http://a.test/"),
                                  QStringLiteral("Added: Line one"),
                                  QStringLiteral("Skipped, no feed URL: No address")}));
}

TEST_F(Opml, AFailureHalfwayLeavesTheListAsItWas)
{
    list.add(QStringLiteral("Mine"), 5, QStringLiteral("https://mine.example.org/feed"));
    list.db.Execute(QStringLiteral("create trigger refuse before insert on [rss] when new.[name] like 'The %' "
                                   "begin select raise(abort, 'disk full'); end"));
    const std::vector<Row> before = list.rows();
    const std::vector<OpmlFeed> feeds = ReadOpml(sample("subscriptions-nested.opml")).feeds;
    EXPECT_THROW(ImportFeeds(list.db, feeds, folder), RuntimeError);
    EXPECT_EQ(list.rows(), before);

    // Nothing is left half open: the next import runs and commits.
    list.db.Execute(QStringLiteral("drop trigger refuse"));
    EXPECT_EQ(ImportFeeds(list.db, feeds, folder).filter(QStringLiteral("Added")).size(), 5);
    EXPECT_EQ(list.rows().size(), 6u);
}

TEST_F(Opml, ExportsTheListInItsOrderAndImportsIntoAFreshListUnchanged)
{
    list.add(QStringLiteral("Daily <Digest>"), 1440, QStringLiteral("https://d.example.org/?a=1&b=2"));
    list.add(QStringLiteral("Rock 'n' Roll & \"Blues\""), 5, QStringLiteral("https://r.example.org/feed"));
    list.add(QStringLiteral("Ångström"), 30, QStringLiteral("https://a.example.de/feed"));
    const QByteArray exported = ExportOpml(list.db);
    EXPECT_TRUE(exported.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">"));
    EXPECT_TRUE(exported.contains("<outline type=\"rss\" text=\"Rock 'n' Roll &amp; &quot;Blues&quot;\" "
                                  "title=\"Rock 'n' Roll &amp; &quot;Blues&quot;\" "
                                  "xmlUrl=\"https://r.example.org/feed\" />"))
        << exported.constData();

    FeedDatabase fresh(home.path() + QStringLiteral("/fresh.mdb"));
    const OpmlReading reading = ReadOpml(exported);
    ASSERT_EQ(reading.error, QString());
    EXPECT_EQ(ImportFeeds(fresh.db, reading.feeds, folder),
              QStringList({QStringLiteral("Added: Rock 'n' Roll & \"Blues\""), QStringLiteral("Added: Ångström"),
                           QStringLiteral("Added: Daily <Digest>")}));
    for (const OpmlFeed &feed : reading.feeds)
        EXPECT_EQ(feed.title, feed.text);
    EXPECT_EQ(ExportOpml(fresh.db), exported);
}

} // namespace
} // namespace tidewell
