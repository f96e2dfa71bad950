#include "FeedTestSupport.h"
#include "Gzip.h"

#include "BuildConfig.h"
#include "ErrorNumbers.h"
#include "HttpRequest.h"
#include "NetworkRules.h"
#include "RuntimeError.h"



#include <set>

namespace tidewell::test {
namespace {

using Reply = LoopbackServer::Reply;

// Makes the named identifiers fail.
class TestFactory : public ObjectFactory
{
public:
    using ObjectFactory::ObjectFactory;

    std::set<QString> failing;

    std::unique_ptr<PlatformObject> CreateObject(const QString &progId) const override
    {
        if (failing.count(progId))
            throw RuntimeError(errnum::CannotCreateObject, QStringLiteral("refused by the test"));
        return ObjectFactory::CreateObject(progId);
    }
};


class FeedFetch : public FeedReaderTest
{
};

TEST_F(FeedFetch, FeedAcceptedAtOnceCostsOneRequest)
{
    EXPECT_TRUE(readSample("rss.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.LastHTTPStatus(), 200);
    EXPECT_EQ(reader.LastHTTPStatusText(), u"OK");
    EXPECT_EQ(reader.LastErrorCode(), 0);
    EXPECT_EQ(items().size(), 2u);
}

TEST_F(FeedFetch, HtmlPageIsFetchedOncePerRequestObjectAndRejected)
{
    server.serve("/feed.xml", Reply::ok(sampleFeed("html-page.html"), "text/html"));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 4);
    EXPECT_EQ(reader.LastHTTPStatus(), 200);
    ASSERT_NE(reader.FeedItems(), nullptr);
    EXPECT_TRUE(items().empty());
}

TEST_F(FeedFetch, WellFormedErrorPageIsParsedOnceButNotAccepted)
{
    server.serve("/feed.xml", Reply::withStatus(404, sampleFeed("rss.xml"), "application/rss+xml"));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.LastHTTPStatus(), 404);
    EXPECT_EQ(reader.LastHTTPStatusText(), u"Not Found");
    EXPECT_EQ(reader.FeedType(), 1);
    EXPECT_EQ(items().size(), 2u);
}

// Whatever status comes with it, a body is an answer and is tried as a feed;
// a well-formed one ends the fallback at once.
class AnyStatus : public FeedFetch, public ::testing::WithParamInterface<int>
{
};

TEST_P(AnyStatus, AFeedBodyIsParsedOnceWhateverTheStatus)
{
    server.serve("/feed.xml", Reply::withStatus(GetParam(), sampleFeed("rss.xml"), "application/rss+xml"));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.LastHTTPStatus(), GetParam());
    EXPECT_EQ(reader.LastErrorCode(), 0);
    EXPECT_EQ(items().size(), 2u);
}

// 302 comes without a Location: it is no redirect but the final answer.
INSTANTIATE_TEST_SUITE_P(FeedFetch, AnyStatus,
                         ::testing::Values(201, 203, 302, 400, 401, 403, 405, 409, 410, 418, 422, 451, 500, 501, 503,
                                           599));

TEST_F(FeedFetch, ABrokenCompressedFeedIsAnErrorWithItsReason)
{
    Reply reply = Reply::ok("this is no gzip at all");
    reply.header("Content-Encoding", "gzip");
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.LastErrorCode(), errnum::RequestInvalidResponse);
    EXPECT_TRUE(reader.LastErrorDesc().startsWith(QStringLiteral("Decompression failed")))
        << reader.LastErrorDesc().toStdString();
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
}

TEST_F(FeedFetch, ErrorOfAFailedAttemptOutlivesALaterSuccess)
{
    const QByteArray feed = sampleFeed("rss.xml");
    auto attempts = std::make_shared<std::atomic<int>>(0);
    server.serve("/feed.xml", [feed, attempts](const LoopbackServer::Request &) {
        Reply reply = Reply::ok(feed);
        if ((*attempts)++ == 0) {
            reply.ending = Reply::Ending::DropAfter;
            reply.cutAfter = 40;
        }
        return reply;
    });
    EXPECT_TRUE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 2);
    EXPECT_EQ(reader.LastHTTPStatus(), 200);
    EXPECT_EQ(reader.LastErrorCode(), errnum::RequestConnectionError);
    EXPECT_FALSE(reader.LastErrorDesc().isEmpty());
    EXPECT_EQ(items().size(), 2u);
}

