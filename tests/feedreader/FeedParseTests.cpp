#include "FeedTestSupport.h"

namespace tidewell::test {
namespace {

using Reply = LoopbackServer::Reply;

struct Format
{
    const char *sample;
    int type;
    const char *typeName;
};

// The three samples carry the same two episodes, each in its own format's
// way: an enclosure, a direct link, a link without rel.
class EachFormat : public FeedReaderTest, public ::testing::WithParamInterface<Format>
{
};

TEST_P(EachFormat, IsDetectedAndReadInDocumentOrder)
{
    EXPECT_TRUE(readSample(GetParam().sample));
    EXPECT_EQ(lType, GetParam().type);
    EXPECT_EQ(reader.FeedType(), GetParam().type);
    EXPECT_EQ(reader.FeedTypeString(), QLatin1String(GetParam().typeName));
    ASSERT_EQ(items().size(), 2u);
    EXPECT_EQ(items()[0].url(), u"https://media.example.org/tides.mp3");
    EXPECT_EQ(items()[0].Title(), u"Tides and Currents");
    EXPECT_EQ(items()[0].Description(), u"<p>Hello <b>listener</b></p>");
    EXPECT_EQ(items()[1].url(), u"https://media.example.org/harbour.mp3");
    // A line break written in text is no part of its value: the words on
    // either side join.
    EXPECT_EQ(items()[1].Title(), u"HarbourLights");
}

TEST_P(EachFormat, DescriptionsLoseTheirMarkUpWhenHtmlIsNotAllowed)
{
    EXPECT_TRUE(readSample(GetParam().sample, false));
    ASSERT_EQ(items().size(), 2u);
    EXPECT_EQ(items()[0].Description(), u"Hello listener");
    EXPECT_EQ(items()[1].Description(), u"Night on the quay");
}

TEST_P(EachFormat, ForcedTypeGivesTheSameItems)
{
    lType = GetParam().type;
    EXPECT_TRUE(readSample(GetParam().sample));
    EXPECT_EQ(items().size(), 2u);
}

TEST_P(EachFormat, IsParsedButRefusedWhenServedWithAnErrorStatus)
{
    server.serve("/feed.xml", Reply::withStatus(500, sampleFeed(GetParam().sample), "application/xml"));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.FeedType(), GetParam().type);
    EXPECT_EQ(items().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(FeedParse, EachFormat,
                         ::testing::Values(Format{"rss.xml", 1, "RSS"}, Format{"rdf.xml", 2, "RDF"},
                                           Format{"atom.xml", 3, "Atom"}),
                         [](const auto &info) { return std::string(info.param.typeName); });

TEST(FeedParse, ChannelWithoutItemsIsNotRecognised)
{
    LoopbackServer server;
    server.serve("/feed.xml", Reply::ok(sampleFeed("empty-channel.xml")));
    Network network;
    FeedReader reader(network);
    int type = 0;
    EXPECT_FALSE(reader.ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, type, true));
    EXPECT_EQ(type, 0);
    EXPECT_EQ(reader.FeedTypeString(), u"Unknown / None");
    EXPECT_TRUE(itemsOf(reader).empty());
}

TEST(FeedParse, LowerCaseDocumentTypeIsRemovedBeforeLoading)
{
    LoopbackServer server;
    server.serve("/feed.xml", Reply::ok(sampleFeed("lowercase-doctype.xml")));
    Network network;
    FeedReader reader(network);
    int type = 0;
    EXPECT_TRUE(reader.ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, type, true));
    ASSERT_EQ(itemsOf(reader).size(), 1u);
    EXPECT_EQ(itemsOf(reader)[0].url(), u"https://media.example.org/tides.mp3");
}

// Which URL an item yields, one row per item of the sample.
struct ItemUrl
{
    std::size_t index;
    const char *url;
};

void PrintTo(const ItemUrl &row, std::ostream *out)
{
    *out << "item " << row.index;
}

class ItemUrls : public FeedReaderTest
{
protected:
    QString urlOf(const char *sample, std::size_t index)
    {
        EXPECT_TRUE(readSample(sample));
        return index < items().size() ? items()[index].url() : QStringLiteral("<no such item>");
    }
};

class RssEnclosure : public ItemUrls, public ::testing::WithParamInterface<ItemUrl>
{
};

TEST_P(RssEnclosure, GivesTheUrlAsTheParserDecodedIt)
{
    EXPECT_EQ(urlOf("enclosures.xml", GetParam().index), QString::fromUtf8(GetParam().url));
}

INSTANTIATE_TEST_SUITE_P(
    FeedParse, RssEnclosure,
    ::testing::Values(ItemUrl{0, "https://media.example.org/a.mp3"},            // url written first
                      ItemUrl{1, "https://media.example.org/b.mp3"},            // url written last
                      ItemUrl{2, "https://media.example.org/c.mp3?source=feed&id=7"},
                      ItemUrl{3, "https://media.example.org/d.m4a"},            // whatever the file type
                      ItemUrl{4, "https://example.org/e"},                      // none: the link stays
                      ItemUrl{5, "https://media.example.org/f.MP3"},            // link first when it is an mp3
                      ItemUrl{6, "https://media.example.org/g.mp3"},            // trimmed
                      ItemUrl{7, "https://example.org/h"},                      // empty url: trimmed link
                      ItemUrl{8, "https://media.example.org/i.ogg"}));          // no link at all

class AtomLink : public ItemUrls, public ::testing::WithParamInterface<ItemUrl>
{
};

TEST_P(AtomLink, FollowsRelAsRfc4287Reads)
{
    EXPECT_EQ(urlOf("atom-links.xml", GetParam().index), QString::fromUtf8(GetParam().url));
}

INSTANTIATE_TEST_SUITE_P(FeedParse, AtomLink,
                         ::testing::Values(ItemUrl{0, "https://example.org/a"},            // rel="alternate"
                                           ItemUrl{1, "https://example.org/b"},            // no rel
                                           ItemUrl{2, "https://media.example.org/c.m4a"},  // rel="enclosure"
                                           ItemUrl{3, "https://media.example.org/d.mp3"},  // alternate is an mp3
                                           ItemUrl{4, "https://media.example.org/e.mp3"},  // enclosure only
                                           ItemUrl{5, ""}));                               // neither

// The episode an item names.
struct Episode
{
    const char *sample;
    std::size_t index;
    const char *url;
};

void PrintTo(const Episode &row, std::ostream *out)
{
    *out << row.sample << " item " << row.index;
}

class EpisodeOfItem : public FeedReaderTest, public ::testing::WithParamInterface<Episode>
{
};

TEST_P(EpisodeOfItem, IsTheMediaFileTheItemOffers)
{
    ASSERT_TRUE(readSample(GetParam().sample));
    ASSERT_LT(GetParam().index, items().size());
    const FeedItem &item = items()[GetParam().index];
    EXPECT_EQ(item.url(), QString::fromUtf8(GetParam().url));
}

INSTANTIATE_TEST_SUITE_P(
    Enclosures, EpisodeOfItem,
    ::testing::Values(Episode{"episode-choice.xml", 0, "https://media.example.org/a.m4a"},
                      Episode{"episode-choice.xml", 1, "https://media.example.org/b.mp3"},
                      Episode{"episode-choice.xml", 2, "https://media.example.org/c.mp3"},
                      Episode{"episode-choice.xml", 3, "https://media.example.org/d.m4v"},
                      Episode{"episode-choice.xml", 4, "https://example.org/e"}, // documents: the link
                      Episode{"episode-choice.xml", 5, "https://media.example.org/stream/f"},
                      Episode{"episode-choice.xml", 6, "https://example.org/g"},
                      Episode{"episode-choice.xml", 7, "https://media.example.org/h.Mp3"},
                      Episode{"episode-choice.xml", 8, "https://media.example.org/i.xml"},
                      Episode{"episode-choice.xml", 9, "https://example.org/j"},  // a cover: the link
                      Episode{"episode-choice.xml", 10, ""},                      // a cover: nothing
                      Episode{"episode-choice.xml", 11, "https://media.example.org/l"},
                      Episode{"episode-choice.xml", 12, "https://media.example.org/m.bin"},
                      Episode{"episode-choice.xml", 13, "https://example.org/n"},
                      Episode{"enclosures.xml", 2, "https://media.example.org/c.mp3?source=feed&id=7"},
                      Episode{"enclosures.xml", 4, "https://example.org/e"},
                      Episode{"enclosures.xml", 8, "https://media.example.org/i.ogg"}));

INSTANTIATE_TEST_SUITE_P(
    MediaRss, EpisodeOfItem,
    ::testing::Values(Episode{"media-rss.xml", 0, "https://media.example.org/m0.mp3"},
                      Episode{"media-rss.xml", 1, "https://media.example.org/m1-low.m4a"},
                      Episode{"media-rss.xml", 2, "https://media.example.org/m2.m4a"},
                      Episode{"media-rss.xml", 3, "https://example.org/m3"},
                      Episode{"media-rss.xml", 4, "https://media.example.org/m4.webm"},
                      Episode{"media-rss.xml", 5, "https://example.org/m5"},
                      Episode{"media-rss.xml", 6, "https://example.org/m6"},
                      Episode{"atom-links.xml", 7, "https://media.example.org/h.mp4"}));

INSTANTIATE_TEST_SUITE_P(
    AtomLinks, EpisodeOfItem,
    ::testing::Values(Episode{"atom-links.xml", 1, "https://example.org/b"},
                      Episode{"atom-links.xml", 2, "https://media.example.org/c.m4a"},
                      Episode{"atom-links.xml", 4, "https://media.example.org/e.mp3"},
                      Episode{"atom-links.xml", 6, "https://media.example.org/g.m4a"},
                      // a link without rel is the alternate, but never in place of media
                      Episode{"atom-links.xml", 8, "https://media.example.org/i.mp3"},
                      Episode{"atom-links.xml", 9, "https://example.org/j"}));

// Relative links and enclosures name files on the server the feed came
// from, in the folder it came from: after redirects, where it was found.
class FeedParseOnServer : public FeedReaderTest
{
};

TEST_F(FeedParseOnServer, RelativeUrlsAreReadAgainstWhereTheFeedWasFound)
{
    server.serve("/shows/harbour/feed.xml", Reply::ok(sampleFeed("relative-urls.xml")));
    server.serve("/old/feed.xml", Reply::redirect(301, server.url(QStringLiteral("/shows/harbour/feed.xml")).toUtf8()));
    const auto here = [this](const char *file) { return server.url(QStringLiteral("/shows/harbour/") + QLatin1String(file)); };
    const std::vector<QString> expected = {
        here("episodes/r0.mp3"),
        server.url(QStringLiteral("/media/r1.mp3")),
        server.url(QStringLiteral("/shows/pages/r2")),
        QStringLiteral("http://cdn.example.org/r3.mp3"),
        QStringLiteral("https://Media.Example.org/a%20b/r4.mp3"), // absolute: kept as written
        here("episodes/my r5.mp3?a=1&b=2"), // for reading; QUrl encodes it to request it
        QString(), // nothing to resolve stays nothing, not the feed's own address
        here("r7.MP3"),
    };
    for (const QByteArray &path : {QByteArrayLiteral("/shows/harbour/feed.xml"), QByteArrayLiteral("/old/feed.xml")}) {
        SCOPED_TRACE(path.constData());
        ASSERT_TRUE(read(path));
        ASSERT_EQ(items().size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(items()[i].url(), expected[i]) << "item " << i;
        }
        EXPECT_EQ(QUrl(items()[5].url()).toEncoded(), here("episodes/my%20r5.mp3?a=1&b=2").toUtf8());
    }
}

// Letters beyond ASCII, in addresses and titles, reach the item as written;
// QUrl turns an address into what a request sends (IDNA for the host, UTF-8
// percent-encoded path and query).
TEST_F(FeedParseOnServer, AddressesAndTitlesKeepEveryLetter)
{
    server.serve("/shows/feed.xml", Reply::ok(sampleFeed("iri.xml"), "application/rss+xml; charset=utf-8"));
    ASSERT_TRUE(read("/shows/feed.xml"));
    ASSERT_EQ(items().size(), 3u);
    const struct
    {
        QString url;
        QByteArray encoded;
        const char *title;
    } expected[] = {
        {server.url(QString::fromUtf8("/shows/\xE3\x82\xA8\xE3\x83\x94\xE3\x82\xBD\xE3\x83\xBC\xE3\x83\x89 1.mp3")),
         server.url(QStringLiteral("/shows/%E3%82%A8%E3%83%94%E3%82%BD%E3%83%BC%E3%83%89%201.mp3")).toUtf8(),
         "\xE6\xBD\xAE\xE3\x81\xA8\xE6\xB5\xB7\xE6\xB5\x81 \xE7\xAC\xAC" "1\xE5\x9B\x9E"},
        {QString::fromUtf8("https://\xE4\xBE\x8B\xE3\x81\x88.jp/\xE7\x95\xAA\xE7\xB5\x84/"
                           "\xE3\x82\xA8\xE3\x83\x94\xE3\x82\xBD\xE3\x83\xBC\xE3\x83\x89 2.mp3?"
                           "\xE5\x9B\x9E=2&q=a b"),
         "https://xn--r8jz45g.jp/%E7%95%AA%E7%B5%84/%E3%82%A8%E3%83%94%E3%82%BD%E3%83%BC%E3%83%89%202.mp3?"
         "%E5%9B%9E=2&q=a%20b",
         "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC \xC2\xB7 "
         "\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9 \xC2\xB7 \xF0\x9F\x8E\xA7"},
        {server.url(QString::fromUtf8("/\xE9\x9F\xB3\xE5\xA3\xB0/ep 3.m4a")),
         server.url(QStringLiteral("/%E9%9F%B3%E5%A3%B0/ep%203.m4a")).toUtf8(), "a relative link with an escape in it"},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items()[i].url(), expected[i].url);
        EXPECT_EQ(QUrl(items()[i].url()).toEncoded(), expected[i].encoded);
        EXPECT_EQ(items()[i].Title(), QString::fromUtf8(expected[i].title));
    }
}

