#include "FeedTestSupport.h"

#include "DomDocument.h"
#include "NetworkRules.h"
#include "RegExp.h"
#include "ResponseCleaning.h"
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

// Where a document that does not load went wrong, in the text it was given.
struct Fault
{
    const char *text;
    qsizetype offset;
    const char *description;
};

class DocumentFault : public ::testing::TestWithParam<Fault>
{
};

TEST_P(DocumentFault, IsReportedWithItsPlace)
{
    DomDocument document;
    ASSERT_FALSE(document.loadUtf8(GetParam().text));
    ASSERT_TRUE(document.parseError().has_value());
    EXPECT_EQ(document.parseError()->offset, GetParam().offset);
    EXPECT_EQ(document.parseError()->description, QLatin1String(GetParam().description));
    EXPECT_TRUE(document.loadUtf8("<rss/>"));
    EXPECT_FALSE(document.parseError().has_value());
    EXPECT_EQ(document.rootElementName(), u"rss");
}

INSTANTIATE_TEST_SUITE_P(Document, DocumentFault,
                         ::testing::Values(Fault{"", 0, "No document element found"},
                                           Fault{"<!-- only -->", 13, "No document element found"},
                                           Fault{"<rss/>text", 6, "Text outside the root element"},
                                           Fault{"<a/>\n<b/>", 6, "More than one root element"},
                                           Fault{"<rss><channel></rss>", 16, "Start-end tags mismatch"}));

// The cleaning: what the document is loaded from.

struct Cleaning
{
    QByteArray input;
    QByteArray expected;
};

void PrintTo(const Cleaning &row, std::ostream *out)
{
    *out << '"' << row.input.toStdString() << '"';
}

class CleanResponse : public ::testing::TestWithParam<Cleaning>
{
};

