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
    // Line breaks go before parsing, so the words on either side join.
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
    FeedReader reader;
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
    FeedReader reader;
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

// StripHTML: "<", at least one character, then up to the next ">".
class StripHtml : public ::testing::TestWithParam<std::pair<const char *, const char *>>
{
};

TEST_P(StripHtml, RemovesExactlyTheBracketedRuns)
{
    FeedReader reader;
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
    FeedReader reader;
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
