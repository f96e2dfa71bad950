#include "FeedTestSupport.h"

#include "DomDocument.h"
#include "NetworkRules.h"
#include "MarkupText.h"
#include "ResponseCleaning.h"
#include "ResponseDecoding.h"

namespace tidewell::test {
namespace {

using namespace std::string_view_literals;

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
                                           "<rss/>x", // one stray character last, as the fuzzer found
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
    EXPECT_THROW(document.selectNodes(QStringLiteral("/a[")), std::runtime_error);
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
                                           Fault{"<rss><channel></rss>", 16, "Start-end tags mismatch"},
                                           // the parser places this one past the end, as the fuzzer found
                                           Fault{"<it\thr", 6, "Error parsing element attribute"}));

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

TEST_P(CleanResponse, BlanksWhatMustGoAndMovesNothing)
{
    QByteArray text = GetParam().input;
    cleanResponse(text);
    EXPECT_EQ(text, GetParam().expected);
}

QByteArray tabs(int count)
{
    return QByteArray(count, '\t');
}

INSTANTIATE_TEST_SUITE_P(
    DocumentType, CleanResponse,
    ::testing::Values(Cleaning{"<!DOCTYPE rss><rss/>", tabs(14) + "<rss/>"},
                      Cleaning{"<!doctype r>x", tabs(12) + "x"},
                      // its line breaks stay, so lines keep their numbers
                      Cleaning{"<!DocType r\r\n SYSTEM 'x'>\n<r/>", tabs(11) + "\r\n" + tabs(12) + "\n<r/>"},
                      Cleaning{"<!DOCTYPE>", "<!DOCTYPE>"}, // needs a character before '>'
                      Cleaning{"<!DOCTYPE>>x", tabs(11) + "x"},
                      Cleaning{"<!DOCTYPE a [<!ENTITY e 'x'>]><a/>", tabs(28) + "]><a/>"},
                      Cleaning{"<!DOCTYPE a\n", "<!DOCTYPE a\n"})); // unclosed: it stays

INSTANTIATE_TEST_SUITE_P(
    Characters, CleanResponse,
    ::testing::Values(
        // every character XML forbids goes; tab, CR and LF stay
        Cleaning{QByteArrayView("<a\x01 b='\x02'>\x1F\x7F\x00</a>\t\r\n"sv).toByteArray(),
                 "<a\t b='\t'>\t\x7F\t</a>\t\r\n"},
        Cleaning{"a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c\xEF\xBF\xBD\xEF\xBC\x88", "a\t\t\tb\t\t\tc\xEF\xBF\xBD\xEF\xBC\x88"},
        // every other stays, whatever its code, and bytes that do not decode are not touched
        Cleaning{"caf\xC3\xA9 \xC4\x80 \xE2\x82\xAC \xF0\x9F\x8E\xA7 \xE3\x82\xA8 \xC3( \xED\xA0\x80",
                 "caf\xC3\xA9 \xC4\x80 \xE2\x82\xAC \xF0\x9F\x8E\xA7 \xE3\x82\xA8 \xC3( \xED\xA0\x80"}));

// Values never hold the tab, CR or LF the document was written with; a
// reference written for one still is one.
TEST(Document, ValuesLeaveOutTheWhiteSpaceTheDocumentWasWrittenWith)
{
    DomDocument document;
    ASSERT_TRUE(document.loadUtf8("<rss\n\tversion='2.0'\r\n><t a='x\r\n\ty&#10;&amp;'>Harbour\r\nLights &#9;&lt;b&gt;"
                                  "<![CDATA[ &amp;\n]]></t></rss>"));
    const DomNode t = document.selectSingleNode(QStringLiteral("/rss/t"));
    EXPECT_EQ(t.nodeTypedValue(), u"HarbourLights \t<b> &amp;");
    EXPECT_EQ(t.getAttribute("a"), u"xy\n&");
    EXPECT_EQ(document.selectSingleNode(QStringLiteral("/rss/@version")).nodeTypedValue(), u"2.0");
}

TEST(Document, ReferencesThatAreNoneStandAsWritten)
{
    DomDocument document;
    ASSERT_TRUE(document.loadUtf8("<t>AT&T &#; &#x; &#xD800; &#1114112; &#65 &nbsp; &#xE9;&#233;&#X41;</t>"));
    EXPECT_EQ(document.selectSingleNode(QStringLiteral("/t")).nodeTypedValue(),
              QString::fromUtf8("AT&T &#; &#x; &#xD800; &#1114112; &#65 &nbsp; \xC3\xA9\xC3\xA9&#X41;"));
}

// A fault's place in the text as it came: lines kept their numbers through
// the cleaning, and the parser, reading in place, moved no character.
struct Place
{
    const char *name;
    QByteArray text;
    qsizetype line;
    qsizetype column;
};

class FaultPlace : public ::testing::TestWithParam<Place>
{
};

TEST_P(FaultPlace, IsTheLineAndColumnAsWritten)
{
    QByteArray text = GetParam().text;
    const LineStarts lines = cleanResponse(text);
    DomDocument document;
    ASSERT_FALSE(document.loadUtf8(std::move(text)));
    const DomDocument::ParseError &error = *document.parseError();
    const TextPosition place = lines.at(error.text, error.offset);
    EXPECT_EQ(place.line, GetParam().line) << error.description.toStdString();
    EXPECT_EQ(place.column, GetParam().column) << error.description.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Document, FaultPlace,
    ::testing::Values(
        Place{"FirstLine", "<rss></rdf>", 1, 8},
        Place{"AfterByteOrderMark", "\xEF\xBB\xBF<rss></rdf>", 1, 8},
        Place{"LineEnds", "<rss>\n<a>\r\n<b>\r<c>\n\r\n</x>", 6, 3},
        // the names' line breaks the parser wrote over still count
        Place{"BreaksInTags", "<rss\nversion='2'\n><a\n\tb='1'\n></b>", 5, 4},
        Place{"CharactersNotBytes", "<rss>\n<t a='\xE6\x97\xA5\xE6\x9C\xAC'>\xC3\xA9&amp;\xE6\x97\xA5</x>", 2, 20},
        Place{"AfterADocumentTypeOverLines", "<!DOCTYPE rss\nSYSTEM\n'x'>\n<rss>\x01</x>", 4, 9},
        Place{"CutInsideACharacter", "<rss><t>\xE6\x97\xA5\xE6\x9C", 1, 11}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Cleaning, UnclosedDeclarationsTakeOnePass)
{
    QByteArray text = QByteArray("<!DOCTYPE").repeated(2'000'000) + '\n';
    const QByteArray before = text;
    const LineStarts lines = cleanResponse(text);
    EXPECT_EQ(text, before);
    EXPECT_EQ(lines.at(text, text.size()).line, 2);
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