// Namespace declarations on lines of their own, attributes one per line
// with tabs before them, an enclosure URL and a title across lines: the
// tags read as written, the values come out whole, as LF or CR LF.
class WhiteSpaceInTags : public FeedReaderTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(WhiteSpaceInTags, AreReadAsWrittenAndValuesComeOutWhole)
{
    const QByteArray feed = sampleFeed("whitespace-in-tags.xml").replace("\n", GetParam());
    server.serve("/feed.xml", Reply::ok(feed));
    ASSERT_TRUE(read("/feed.xml"));
    EXPECT_EQ(reader.FeedTypeString(), u"RSS");
    ASSERT_EQ(items().size(), 2u);
    EXPECT_EQ(items()[0].url(), u"https://media.example.org/tides.mp3");
    EXPECT_EQ(items()[0].Title(), u"Tides andCurrents");
    EXPECT_EQ(items()[1].url(), u"https://media.example.org/harbour.m4a");
    EXPECT_EQ(items()[1].Title(), u"HarbourLights");
}

INSTANTIATE_TEST_SUITE_P(FeedParse, WhiteSpaceInTags, ::testing::Values("\n", "\r\n"));

// Items read their fields when asked: the document must stay theirs after
// the reader is gone or has read another feed.
TEST(FeedParse, ItemsOutliveTheReaderAndItsNextRead)
{
    LoopbackServer server;
    server.serve("/rss.xml", Reply::ok(sampleFeed("rss.xml")));
    server.serve("/atom.xml", Reply::ok(sampleFeed("atom.xml")));
    std::shared_ptr<const FeedItemCollection> first;
    std::shared_ptr<const FeedItemCollection> second;
    {
        Network network;
        FeedReader reader(network);
        int type = 0;
        ASSERT_TRUE(reader.ReadFeed(server.url(QStringLiteral("/rss.xml")), {}, {}, type, false));
        first = reader.FeedItems();
        type = 0;
        ASSERT_TRUE(reader.ReadFeed(server.url(QStringLiteral("/atom.xml")), {}, {}, type, true));
        second = reader.FeedItems();
    }
    ASSERT_EQ(first->size(), 2u);
    EXPECT_EQ((*first)[1].Description(), u"Night on the quay");
    EXPECT_EQ((*first)[1].url(), u"https://media.example.org/harbour.mp3");
    ASSERT_EQ(second->size(), 2u);
    EXPECT_EQ((*second)[0].Description(), u"<p>Hello <b>listener</b></p>");
    EXPECT_EQ((*second)[0].Title(), u"Tides and Currents");
}