TEST_P(CleanResponse, KeepsTheShapeOfTheDocument)
{
    EXPECT_EQ(cleanResponse(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    DocumentType, CleanResponse,
    ::testing::Values(Cleaning{"<!DOCTYPE rss><rss/>", "<rss/>"}, Cleaning{"<!doctype rss><rss/>", "<rss/>"},
                      Cleaning{"<!DocType rss\r\n  SYSTEM 'x'>\n<rss/>", "<rss/>"},
                      Cleaning{"<!DOCTYPE>", "<!DOCTYPE>"}, // needs a character before '>'
                      Cleaning{"<!DOCTYPE>>x", "x"},
                      Cleaning{"<!DOCTYPE a [<!ENTITY e 'x'>]><a/>", "]><a/>"},
                      // unclosed: it stays, as a tag that never ends
                      Cleaning{"<!DOCTYPE a\n", "<!DOCTYPE a\n"},
                      // inside a CDATA section it is text, not a declaration
                      Cleaning{"<d><![CDATA[<!DOCTYPE html>]]></d>", "<d><![CDATA[<!DOCTYPE html>]]></d>"}));

INSTANTIATE_TEST_SUITE_P(
    WhiteSpace, CleanResponse,
    ::testing::Values(
        // between the parts of a tag, tab, CR and LF stay
        Cleaning{"<rss\n\tversion=\"2.0\"\r\n\txmlns:itunes=\"i\">\n<channel/>\n</rss>",
                 "<rss\n\tversion=\"2.0\"\r\n\txmlns:itunes=\"i\"><channel/></rss>"},
        Cleaning{"<?xml version='1.0'\nencoding='UTF-8'?>\n<rss/>", "<?xml version='1.0'\nencoding='UTF-8'?><rss/>"},
        Cleaning{"</rss\n>", "</rss\n>"},
        // in text and in values they go, so nothing written across lines is cut
        Cleaning{"<t>a\tb\r\nc</t>", "<t>abc</t>"},
        Cleaning{"<e url=\"https://a/\r\nb.mp3\"\n/>", "<e url=\"https://a/b.mp3\"\n/>"},
        Cleaning{"<d><![CDATA[x\n<b>y</b>\n]]></d>", "<d><![CDATA[x<b>y</b>]]></d>"},
        // a '>' or the other quotation mark inside a value does not end it
        Cleaning{"<e title='a > \"b\"'\nurl='x'/>\n", "<e title='a > \"b\"'\nurl='x'/>"},
        // a comment or a CDATA section ends only where XML ends it
        Cleaning{"<!-- don't > -->\n<rss\nversion='2'/>", "<!-- don't > --><rss\nversion='2'/>"},
        Cleaning{"<!-->\n-->\n<a\n/>", "<!-->--><a\n/>"},
        Cleaning{"<d><![CDATA[it's ]> ]]]>\n<e\na='1'/></d>", "<d><![CDATA[it's ]> ]]]><e\na='1'/></d>"}));

INSTANTIATE_TEST_SUITE_P(
    Characters, CleanResponse,
    ::testing::Values(
        // every character XML forbids goes, in markup too
        Cleaning{"<a\x01 b='\x02'>\x1F\x7F</a>", "<a b=''>\x7F</a>"},
        Cleaning{"a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c\xEF\xBF\xBD", "abc\xEF\xBF\xBD"},
        // every other stays, whatever its code
        Cleaning{"caf\xC3\xA9 \xC3\xBF\xC4\x80 \xE2\x82\xAC \xF0\x9F\x8E\xA7 \xE3\x82\xA8",
                 "caf\xC3\xA9 \xC3\xBF\xC4\x80 \xE2\x82\xAC \xF0\x9F\x8E\xA7 \xE3\x82\xA8"},
        // a byte-order mark only at the start
        Cleaning{"\xEF\xBB\xBF<a>\xEF\xBB\xBF</a>", "<a>\xEF\xBB\xBF</a>"},
        // bytes that do not decode: U+FFFD each, as QString::fromUtf8 reads them
        Cleaning{"\xC3(\xED\xA0\x80", "\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}));

// The bytes that do not decode, read exactly as decoding them first would.
class CleaningUndecodableBytes : public ::testing::TestWithParam<QByteArray>
{
};

TEST_P(CleaningUndecodableBytes, AgreesWithDecodingFirst)
{
    EXPECT_EQ(cleanResponse(GetParam()), cleanResponse(QString::fromUtf8(GetParam()).toUtf8()));
}

INSTANTIATE_TEST_SUITE_P(
    Characters, CleaningUndecodableBytes,
    ::testing::Values(QByteArray("<!DOC\xFFTYPE x><a/>"),
                      QByteArray("<!DOCTYPE\xE2\x82><a/>"), // a truncated sequence, each byte one character
                      QByteArray("\xE2\xC3\xA9\xC3\xC3\xA9\xC3"), // leads without their continuations
                      QByteArray("\xF0\x80\xC3\xA9 \xED\xA0\x80 \xF4\x90\x80\x80 \xC0\xAF x"), // overlong, surrogate, too high
                      QByteArray("<a b='\x80\n'>\xFE\xFF\n</a>"),
                      // long plain runs, scanned sixteen bytes at a time, with removals between them
                      QByteArray("0123456789abcdef\n0123456789abcdef0123456789\tabcdef\xC3\xA9 0123456789abcdef"
                                 "0123<!x 456789abcdef\r\n<!DOCTYPE rss>0123456789abcdef0123456789abcdef\x01\xC3")));

TEST(Cleaning, EveryShapeOfUnclosedMarkupTakesOnePass)
{
    for (const QByteArray &opening : {QByteArray("<!DOCTYPE"), QByteArray("<a b=\""), QByteArray("<!--"),
                                      QByteArray("<![CDATA["), QByteArray("<")}) {
        const QByteArray text = opening.repeated(1'000'000) + '\n';
        EXPECT_LE(cleanResponse(text).size(), text.size()) << opening.constData();
    }
}

TEST(Cleaning, EachCleanedByteMapsBackToWhereItCameFrom)
{
    const QByteArray text = "\xEF\xBB\xBF<!DOCTYPE rss>\n<rss\n\tversion='2'>\n\t<t>\xC3\xA9\x01\xFF!</t></rss>";
    const QByteArray cleaned = cleanResponse(text);
    ASSERT_EQ(cleaned, QByteArray("<rss\n\tversion='2'><t>\xC3\xA9\xEF\xBF\xBD!</t></rss>"));
    EXPECT_EQ(sourceOffset(text, 0), text.indexOf("<rss"));
    EXPECT_EQ(sourceOffset(text, cleaned.indexOf("<t>")), text.indexOf("<t>"));
    EXPECT_EQ(sourceOffset(text, cleaned.lastIndexOf('!')), text.lastIndexOf('!'));
    // the three bytes of U+FFFD all come from the one byte it stands for
    EXPECT_EQ(sourceOffset(text, cleaned.indexOf("\xEF\xBF\xBD") + 2), text.indexOf('\xFF'));
    EXPECT_EQ(sourceOffset(text, cleaned.size()), text.size());
}

TEST(Patterns, StripTagsRemovesBracketedRunsOnly)
{
    EXPECT_EQ(stripTags(QStringLiteral("a<b>c<d\n>e<")), QStringLiteral("ace<"));
    EXPECT_EQ(stripTags(QString()), QString());
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
