#include "FeedDatabase.h"
#include "OpmlExport.h"
#include "OpmlImport.h"
#include "RuntimeError.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
    explicit FeedDatabase(const QString &path) : path(path)
    {
        QFile::remove(path);
        if (!QFile::copy(QStringLiteral(TIDEWELL_BLANK_TEMPLATE), path))
            throw std::runtime_error("cannot copy the blank template");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        feeds.open(path);
    }

    void add(const QString &name, int minute, const QString &url)
    {
        feeds.insert({name, QString::number(minute), QStringLiteral("own.mp3"), QStringLiteral("/own/"), url, false});
    }

    // In the order they were added.
    std::vector<Row> rows() const
    {
        std::vector<FeedRecord> records = feeds.byName();
        std::sort(records.begin(), records.end(), [](const auto &a, const auto &b) { return a.row < b.row; });
        std::vector<Row> rows;
        for (const FeedRecord &feed : records)
            rows.push_back({feed.name.toText(), feed.minute.toInt16(), feed.filename.toText(), feed.folder.toText(),
                            feed.url.toText(), feed.active.toBool()});
        return rows;
    }

    const QString path;
    FeedStore feeds;
};

class Opml : public testing::Test
{
protected:
    QStringList import(const char *file)
    {
        const OpmlReading reading = ReadOpml(sample(file));
        EXPECT_EQ(reading.error, QString());
        return ImportFeeds(list.feeds, reading.feeds, folder);
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
        found.emplace_back(feed.text.isEmpty() ? feed.title : feed.text, feed.url);
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
    EXPECT_EQ(reading.feeds[0].url, QStringLiteral("http://a.test/"));
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
    EXPECT_EQ(rows[1], (Row{QStringLiteral("Rock 'n' Roll & Politics"), 61,
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

    const QStringList lines = ImportFeeds(list.feeds,
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
    test::runSql(list.path, QStringLiteral("create trigger refuse before insert on [rss] when new.[name] like 'The %' "
                                           "begin select raise(abort, 'disk full'); end"));
    const std::vector<Row> before = list.rows();
    const std::vector<OpmlFeed> feeds = ReadOpml(sample("subscriptions-nested.opml")).feeds;
    EXPECT_THROW(ImportFeeds(list.feeds, feeds, folder), RuntimeError);
    EXPECT_EQ(list.rows(), before);

    // Nothing is left half open: the next import runs and commits.
    test::runSql(list.path, QStringLiteral("drop trigger refuse"));
    EXPECT_EQ(ImportFeeds(list.feeds, feeds, folder).filter(QStringLiteral("Added")).size(), 5);
    EXPECT_EQ(list.rows().size(), 6u);
}

TEST_F(Opml, ExportsTheListInItsOrderAndImportsIntoAFreshListUnchanged)
{
    list.add(QStringLiteral("Daily <Digest>"), 1440, QStringLiteral("https://d.example.org/?a=1&b=2"));
    list.add(QStringLiteral("Rock 'n' Roll & \"Blues\""), 5, QStringLiteral("https://r.example.org/feed"));
    list.add(QStringLiteral("Ångström"), 30, QStringLiteral("https://a.example.de/feed"));
    const QByteArray exported = ExportOpml(list.feeds).document;
    EXPECT_TRUE(exported.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">"));
    EXPECT_TRUE(exported.contains("<outline type=\"rss\" text=\"Rock 'n' Roll &amp; &quot;Blues&quot;\" "
                                  "title=\"Rock 'n' Roll &amp; &quot;Blues&quot;\" "
                                  "xmlUrl=\"https://r.example.org/feed\" />"))
        << exported.constData();

    FeedDatabase fresh(home.path() + QStringLiteral("/fresh.mdb"));
    const OpmlReading reading = ReadOpml(exported);
    ASSERT_EQ(reading.error, QString());
    EXPECT_EQ(ImportFeeds(fresh.feeds, reading.feeds, folder),
              QStringList({QStringLiteral("Added: Rock 'n' Roll & \"Blues\""), QStringLiteral("Added: Ångström"),
                           QStringLiteral("Added: Daily <Digest>")}));
    for (const OpmlFeed &feed : reading.feeds)
        EXPECT_EQ(feed.title, feed.text);
    EXPECT_EQ(ExportOpml(fresh.feeds).document, exported);
}

TEST_F(Opml, NamesAFeedByItsTitleAndFindsItsAddressInXmlUrlOrUrl)
{
    EXPECT_EQ(import("subscriptions-title-and-text.opml"),
              QStringList({QStringLiteral("Added: Weekly News"), QStringLiteral("Added: 深夜ラジオ"),
                           QStringLiteral("Added: Blank Title, Named By Its Text")}));
    EXPECT_EQ(import("subscriptions-url-attribute.opml"),
              QStringList({QStringLiteral("Added: Garden Hour"), QStringLiteral("Added: Kitchen Table"),
                           QStringLiteral("Skipped, no feed URL: Only A Web Page")}));
    const std::vector<Row> rows = list.rows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (Row{QStringLiteral("Weekly News"), 60, QStringLiteral("Weekly News.mp3"), folder,
                            QStringLiteral("https://news.example.org/weekly.rss"), true}));
    EXPECT_EQ(rows[1].filename, QStringLiteral("深夜ラジオ.mp3"));
    EXPECT_EQ(rows[3].url, QStringLiteral("https://garden.example.org/rss"));
    EXPECT_EQ(rows[4].url, QStringLiteral("https://kitchen.example.org/feed.xml"));
}

TEST_F(Opml, GivesEachFeedTheFirstDownloadMinuteFrom60ThatNoFeedHas)
{
    list.add(QStringLiteral("Hourly"), 60, QStringLiteral("https://hourly.example.org/"));
    list.add(QStringLiteral("Odd"), 62, QStringLiteral("https://odd.example.org/"));
    list.add(QStringLiteral("Early"), 5, QStringLiteral("https://early.example.org/"));
    import("subscriptions-nested.opml");
    std::vector<qint64> minutes;
    for (const Row &row : list.rows())
        minutes.push_back(row.minute);
    // None twice: the editor refuses to save any feed while two share a minute.
    EXPECT_EQ(minutes, (std::vector<qint64>{60, 62, 5, 61, 63, 64, 65, 66}));
}

TEST_F(Opml, WhenEveryMinuteTheListCanHoldIsTakenTheFeedIsSkipped)
{
    test::runSql(list.path,
                 QStringLiteral("with recursive m(x) as (select 60 union all select x + 1 from m where x < 32766) "
                                "insert into [rss] select 'f' || x, x, 'f.mp3', '/f/', 'http://f.test/' || x, 1 "
                                "from m"));
    EXPECT_EQ(ImportFeeds(list.feeds,
                          {{QStringLiteral("Last"), QString(), QStringLiteral("http://last.test/")},
                           {QStringLiteral("Too Many"), QString(), QStringLiteral("http://more.test/")}},
                          folder),
              QStringList({QStringLiteral("Added: Last"),
                           QStringLiteral("Skipped, every download minute is taken: Too Many")}));
    EXPECT_EQ(list.rows().back().minute, 32767);
}

TEST_F(Opml, SkipsWhatCanNeverBeDownloadedAndCleansWhatWouldHarmTheListOrTheTerminal)
{
    EXPECT_EQ(import("subscriptions-hostile.opml"),
              QStringList({QStringLiteral("Skipped, not a web address: Script (javascript:alert(1))"),
                           QStringLiteral("Skipped, not a web address: Local File (file:///etc/passwd)"),
                           QStringLiteral("Skipped, not a web address: Inline (data:text/xml,<rss/>)"),
                           QStringLiteral("Skipped, not a web address: Old Server (ftp://ftp.example.org/feed.xml)"),
                           QStringLiteral("Skipped, not a web address: Relative (feeds/show.xml)"),
                           QStringLiteral("Skipped, no feed URL: No Address"),
                           QStringLiteral("Skipped, no name: https://nameless.example.org/rss"),
                           QStringLiteral("Added: Red[31m Alert Daily"), QStringLiteral("Added: Café Noir"),
                           QStringLiteral("Skipped, already in the list: CAFÉ NOIR"),
                           QStringLiteral("Added: Feed Scheme"),
                           QStringLiteral("Skipped, already in the list: Feed Scheme Again"),
                           QStringLiteral("Added: iTunes Link"), QStringLiteral("Added: Podcast Link")}));
    const std::vector<Row> rows = list.rows();
    ASSERT_EQ(rows.size(), 5u);
    // Composed, as typed on a keyboard: the name the editor's check finds.
    EXPECT_EQ(rows[1].name, QString::fromUtf8("Caf\xc3\xa9 Noir"));
    EXPECT_EQ(rows[2].url, QStringLiteral("feed://feeds.example.org/a.xml"));
    EXPECT_EQ(rows[4].url, QStringLiteral("PCAST://pcast.example.org/c.xml"));
}

TEST(FeedNames, AreCutAt100UnitsWhereACharacterEnds)
{
    EXPECT_EQ(CleanFeedName(QString(10000, QLatin1Char('x'))), QString(100, QLatin1Char('x')));
    const QString a99(99, QLatin1Char('a'));
    // A surrogate pair, and a letter with a mark that has no composed form,
    // standing across the limit go whole.
    EXPECT_EQ(CleanFeedName(a99 + QStringLiteral("😀b")), a99);
    EXPECT_EQ(CleanFeedName(a99 + QStringLiteral("q\u0307b")), a99);
    EXPECT_EQ(CleanFeedName(a99.left(98) + QStringLiteral("q\u0307b")), a99.left(98) + QStringLiteral("q\u0307"));
    // One character longer than the limit on its own keeps what fits.
    EXPECT_EQ(CleanFeedName(QLatin1Char('x') + QString(200, QChar(0x0301))),
              QLatin1Char('x') + QString(99, QChar(0x0301)));
    // A blank left at the cut goes too.
    EXPECT_EQ(CleanFeedName(a99 + QStringLiteral(" bc")), a99);

    EXPECT_EQ(CleanFeedName(QStringLiteral("  Tab\there\x1b[0m\u00a0\u00a0news\r\n ")),
              QStringLiteral("Tab here[0m news"));
    EXPECT_EQ(CleanFeedName(QStringLiteral("Not") + QChar(0xFFFE) + QChar(0xD800) + QStringLiteral("e\u0301")),
              QStringLiteral("Not\u00e9"));
}

TEST_F(Opml, KeepsEachFileNameUnder200BytesAndApartFromTheOtherFeedsInTheFolder)
{
    list.feeds.insert({QStringLiteral("Weather"), QStringLiteral("5"), QStringLiteral("News-Weather.mp3"), folder,
                       QStringLiteral("https://weather.example.org/"), true});
    const QString word(150, QChar(0x8A9E)); // three bytes each in UTF-8
    EXPECT_EQ(ImportFeeds(list.feeds,
                          {{QStringLiteral("News/Weather"), QString(), QStringLiteral("https://a.example.org/")},
                           {word, QString(), QStringLiteral("https://b.example.org/")},
                           {word.left(99) + QLatin1Char('X'), QString(), QStringLiteral("https://c.example.org/")}},
                          folder)
                  .filter(QStringLiteral("Added: "))
                  .size(),
              3);
    const std::vector<Row> rows = list.rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].filename, QStringLiteral("News-Weather (2).mp3"));
    EXPECT_EQ(rows[2].name, word.left(100));
    EXPECT_EQ(rows[2].filename, word.left(65) + QStringLiteral(".mp3"));
    EXPECT_EQ(rows[3].filename, word.left(63) + QStringLiteral(" (2).mp3"));
    std::set<QString> files;
    for (const Row &row : rows) {
        EXPECT_LT(row.filename.toUtf8().size(), 200) << row;
        EXPECT_TRUE(files.insert(row.folder + row.filename).second) << row;
    }
}

TEST(OpmlFile, RefusesADeviceAFolderAndAFileOver16MiBAtOnce)
{
    test::TemporaryHome home;
    const QString large = home.path() + QStringLiteral("/large.opml");
    {
        QFile file(large);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(17 * 1024 * 1024));
    }
    const QString fifo = home.path() + QStringLiteral("/nobody-writes");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    const std::pair<QString, QString> refusals[] = {
        {QStringLiteral("/dev/zero"), QStringLiteral("Cannot read /dev/zero: it is a device, not a file.")},
        {home.path(), QStringLiteral("Cannot read %1: it is a folder.").arg(home.path())},
        {large, QStringLiteral("Cannot read %1: the file is larger than 16 MiB.").arg(large)},
        // Not waited for: a named pipe without a writer is read as empty.
        {fifo, QStringLiteral("%1 is not an OPML file: it is not well-formed XML").arg(fifo)},
        {home.path() + QStringLiteral("/none"), QStringLiteral("No such file or directory")},
    };
    for (const auto &[path, error] : refusals) {
        const OpmlReading reading = ReadOpmlFile(path);
        EXPECT_TRUE(reading.error.contains(error)) << reading.error.toStdString();
        EXPECT_TRUE(reading.error.endsWith(QStringLiteral("Nothing was added."))) << reading.error.toStdString();
        EXPECT_TRUE(reading.feeds.empty());
    }
}