// StripHTML: "<", at least one character, then up to the next ">".
class StripHtml : public ::testing::TestWithParam<std::pair<const char *, const char *>>
{
};

TEST_P(StripHtml, RemovesExactlyTheBracketedRuns)
{
    Network network;
    FeedReader reader(network);
    EXPECT_EQ(reader.StripHTML(QString::fromUtf8(GetParam().first)), QString::fromUtf8(GetParam().second));
}

INSTANTIATE_TEST_SUITE_P(
    FeedParse, StripHtml,
    ::testing::Values(std::pair{"", ""}, std::pair{"<>", "<>"}, std::pair{"a<>b", "a<>b"},
                      std::pair{"<>>", ""}, std::pair{"a<br>b", "ab"}, std::pair{"a<br/>b", "ab"},
                      std::pair{"<p>Hello <b>listener</b></p>", "Hello listener"},
                      std::pair{"<a\nhref='x'\n>link</a>", "link"}, std::pair{"1 < 2 and 3 > 2", "1  2"},
                      std::pair{"<<b>>", ">"}, std::pair{"x<", "x<"}, std::pair{"a < b", "a < b"},
                      std::pair{"&lt;b&gt;", "&lt;b&gt;"},
                      std::pair{"caf\xC3\xA9<i>cr\xC3\xA8me</i>", "caf\xC3\xA9" "cr\xC3\xA8me"}));