TEST_F(FeedFetch, SecondReadForgetsTheFirstButHandedOutItemsStay)
{
    ASSERT_TRUE(readSample("rss.xml"));
    const auto first = reader.FeedItems();
    server.serve("/missing.xml", Reply::withStatus(404, "gone"));
    EXPECT_FALSE(read("/missing.xml"));
    EXPECT_EQ(reader.LastHTTPStatus(), 404);
    EXPECT_EQ(reader.FeedType(), 0);
    EXPECT_TRUE(items().empty());
    ASSERT_EQ(first->size(), 2u);
    EXPECT_EQ(first->at(0).Title(), u"Tides and Currents");
}

TEST_F(FeedFetch, ItemsOutliveTheReader)
{
    std::shared_ptr<const FeedItemCollection> kept;
    {
        FeedReader own;
        server.serve("/feed.xml", Reply::ok(sampleFeed("rss.xml")));
        int type = 0;
        ASSERT_TRUE(own.ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, type, true));
        kept = own.FeedItems();
    }
    ASSERT_EQ(kept->size(), 2u);
    EXPECT_EQ(kept->at(1).url(), u"https://media.example.org/harbour.mp3");
}

// The seam: identifiers that cannot be created.

class ObjectCreation : public FeedReaderTest
{
protected:
    std::unique_ptr<FeedReader> readerFailing(std::initializer_list<const char16_t *> progIds)
    {
        auto factory = std::make_shared<TestFactory>(network);
        for (const char16_t *progId : progIds)
            factory->failing.insert(QString::fromUtf16(progId));
        return std::make_unique<FeedReader>(factory);
    }

    bool readWith(FeedReader &failing)
    {
        server.serve("/feed.xml", Reply::ok(sampleFeed("rss.xml")));
        return failing.ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, lType, true);
    }
};

TEST_F(ObjectCreation, MissingRequestObjectIsRecordedAndTheNextOneUsed)
{
    auto failing = readerFailing({progid::WinHttpRequest});
    EXPECT_TRUE(readWith(*failing));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(failing->LastErrorCode(), 429);
    EXPECT_EQ(failing->LastErrorDesc(), u"Error creating object 'WinHttp.WinHttpRequest.5'");
}

TEST_F(ObjectCreation, NoRequestObjectAtAllFetchesNothing)
{
    auto failing =
        readerFailing({progid::WinHttpRequest, progid::XmlHttp, progid::ServerXmlHttp, progid::LegacyXmlHttp});
    EXPECT_FALSE(readWith(*failing));
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(failing->LastHTTPStatus(), 0);
    EXPECT_EQ(failing->LastErrorDesc(), u"Error creating object 'Microsoft.XMLHTTP'");
}

TEST_F(ObjectCreation, MissingDocumentFetchesNothingAndLeavesNoItems)
{
    auto failing = readerFailing({progid::DomDocument});
    EXPECT_FALSE(readWith(*failing));
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(failing->LastErrorCode(), 429);
    EXPECT_EQ(failing->LastErrorDesc(), u"Error creating object 'MSXML.DomDocument'");
    ASSERT_NE(failing->FeedItems(), nullptr);
    EXPECT_TRUE(failing->FeedItems()->empty());
}

TEST_F(ObjectCreation, MissingEngineIsRecordedAtConstructionAndStopsEveryRead)
{
    auto failing = readerFailing({progid::RegExp});
    EXPECT_EQ(failing->LastErrorCode(), 429);
    EXPECT_EQ(failing->LastErrorDesc(), u"Error creating object 'VBScript.RegExp'");
    EXPECT_FALSE(readWith(*failing));
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(failing->LastErrorCode(), 429); // nothing was cleared
    EXPECT_EQ(failing->FeedItems(), nullptr);
    try {
        failing->StripHTML(QStringLiteral("<b>x</b>"));
        ADD_FAILURE() << "StripHTML without an engine must raise";
    } catch (const RuntimeError &error) {
        EXPECT_EQ(error.number(), errnum::ObjectVariableNotSet);
    }
}