TEST(OpmlFile, ReadsAPipeToItsEndButNoFurtherThan16MiB)
{
    int small[2];
    ASSERT_EQ(::pipe(small), 0);
    const QByteArray opml = sample("subscriptions-flat.opml");
    ASSERT_EQ(::write(small[1], opml.constData(), size_t(opml.size())), opml.size());
    ::close(small[1]);
    EXPECT_EQ(ReadOpmlFile(QStringLiteral("/dev/fd/%1").arg(small[0])).feeds.size(), 4u);
    ::close(small[0]);

    int endless[2];
    ASSERT_EQ(::pipe(endless), 0);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    std::thread writer([fd = endless[1]] {
        const QByteArray block(64 * 1024, ' ');
        for (int written = 0; written < 17 * 16; ++written) {
            if (::write(fd, block.constData(), size_t(block.size())) < 0)
                break;
        }
        ::close(fd);
    });
    const OpmlReading reading = ReadOpmlFile(QStringLiteral("/dev/fd/%1").arg(endless[0]));
    ::close(endless[0]);
    writer.join();
    std::signal(SIGPIPE, previous);
    EXPECT_TRUE(reading.error.contains(QStringLiteral("the file is larger than 16 MiB")))
        << reading.error.toStdString();
}

TEST_F(Opml, ExportLeavesOutWhatXmlForbidsAndSaysWhichFeedChanged)
{
    list.add(QStringLiteral("Bell\aand\x1b[31mEscape"), 5, QStringLiteral("https://e.example.org/?q=\x01"));
    list.add(QStringLiteral("Not") + QChar(0xFFFE) + QStringLiteral(" a character"), 6,
             QStringLiteral("https://f.example.org/"));
    list.add(QStringLiteral("Clean"), 7, QStringLiteral("https://c.example.org/\x7f"));
    const OpmlExport exported = ExportOpml(list.feeds);

    QXmlStreamReader xml(exported.document);
    QStringList names;
    QStringList urls;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QStringLiteral("outline")) {
            names << xml.attributes().value(QStringLiteral("text")).toString();
            urls << xml.attributes().value(QStringLiteral("xmlUrl")).toString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(names, QStringList({QStringLiteral("Belland[31mEscape"), QStringLiteral("Not a character"),
                                  QStringLiteral("Clean")}));
    // DEL is a control character XML allows, and the URL keeps it.
    EXPECT_EQ(urls, QStringList({QStringLiteral("https://e.example.org/?q="), QStringLiteral("https://f.example.org/"),
                                 QStringLiteral("https://c.example.org/\x7f")}));
    EXPECT_EQ(exported.changes,
              QStringList({QStringLiteral("Feed \"Belland[31mEscape\": characters XML does not allow were left out "
                                          "of its name and URL."),
                           QStringLiteral("Feed \"Not a character\": characters XML does not allow were left out of "
                                          "its name.")}));
}

} // namespace
} // namespace tidewell