// The long spans a backtracking engine takes quadratic time over: a single
// unclosed "<" that every later "<" also fails to close. At these sizes a
// quadratic pass would not finish within the suite's time limit.
TEST(FeedParse, FiveMegabyteDescriptionInOneTagIsHandledInOnePass)
{
    constexpr int repeats = 1'000'000;
    QByteArray description;
    description.reserve(repeats * 5);
    for (int i = 0; i < repeats; ++i)
        description += "&lt;p";
    const QByteArray feed = "<rss><channel><item><title>Long</title><description>" + description +
                            "</description></item></channel></rss>";
    LoopbackServer server;
    server.serve("/feed.xml", Reply::ok(feed));
    Network network;
    FeedReader reader(network);
    int type = 0;
    ASSERT_TRUE(reader.ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, type, false));
    ASSERT_EQ(itemsOf(reader).size(), 1u);
    const QString &text = itemsOf(reader)[0].Description();
    EXPECT_EQ(text.size(), 2 * repeats);
    EXPECT_TRUE(text.startsWith(u"<p<p"));

    // The same length of real mark-up is stripped to its words.
    const QString tagged = QStringLiteral("<p>word</p>").repeated(500'000);
    EXPECT_EQ(reader.StripHTML(tagged), QStringLiteral("word").repeated(500'000));
}

} // namespace
} // namespace tidewell::test