// Credentials: the server's reach all four objects, the proxy's only WinHttp.

class Credentials : public FeedReaderTest
{
protected:
    void SetUp() override
    {
        // An HTML answer is never accepted, so every object gets its turn.
        const QByteArray expected = LoopbackServer::basicCredentials("listener", "secret");
        const QByteArray page = sampleFeed("html-page.html");
        server.serve("/private.xml", [expected, page](const LoopbackServer::Request &request) {
            if (request.header("Authorization") == expected)
                return Reply::ok(page, "text/html");
            return Reply::withStatus(401, "who are you?").header("WWW-Authenticate", "Basic realm=\"members\"");
        });
    }

    int requestsWithHeader(const QByteArray &name, const QByteArray &value = {}) const
    {
        int count = 0;
        for (const auto &request : server.requests())
            count += !request.header(name).isNull() && (value.isNull() || request.header(name) == value);
        return count;
    }
};

TEST_F(Credentials, ServerCredentialsReachEveryRequestObject)
{
    reader.setProxyUser(QStringLiteral("relay"));
    reader.setProxyPass(QStringLiteral("relaypass"));
    EXPECT_FALSE(read("/private.xml", true, QStringLiteral("listener"), QStringLiteral("secret")));
    EXPECT_EQ(reader.LastHTTPStatus(), 200);
    EXPECT_EQ(server.hits("/private.xml"), 8); // a challenge and an answer per object
    EXPECT_EQ(requestsWithHeader("Authorization", LoopbackServer::basicCredentials("listener", "secret")), 4);
    EXPECT_EQ(requestsWithHeader("Authorization"), 4); // the proxy's never go to the server
    EXPECT_EQ(requestsWithHeader("Proxy-Authorization"), 0);
}

TEST_F(Credentials, ChallengeBodyDoesNotLeakIntoTheAnswer)
{
    const QByteArray expected = LoopbackServer::basicCredentials("listener", "secret");
    const QByteArray feed = sampleFeed("rss.xml");
    server.serve("/members.xml", [expected, feed](const LoopbackServer::Request &request) {
        if (request.header("Authorization") == expected)
            return Reply::ok(feed);
        return Reply::withStatus(401, "<denied/>", "application/xml").header("WWW-Authenticate", "Basic realm=\"m\"");
    });
    EXPECT_TRUE(read("/members.xml", true, QStringLiteral("listener"), QStringLiteral("secret")));
    EXPECT_EQ(server.hits("/members.xml"), 2);
    EXPECT_EQ(items().size(), 2u);
}

TEST_F(Credentials, NoCredentialsMeansNoAnswerToTheChallenge)
{
    EXPECT_FALSE(read("/private.xml"));
    EXPECT_EQ(server.hits("/private.xml"), 4);
    EXPECT_EQ(requestsWithHeader("Authorization"), 0);
    EXPECT_EQ(reader.LastHTTPStatus(), 401);
    EXPECT_EQ(reader.LastHTTPStatusText(), u"Unauthorized");
}

class ProxyCredentials : public Credentials
{
protected:
    std::unique_ptr<FeedReader> readerBehindProxy()
    {
        network.setProxy(QStringLiteral("http://127.0.0.1:%1").arg(server.port()));
        return std::make_unique<FeedReader>(std::make_shared<TestFactory>(network));
    }
};

TEST_F(ProxyCredentials, OnlyTheWinHttpObjectAnswersTheProxy)
{
    server.requireProxyCredentials("relay", "relaypass");
    server.serve("/feed.xml", Reply::ok(sampleFeed("html-page.html"), "text/html"));
    auto proxied = readerBehindProxy();
    proxied->setProxyUser(QStringLiteral("relay"));
    proxied->setProxyPass(QStringLiteral("relaypass"));
    EXPECT_FALSE(proxied->ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, lType, true));

    const QList<LoopbackServer::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 5); // WinHttp: challenge and answer; the others: challenge only
    for (const auto &request : requests)
        EXPECT_TRUE(request.viaProxy()) << request.target.constData();
    EXPECT_EQ(requests[1].header("Proxy-Authorization"), LoopbackServer::basicCredentials("relay", "relaypass"));
    EXPECT_EQ(requestsWithHeader("Proxy-Authorization"), 1);
    EXPECT_EQ(proxied->LastHTTPStatus(), 407);
}

