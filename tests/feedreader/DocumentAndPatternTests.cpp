#include "FeedTestSupport.h"

#include "DomDocument.h"
#include "NetworkRules.h"
#include "RegExp.h"
#include "ResponseDecoding.h"
#include "RuntimeError.h"

namespace tidewell::test {
namespace {

// The document: whole or nothing.

class NotWellFormed : public ::testing::TestWithParam<const char *>
{
};

TEST_P(NotWellFormed, LeavesTheDocumentEmpty)
{
    DomDocument document;
    ASSERT_TRUE(document.loadXML(QStringLiteral("<rss><channel><item/></channel></rss>")));
    EXPECT_FALSE(document.loadXML(QString::fromUtf8(GetParam())));
    EXPECT_FALSE(document.hasContent());
    EXPECT_TRUE(document.xml().isEmpty());
    // pugixml keeps the part it read before an error; none of it may show.
    EXPECT_TRUE(document.selectNodes(QStringLiteral("//item")).empty());
}

INSTANTIATE_TEST_SUITE_P(Document, NotWellFormed,
                         ::testing::Values("", "   ", "<rss><channel><item>", "<rss><item></rss>",
                                           "<item/><item/>", "<rss/>text", "text<rss/>",
                                           "<!doctype rss><rss/>", "<rss><!DOCTYPE x></rss>",
                                           "<?xml version='1.0'?>"));

TEST(Document, StringValueJoinsAllDescendantTextIncludingCdata)
{
    DomDocument document;
    ASSERT_TRUE(document.loadXML(
        QStringLiteral("<d>one <b>two</b><![CDATA[ <three> ]]><!-- not text -->four<e><f>five</f></e></d>")));
    EXPECT_EQ(document.selectSingleNode(QStringLiteral("/d")).nodeTypedValue(), u"one two <three> fourfive");
    EXPECT_EQ(document.selectSingleNode(QStringLiteral("/d/b")).xml(), u"<b>two</b>");
}

TEST(Document, AttributeValueIsDecodedAndItsMarkUpEscaped)
{
    DomDocument document;
    ASSERT_TRUE(document.loadXML(QStringLiteral("<e url=\"a.mp3?b=1&amp;c=&quot;2&quot;\"/>")));
    const DomNode url = document.selectSingleNode(QStringLiteral("/e/@url"));
    EXPECT_EQ(url.nodeTypedValue(), u"a.mp3?b=1&c=\"2\"");
    EXPECT_EQ(url.xml(), u"url=\"a.mp3?b=1&amp;c=&quot;2&quot;\"");
}

TEST(Document, NamesMatchAsWrittenWhateverTheNamespaces)
{
    DomDocument document;
    ASSERT_TRUE(document.loadXML(
        QStringLiteral("<rdf:RDF xmlns:rdf='r' xmlns='p'><item><title>x</title></item><item/></rdf:RDF>")));
    EXPECT_EQ(document.selectNodes(QStringLiteral("/rdf:RDF/item")).size(), 2u);
    EXPECT_TRUE(document.selectSingleNode(QStringLiteral("/RDF/item")).isNull());
    EXPECT_TRUE(document.selectSingleNode(QStringLiteral("/rdf:rdf/item")).isNull());
    const DomNode item = document.selectSingleNode(QStringLiteral("/rdf:RDF/item"));
    EXPECT_EQ(item.selectSingleNode(QStringLiteral("title")).nodeTypedValue(), u"x");
}

// Paths of plain names are walked rather than evaluated; they must find
// what the query finds, in the same order, from any context.
TEST(Document, PlainPathsFindWhatTheQueryFinds)
{
    DomDocument document;
    ASSERT_TRUE(document.loadXML(QStringLiteral(
        "<rss><channel><item>1</item><title>t</title><x><item>no</item></x><item a='v'>2</item></channel>"
        "<item>no</item><channel><item>3</item></channel></rss>")));
    const auto texts = [](const std::vector<DomNode> &nodes) {
        QStringList found;
        for (const DomNode &node : nodes)
            found << node.nodeTypedValue();
        return found;
    };
    const DomNode channel = document.selectSingleNode(QStringLiteral("/rss/channel"));
    const DomNode attribute = document.selectSingleNode(QStringLiteral("/rss/channel/item/@a"));
    ASSERT_FALSE(attribute.isNull());
    for (const char *path : {"/rss/channel/item", "/rss/item", "/rss", "/channel", "item", "channel/item", "title"}) {
        const QString plain = QString::fromLatin1(path);
        QString query = plain;
        query.replace(QStringLiteral("/"), QStringLiteral("/child::"));
        if (!query.startsWith(u'/'))
            query.prepend(QStringLiteral("child::"));
        SCOPED_TRACE(path);
        EXPECT_EQ(texts(document.selectNodes(plain)), texts(document.selectNodes(query)));
        EXPECT_EQ(texts(channel.selectNodes(plain)), texts(channel.selectNodes(query)));
        EXPECT_EQ(texts(attribute.selectNodes(plain)), texts(attribute.selectNodes(query)));
        EXPECT_EQ(channel.selectSingleNode(plain).nodeTypedValue(), channel.selectSingleNode(query).nodeTypedValue());
    }
    EXPECT_EQ(texts(channel.selectNodes(QStringLiteral("/rss/channel/item"))), (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
}

TEST(Document, DeepNestingNeedsNoDeepStack)
{
    constexpr int depth = 200'000;
    const QString text = QStringLiteral("<a>").repeated(depth) + u'x' + QStringLiteral("</a>").repeated(depth);
    DomDocument document;
    ASSERT_TRUE(document.loadXML(text));
    EXPECT_EQ(document.selectSingleNode(QStringLiteral("/a")).nodeTypedValue(), u"x");
}

TEST(Document, MalformedPathRaisesARunTimeError)
{
    DomDocument document;
    ASSERT_TRUE(document.loadXML(QStringLiteral("<a/>")));
    EXPECT_THROW(document.selectNodes(QStringLiteral("/a[")), RuntimeError);
}

// The cleaning pattern, as CleanResponse sets the engine.

struct Cleaning
{
    QString input;
    QString expected;
};

class CleanResponsePattern : public ::testing::TestWithParam<Cleaning>
{
protected:
    static QString clean(const QString &text, bool ignoreCase = true, bool global = true)
    {
        RegExp engine;
        engine.setIgnoreCase(ignoreCase);
        engine.setGlobal(global);
        engine.setPattern(RegExp::DoctypeOrControlPattern.toString());
        return engine.Replace(text, QString());
    }
};

TEST_P(CleanResponsePattern, RemovesDeclarationsAndCharactersOutsideLatin1)
{
    EXPECT_EQ(clean(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, CleanResponsePattern,
    ::testing::Values(
        Cleaning{QStringLiteral("<!DOCTYPE rss><rss/>"), QStringLiteral("<rss/>")},
        Cleaning{QStringLiteral("<!doctype rss><rss/>"), QStringLiteral("<rss/>")},
        Cleaning{QStringLiteral("<!DocType rss\r\n  SYSTEM 'x'>\n<rss/>"), QStringLiteral("<rss/>")},
        Cleaning{QStringLiteral("<!DOCTYPE>"), QStringLiteral("<!DOCTYPE>")}, // needs a character before '>'
        Cleaning{QStringLiteral("<!DOCTYPE>>x"), QStringLiteral("x")},
        Cleaning{QStringLiteral("<!DOCTYPE a [<!ENTITY e 'x'>]><a/>"), QStringLiteral("]><a/>")},
        Cleaning{QStringLiteral("<!DOCTYPE a\n"), QStringLiteral("<!DOCTYPE a")}, // unclosed: only the break goes
        Cleaning{QStringLiteral("<!DOC\nTYPE a>"), QStringLiteral("<!DOCTYPE a>")}, // one pass over the original
        Cleaning{QStringLiteral("a\tb\r\nc\x01"), QStringLiteral("abc")},
        Cleaning{QString::fromUtf8("caf\xC3\xA9 \xC3\xBF\xC4\x80 \xE2\x82\xAC \xF0\x9F\x8E\xA7."),
                 QString::fromUtf8("caf\xC3\xA9 \xC3\xBF  .")}));

TEST_F(CleanResponsePattern, FollowsIgnoreCaseAndGlobal)
{
    EXPECT_EQ(clean(QStringLiteral("<!doctype a><a/>"), false), QStringLiteral("<!doctype a><a/>"));
    EXPECT_EQ(clean(QStringLiteral("a\nb\nc"), true, false), QStringLiteral("ab\nc"));
}

TEST_F(CleanResponsePattern, UnclosedDeclarationsTakeOnePass)
{
    const QString text = QStringLiteral("<!DOCTYPE").repeated(1'000'000);
    EXPECT_EQ(clean(text + u'\n'), text);
}

// The one-pass path over UTF-8 bytes must leave exactly what decoding and
// then cleaning leaves, down to bytes that do not decode.
class CleaningUtf8Bytes : public ::testing::TestWithParam<QByteArray>
{
};

TEST_P(CleaningUtf8Bytes, AgreesWithDecodingFirst)
{
    RegExp engine;
    engine.setIgnoreCase(true);
    engine.setGlobal(true);
    engine.setPattern(RegExp::DoctypeOrControlPattern.toString());
    const QString decodedFirst = engine.Replace(QString::fromUtf8(GetParam()), QString());
    EXPECT_EQ(engine.RemoveFromUtf8(GetParam()), decodedFirst.toUtf8());
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, CleaningUtf8Bytes,
    ::testing::Values(QByteArray("<!doctype x>\n<a>caf\xC3\xA9 \xC2\x80\xC3\xBF\xC4\x80</a>"),
                      QByteArray("<!DOC\xFFTYPE x><a/>"),           // a byte that does not decode breaks the keyword
                      QByteArray("<!DOCTYPE\xE2\x82><a/>"),         // a truncated sequence is the one character
                      QByteArray("\xE2\xC3\xA9\xC3\xC3\xA9\xC3"),  // leads without their continuations
                      QByteArray("\xF0\x80\xC3\xA9 \xED\xA0\x80 \xEF\xBB\xBFx"), // overlong, surrogate, BOM
                      QByteArray("a<!b<!DOCTYPE"), QByteArray("<!DOCTYPE>"), QByteArray(""),
                      // long plain runs, scanned sixteen bytes at a time, with removals between them
                      QByteArray("0123456789abcdef\n0123456789abcdef0123456789\tabcdef\xC3\xA9 0123456789abcdef"
                                 "0123<!x 456789abcdef\r\n<!DOCTYPE rss>0123456789abcdef0123456789abcdef\x01")));

TEST(Patterns, ReplacementIsTakenLiterallyAndOtherPatternsAreRefused)
{
    RegExp engine;
    engine.setGlobal(true);
    engine.setPattern(RegExp::TagPattern.toString());
    EXPECT_EQ(engine.Replace(QStringLiteral("a<b>c<d>e"), QStringLiteral("$1")), QStringLiteral("a$1c$1e"));
    engine.setPattern(QStringLiteral("a+"));
    try {
        engine.Replace(QStringLiteral("aaa"), QString());
        ADD_FAILURE() << "an unknown pattern must raise";
    } catch (const RuntimeError &error) {
        EXPECT_EQ(error.number(), errnum::InvalidProcedureCall);
    }
}

// Podcast links and what they stand for.

TEST(NetworkRules, PodcastLinksStandForTheirWebUrl)
{
    const std::pair<const char *, const char *> rows[] = {
        {"feed://example.org/rss", "http://example.org/rss"},
        {"feed:https://example.org/rss", "https://example.org/rss"},
        {"feed://https://example.org/rss", "https://example.org/rss"},
        {"Feed:HTTP://example.org/rss", "HTTP://example.org/rss"},
        {"itpc://example.org/rss?id=1", "http://example.org/rss?id=1"},
        {"pcast://example.org/rss", "http://example.org/rss"},
        {"https://example.org/rss", "https://example.org/rss"},
    };
    for (const auto &[link, expected] : rows) {
        const QUrl url = net::podcastUrl(QString::fromLatin1(link));
        EXPECT_EQ(url, QUrl(QString::fromLatin1(expected))) << link;
        EXPECT_TRUE(net::isFetchable(url)) << link;
    }
    EXPECT_FALSE(net::isFetchable(net::podcastUrl(QStringLiteral("feed:ftp://example.org/rss"))));
}

TEST(ResponseDecoding, Windows1252IsHowBrowsersReadLatin1Labels)
{
    // 0x93 and 0x94 are curly quotes in windows-1252, control codes in ISO-8859-1.
    EXPECT_EQ(decodeResponseText("\x93x\x94", "text/xml; charset=iso-8859-1"), QString::fromUtf8("\xE2\x80\x9Cx\xE2\x80\x9D"));
    EXPECT_EQ(decodeResponseText(QByteArray("\xFE\xFF\x00\x41", 4), "text/xml; charset=utf-8"), QStringLiteral("A"));
}

} // namespace
} // namespace tidewell::test