TEST_F(ProxyCredentials, ProxyUserWithoutPasswordIsStillGiven)
{
    server.requireProxyCredentials("relay", "");
    server.serve("/feed.xml", Reply::ok(sampleFeed("rss.xml")));
    auto proxied = readerBehindProxy();
    proxied->setProxyUser(QStringLiteral("relay"));
    EXPECT_TRUE(proxied->ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, lType, true));
    EXPECT_EQ(requestsWithHeader("Proxy-Authorization", LoopbackServer::basicCredentials("relay", "")), 1);
}

// Network rules.

TEST_F(FeedFetch, RedirectChainAcrossStatusCodesIsFollowed)
{
    server.serve("/a", Reply::redirect(301, "/b"));
    server.serve("/b", Reply::redirect(302, "/c"));
    server.serve("/c", Reply::redirect(303, "/d"));
    server.serve("/d", Reply::redirect(307, server.url(QStringLiteral("/e")).toLatin1()));
    server.serve("/e", Reply::redirect(308, "/feed.xml"));
    server.serve("/feed.xml", Reply::ok(sampleFeed("rss.xml")));
    EXPECT_TRUE(read("/a"));
    for (const char *path : {"/a", "/b", "/c", "/d", "/e", "/feed.xml"})
        EXPECT_EQ(server.hits(path), 1) << path;
}

class RedirectLimit : public FeedReaderTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(RedirectLimit, TenRedirectsAreFollowedAndAnEleventhIsNot)
{
    const int redirects = GetParam();
    for (int i = 0; i < redirects; ++i)
        server.serve("/hop" + QByteArray::number(i), Reply::redirect(302, "/hop" + QByteArray::number(i + 1)));
    server.serve("/hop" + QByteArray::number(redirects), Reply::ok(sampleFeed("rss.xml")));
    const bool withinLimit = redirects <= net::maxRedirects;
    EXPECT_EQ(read("/hop0"), withinLimit);
    EXPECT_EQ(reader.LastErrorCode(), withinLimit ? 0 : errnum::RequestRedirectFailed);
    EXPECT_EQ(server.hits("/hop" + QByteArray::number(redirects)), withinLimit ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(FeedFetch, RedirectLimit, ::testing::Values(10, 11));

TEST_F(FeedFetch, RedirectToAnotherSchemeIsRefused)
{
    server.serve("/feed.xml", Reply::redirect(302, "file:///etc/hosts"));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 4);
    EXPECT_EQ(reader.LastErrorCode(), errnum::RequestRedirectFailed);
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
}

TEST_F(FeedFetch, RedirectFromHttpToHttpsIsFollowed)
{
    QString target = server.url(QStringLiteral("/feed.xml"));
    target.replace(QStringLiteral("http:"), QStringLiteral("https:"));
    server.serve("/feed.xml", Reply::redirect(302, target.toLatin1()));
    EXPECT_FALSE(read("/feed.xml"));
    // Each object went on to https and opened a TLS handshake, which the plain
    // server cannot complete.
    EXPECT_EQ(server.tlsHandshakes(), 4);
    EXPECT_NE(reader.LastErrorCode(), errnum::RequestRedirectFailed);
    EXPECT_NE(reader.LastErrorCode(), 0);
}

class Stall : public FeedFetch, public ::testing::WithParamInterface<Reply::Ending>
{
};

TEST_P(Stall, SilentServerIsAbandonedAndRecorded)
{
    network.setStallTimeout(std::chrono::milliseconds(150));
    Reply reply = Reply::ok(sampleFeed("rss.xml"));
    reply.ending = GetParam();
    reply.cutAfter = 100;
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 4);
    EXPECT_EQ(reader.LastErrorCode(), errnum::RequestTimeout);
    EXPECT_EQ(reader.LastErrorDesc(), u"The operation timed out");
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
}

INSTANTIATE_TEST_SUITE_P(FeedFetch, Stall,
                         ::testing::Values(Reply::Ending::StallBeforeHeaders, Reply::Ending::StallAfter));

TEST_F(FeedFetch, DocumentAnnouncedAsTooLargeIsRefusedAtTheHeaders)
{
    Reply reply = Reply::ok("<rss/>");
    reply.contentLength = false;
    reply.header("Content-Length", QByteArray::number(HttpRequest::maxResponseBytes + 1));
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.LastErrorCode(), errnum::RequestResponseTooLarge);
    EXPECT_EQ(reader.LastErrorDesc(), u"The document is larger than 64 MiB");
}

TEST_F(FeedFetch, DocumentThatGrowsTooLargeIsRefusedWhileArriving)
{
    QByteArray huge = "<rss><channel>" + QByteArray(HttpRequest::maxResponseBytes, ' ') + "</channel></rss>";
    Reply reply = Reply::ok(huge);
    reply.contentLength = false; // nothing announced: only counting can tell
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.LastErrorCode(), errnum::RequestResponseTooLarge);
    // The other request objects would only fetch the same bytes.
    EXPECT_EQ(server.hits("/feed.xml"), 1);
}

TEST_F(FeedFetch, AFeedThatNeverEndsIsRefusedAtTheLimitWithOneRequest)
{
    Reply reply = Reply::ok("<rss><channel>");
    reply.chunked = true;
    reply.stream = [] { return QByteArray(256 * 1024, ' '); };
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.LastErrorCode(), errnum::RequestResponseTooLarge);
    EXPECT_EQ(reader.LastErrorDesc(), u"The document is larger than 64 MiB");
}

TEST_F(FeedFetch, AHeadThatNeverEndsIsRefusedWithinBounds)
{
    Reply reply;
    reply.rawHead = "HTTP/1.1 200 OK\r\nX-Never-Ends: ";
    reply.stream = [] { return QByteArray(64 * 1024, 'a'); };
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.LastErrorCode(), errnum::RequestInvalidResponse);
    EXPECT_TRUE(reader.LastErrorDesc().contains(QStringLiteral("line longer than")))
        << reader.LastErrorDesc().toStdString();
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
}

class PodcastScheme : public FeedReaderTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(PodcastScheme, IsFetchedAsTheHttpUrlItStandsFor)
{
    server.serve("/feed.xml", Reply::ok(sampleFeed("rss.xml")));
    const QString url = QString::fromLatin1(GetParam()).arg(server.port());
    EXPECT_TRUE(reader.ReadFeed(url, {}, {}, lType, true)) << qPrintable(url);
    EXPECT_EQ(server.hits("/feed.xml"), 1);
}

INSTANTIATE_TEST_SUITE_P(FeedFetch, PodcastScheme,
                         ::testing::Values("feed://127.0.0.1:%1/feed.xml", "FEED://127.0.0.1:%1/feed.xml",
                                           "feed:http://127.0.0.1:%1/feed.xml", "feed://http://127.0.0.1:%1/feed.xml",
                                           "itpc://127.0.0.1:%1/feed.xml", "pcast://127.0.0.1:%1/feed.xml",
                                           "  http://127.0.0.1:%1/feed.xml  "));

class UnfetchableUrl : public FeedReaderTest, public ::testing::WithParamInterface<std::pair<const char *, int>>
{
};

TEST_P(UnfetchableUrl, IsRefusedWithoutAnyTraffic)
{
    const auto [pattern, error] = GetParam();
    EXPECT_FALSE(reader.ReadFeed(QString::fromLatin1(pattern).arg(server.port()), {}, {}, lType, true));
    EXPECT_EQ(reader.LastErrorCode(), error);
    EXPECT_TRUE(server.requests().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    FeedFetch, UnfetchableUrl,
    ::testing::Values(std::pair{"ftp://127.0.0.1:%1/feed.xml", errnum::RequestUnrecognizedScheme},
                      std::pair{"file:///etc/hosts", errnum::RequestUnrecognizedScheme},
                      std::pair{"feed:ftp://127.0.0.1:%1/feed.xml", errnum::RequestUnrecognizedScheme},
                      std::pair{"127.0.0.1:%1/feed.xml", errnum::RequestInvalidUrl},
                      std::pair{"http:///feed.xml", errnum::RequestInvalidUrl},
                      std::pair{"", errnum::RequestInvalidUrl}));

TEST_F(FeedFetch, RequestNamesTheProgramAndAcceptsGzip)
{
    const QByteArray feed = sampleFeed("rss.xml");
    server.serve("/feed.xml", Reply::ok(gzip(feed)).header("Content-Encoding", "gzip"));
    EXPECT_TRUE(read("/feed.xml"));
    EXPECT_EQ(items().size(), 2u);
    const LoopbackServer::Request request = server.requests().value(0);
    EXPECT_EQ(request.header("User-Agent"), QByteArray("Tidewell-Episode-Keeper/") + build::version);
    EXPECT_TRUE(request.header("Accept-Encoding").contains("gzip"));
}

// Body decoding, as a browser's request object does it.

struct Encoded
{
    const char *name;
    QByteArray body;
    QByteArray contentType;
};

class BodyDecoding : public FeedReaderTest, public ::testing::WithParamInterface<Encoded>
{
};

QByteArray titledFeed(const QByteArray &declaration, const QByteArray &title)
{
    return declaration + "<rss><channel><item><title>" + title + "</title></item></channel></rss>";
}

QByteArray utf16le(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

TEST_P(BodyDecoding, TitleReadsTheSameWhateverTheEncoding)
{
    server.serve("/feed.xml", Reply::ok(GetParam().body, GetParam().contentType));
    ASSERT_TRUE(read("/feed.xml"));
    ASSERT_EQ(items().size(), 1u);
    EXPECT_EQ(items()[0].Title(), QString::fromUtf8("Caf\xC3\xA9 cr\xC3\xA8me"));
}

INSTANTIATE_TEST_SUITE_P(
    FeedFetch, BodyDecoding,
    ::testing::Values(
        Encoded{"Utf8ByDefault", titledFeed("", "Caf\xC3\xA9 cr\xC3\xA8me"), "application/xml"},
        Encoded{"CharsetOfContentType", titledFeed("", "Caf\xE9 cr\xE8me"), "text/xml; charset=\"ISO-8859-1\""},
        Encoded{"ContentTypeBeforeDeclaration", titledFeed("<?xml version=\"1.0\" encoding=\"utf-8\"?>", "Caf\xE9 cr\xE8me"),
                "text/xml;charset=windows-1252"},
        Encoded{"XmlDeclaration", titledFeed("<?xml version='1.0' encoding='iso-8859-1'?>", "Caf\xE9 cr\xE8me"),
                "application/rss+xml"},
        Encoded{"UnknownCharsetFallsThrough", titledFeed("", "Caf\xC3\xA9 cr\xC3\xA8me"), "text/xml; charset=klingon"},
        Encoded{"Utf8MarkBeforeAll", "\xEF\xBB\xBF" + titledFeed("", "Caf\xC3\xA9 cr\xC3\xA8me"),
                "text/xml; charset=iso-8859-1"},
        Encoded{"Utf16Mark",
                "\xFF\xFE" + utf16le(QString::fromUtf8(titledFeed("", "Caf\xC3\xA9 cr\xC3\xA8me"))), "text/xml"}),
    [](const auto &info) { return std::string(info.param.name); });

// The caller's lType.

TEST_F(FeedFetch, UnknownForcedTypeParsesNothing)
{
    lType = 7;
    EXPECT_FALSE(readSample("rss.xml"));
    EXPECT_EQ(lType, 7);
    EXPECT_EQ(reader.FeedType(), 7);
    EXPECT_EQ(reader.FeedTypeString(), u"Unknown / None");
    EXPECT_TRUE(items().empty());
}

TEST_F(FeedFetch, ForcedRssOnAnAtomDocumentSucceedsWithNoItems)
{
    lType = 1;
    EXPECT_TRUE(readSample("atom.xml"));
    EXPECT_EQ(lType, 1);
    EXPECT_EQ(reader.FeedTypeString(), u"RSS");
    EXPECT_TRUE(items().empty());
}

} // namespace
} // namespace tidewell::test
