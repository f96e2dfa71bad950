#include "FeedTestSupport.h"
#include "Gzip.h"

#include "BuildConfig.h"
#include "FeedRequest.h"
#include "NetworkRules.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace tidewell::test {
namespace {

using Reply = LoopbackServer::Reply;

using Kind = Failure::Kind;

class FeedFetch : public FeedReaderTest
{
};

TEST_F(FeedFetch, FeedAcceptedAtOnceCostsOneRequest)
{
    EXPECT_TRUE(readSample("rss.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.LastHTTPStatus(), 200);
    EXPECT_EQ(reader.LastHTTPStatusText(), u"OK");
    EXPECT_FALSE(reader.lastError());
    EXPECT_EQ(items().size(), 2u);
}

// One request per read: the four request objects are one client here, so a
// second request would only be the first again.
TEST_F(FeedFetch, HtmlPageCostsOneRequestAndIsRejectedWithItsReason)
{
    server.serve("/feed.xml", Reply::ok(sampleFeed("html-page.html"), "text/html"));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.LastHTTPStatus(), 200);
    EXPECT_FALSE(reader.lastError());
    EXPECT_EQ(reader.unreadableReason(), u"the address gives a web page, not a feed");
    ASSERT_NE(reader.FeedItems(), nullptr);
    EXPECT_TRUE(items().empty());
}

TEST_F(FeedFetch, AnswerCutShortCostsOneRequestAndIsRecorded)
{
    Reply reply = Reply::ok(sampleFeed("rss.xml"));
    reply.ending = Reply::Ending::DropAfter;
    reply.cutAfter = 40;
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
    EXPECT_EQ(reader.lastError().kind, Kind::Incomplete);
    EXPECT_FALSE(reader.lastError().detail.isEmpty());
    // No answer came, so there is none to judge.
    EXPECT_TRUE(reader.unreadableReason().isEmpty());
    EXPECT_TRUE(items().empty());
}

TEST_F(FeedFetch, ConnectionResetAtOnceCostsOneConnection)
{
    QTcpServer resetting;
    ASSERT_TRUE(resetting.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&resetting, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = resetting.nextPendingConnection()) {
            ++connections;
            socket->abort();
            socket->deleteLater();
        }
    });
    EXPECT_FALSE(reader.ReadFeed(QStringLiteral("http://127.0.0.1:%1/feed.xml").arg(resetting.serverPort()), {}, {},
                                 lType, true));
    EXPECT_EQ(connections, 1);
    EXPECT_TRUE(reader.lastError());
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
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
    EXPECT_FALSE(reader.lastError());
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
    EXPECT_EQ(reader.lastError().kind, Kind::Protocol);
    EXPECT_TRUE(reader.lastError().detail.startsWith(QStringLiteral("Decompression failed")))
        << reader.lastError().detail.toStdString();
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
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
        FeedReader own(network);
        server.serve("/feed.xml", Reply::ok(sampleFeed("rss.xml")));
        int type = 0;
        ASSERT_TRUE(own.ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, type, true));
        kept = own.FeedItems();
    }
    ASSERT_EQ(kept->size(), 2u);
    EXPECT_EQ(kept->at(1).url(), u"https://media.example.org/harbour.mp3");
}

// Credentials: the server's go to the server, the proxy's to the proxy.

class Credentials : public FeedReaderTest
{
protected:
    void SetUp() override
    {
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

TEST_F(Credentials, TheServersAnswerItsChallengeAndNeverGoToAProxy)
{
    FeedReader asking(network);
    asking.setProxyUser(QStringLiteral("relay"));
    asking.setProxyPass(QStringLiteral("relaypass"));
    EXPECT_FALSE(asking.ReadFeed(server.url(QStringLiteral("/private.xml")), QStringLiteral("listener"),
                                 QStringLiteral("secret"), lType, true));
    EXPECT_EQ(asking.LastHTTPStatus(), 200);
    EXPECT_EQ(server.hits("/private.xml"), 2); // the challenge and the answer
    EXPECT_EQ(requestsWithHeader("Authorization", LoopbackServer::basicCredentials("listener", "secret")), 1);
    EXPECT_EQ(requestsWithHeader("Authorization"), 1); // the proxy's never go to the server
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
    EXPECT_EQ(server.hits("/private.xml"), 1);
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
        return std::make_unique<FeedReader>(network);
    }
};

TEST_F(ProxyCredentials, TheProxysAnswerItsChallenge)
{
    server.requireProxyCredentials("relay", "relaypass");
    server.serve("/feed.xml", Reply::ok(sampleFeed("rss.xml")));
    auto proxied = readerBehindProxy();
    proxied->setProxyUser(QStringLiteral("relay"));
    proxied->setProxyPass(QStringLiteral("relaypass"));
    EXPECT_TRUE(proxied->ReadFeed(server.url(QStringLiteral("/feed.xml")), {}, {}, lType, true));

    const QList<LoopbackServer::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 2); // the challenge and the answer
    for (const auto &request : requests)
        EXPECT_TRUE(request.viaProxy()) << request.target.constData();
    EXPECT_EQ(requests[1].header("Proxy-Authorization"), LoopbackServer::basicCredentials("relay", "relaypass"));
    EXPECT_EQ(proxied->LastHTTPStatus(), 200);
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
    EXPECT_EQ(reader.lastError().kind, withinLimit ? Kind::None : Kind::Protocol);
    EXPECT_EQ(server.hits("/hop" + QByteArray::number(redirects)), withinLimit ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(FeedFetch, RedirectLimit, ::testing::Values(10, 11));

TEST_F(FeedFetch, RedirectToAnotherSchemeIsRefused)
{
    server.serve("/feed.xml", Reply::redirect(302, "file:///etc/hosts"));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.lastError().kind, Kind::Protocol);
    EXPECT_TRUE(reader.lastError().detail.startsWith(QStringLiteral("a redirect led to file:")));
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
}

TEST_F(FeedFetch, RedirectFromHttpToHttpsIsFollowed)
{
    QString target = server.url(QStringLiteral("/feed.xml"));
    target.replace(QStringLiteral("http:"), QStringLiteral("https:"));
    server.serve("/feed.xml", Reply::redirect(302, target.toLatin1()));
    EXPECT_FALSE(read("/feed.xml"));
    // The request went on to https and opened a TLS handshake, which the
    // plain server cannot complete.
    EXPECT_EQ(server.tlsHandshakes(), 1);
    EXPECT_TRUE(reader.lastError());
    EXPECT_NE(reader.lastError().kind, Kind::Protocol);
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
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.lastError(), (Failure{Kind::Timeout, 0, QStringLiteral("nothing arrived for 0.15 seconds")}));
    EXPECT_EQ(reader.LastHTTPStatus(), 0);
}

INSTANTIATE_TEST_SUITE_P(FeedFetch, Stall,
                         ::testing::Values(Reply::Ending::StallBeforeHeaders, Reply::Ending::StallAfter));

TEST_F(FeedFetch, DocumentAnnouncedAsTooLargeIsRefusedAtTheHeaders)
{
    Reply reply = Reply::ok("<rss/>");
    reply.contentLength = false;
    reply.header("Content-Length", QByteArray::number(FeedRequest::maxResponseBytes + 1));
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.lastError(), (Failure{Kind::Refused, 0, QStringLiteral("The document is larger than 64 MiB")}));
}

TEST_F(FeedFetch, DocumentThatGrowsTooLargeIsRefusedWhileArriving)
{
    QByteArray huge = "<rss><channel>" + QByteArray(FeedRequest::maxResponseBytes, ' ') + "</channel></rss>";
    Reply reply = Reply::ok(huge);
    reply.contentLength = false; // nothing announced: only counting can tell
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.lastError().kind, Kind::Refused);
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
    EXPECT_EQ(reader.lastError(), (Failure{Kind::Refused, 0, QStringLiteral("The document is larger than 64 MiB")}));
}

TEST_F(FeedFetch, AHeadThatNeverEndsIsRefusedWithinBounds)
{
    Reply reply;
    reply.rawHead = "HTTP/1.1 200 OK\r\nX-Never-Ends: ";
    reply.stream = [] { return QByteArray(64 * 1024, 'a'); };
    server.serve("/feed.xml", reply);
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.lastError().kind, Kind::Protocol);
    EXPECT_TRUE(reader.lastError().detail.contains(QStringLiteral("line longer than")))
        << reader.lastError().detail.toStdString();
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

class UnfetchableUrl : public FeedReaderTest,
                       public ::testing::WithParamInterface<std::pair<const char *, const char *>>
{
};

TEST_P(UnfetchableUrl, IsRefusedWithoutAnyTraffic)
{
    const auto [pattern, error] = GetParam();
    EXPECT_FALSE(reader.ReadFeed(QString::fromLatin1(pattern).arg(server.port()), {}, {}, lType, true));
    EXPECT_EQ(reader.lastError(), (Failure{Kind::Address, 0, QString::fromLatin1(error)}));
    EXPECT_TRUE(server.requests().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    FeedFetch, UnfetchableUrl,
    ::testing::Values(std::pair{"ftp://127.0.0.1:%1/feed.xml", "The URL does not use a recognized protocol"},
                      std::pair{"file:///etc/hosts", "The URL does not use a recognized protocol"},
                      std::pair{"feed:ftp://127.0.0.1:%1/feed.xml", "The URL does not use a recognized protocol"},
                      std::pair{"127.0.0.1:%1/feed.xml", "The URL is invalid"},
                      std::pair{"http:///feed.xml", "The URL is invalid"},
                      std::pair{"", "The URL is invalid"}));

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

// Compressed bodies as browsers and curl read them.

struct Compressed
{
    const char *name;
    const char *encoding;
    QByteArray body;
    bool readable;
};

class CompressedBody : public FeedReaderTest, public ::testing::WithParamInterface<Compressed>
{
};

TEST_P(CompressedBody, IsReadWhenWholeAndRefusedWhenNot)
{
    server.serve("/feed.xml", Reply::ok(GetParam().body).header("Content-Encoding", GetParam().encoding));
    EXPECT_EQ(read("/feed.xml"), GetParam().readable);
    EXPECT_EQ(items().size(), GetParam().readable ? 2u : 0u);
    EXPECT_EQ(bool(reader.lastError()), !GetParam().readable) << reader.lastError().detail.toStdString();
}

const QByteArray feedForCompression = sampleFeed("rss.xml");

INSTANTIATE_TEST_SUITE_P(
    FeedFetch, CompressedBody,
    ::testing::Values(
        Compressed{"DeflateWithZlibWrapper", "deflate", compressed(feedForCompression, MAX_WBITS), true},
        Compressed{"RawDeflate", "deflate", compressed(feedForCompression, -MAX_WBITS), true},
        Compressed{"GzipPaddedWithZeros", "gzip", gzip(feedForCompression) + QByteArray(512, '\0'), true},
        Compressed{"GzipInTwoMembers", "gzip",
                   gzip(feedForCompression.first(100)) + gzip(feedForCompression.sliced(100)), true},
        Compressed{"GzipCutShort", "gzip", gzip(feedForCompression).chopped(9), false},
        Compressed{"RawDeflateCutShort", "deflate", compressed(feedForCompression, -MAX_WBITS).chopped(9), false},
        Compressed{"GzipPaddingThenMore", "gzip", gzip(feedForCompression) + QByteArray(4, '\0') + "more", false},
        Compressed{"DeflateThenMore", "deflate", compressed(feedForCompression, MAX_WBITS) + "more", false}),
    [](const auto &info) { return std::string(info.param.name); });

// Why an answer is no feed, in words, after one request.

struct Unreadable
{
    const char *name;
    QByteArray body;
    QByteArray contentType;
    const char *reason;
};

class UnreadableAnswer : public FeedReaderTest, public ::testing::WithParamInterface<Unreadable>
{
};

TEST_P(UnreadableAnswer, SaysWhyItIsNoFeed)
{
    server.serve("/feed.xml", Reply::ok(GetParam().body, GetParam().contentType));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(server.hits("/feed.xml"), 1);
    EXPECT_EQ(reader.unreadableReason(), QString::fromUtf8(GetParam().reason));
    EXPECT_FALSE(reader.lastError());
    EXPECT_EQ(reader.FeedType(), 0);
    EXPECT_TRUE(items().empty());
}

INSTANTIATE_TEST_SUITE_P(
    FeedFetch, UnreadableAnswer,
    ::testing::Values(
        Unreadable{"Empty", "", "application/rss+xml", "the server sent an empty answer"},
        Unreadable{"Blank", "\xEF\xBB\xBF\r\n  \n", "application/rss+xml", "the server sent an empty answer"},
        Unreadable{"HtmlPage", sampleFeed("html-page.html"), "text/html", "the address gives a web page, not a feed"},
        Unreadable{"HtmlPageCalledXml", sampleFeed("html-page.html"), "application/xml",
                   "the address gives a web page, not a feed"},
        Unreadable{"HtmlWithoutDocumentType", "<!-- hi -->\n<HTML><body><p>moved</body></HTML>", "text/plain",
                   "the address gives a web page, not a feed"},
        Unreadable{"WellFormedXhtml",
                   "<?xml version='1.0'?>\n<html xmlns='http://www.w3.org/1999/xhtml'><body/></html>",
                   "application/xhtml+xml", "the address gives a web page, not a feed"},
        Unreadable{"JsonFeed", "{\"version\": \"https://jsonfeed.org/version/1.1\", \"items\": []}",
                   "application/feed+json", "the address gives a JSON document, not an RSS, RDF or Atom feed"},
        Unreadable{"JsonArray", "\n[1, 2]", "text/plain",
                   "the address gives a JSON document, not an RSS, RDF or Atom feed"},
        Unreadable{"OtherXml", "<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><head/><body/></opml>",
                   "application/xml", "the document is not an RSS, RDF or Atom feed (its root element is opml)"},
        Unreadable{"FeedCutShort", "<rss version=\"2.0\">\n  <channel>\n    <item><title>Cut", "application/xml",
                   "the feed is not well-formed XML (line 3, column 20: Start-end tags mismatch)"},
        // A broken feed is a broken feed, whatever type the server gives it.
        Unreadable{"BrokenFeedCalledHtml", "<rss>\n<channel><item></channel></rss>", "text/html",
                   "the feed is not well-formed XML (line 2, column 18: Start-end tags mismatch)"},
        // Lines and columns are those of the text as it came: the document
        // type, tabs and line breaks the cleaning removed still count, and a
        // column counts characters, not bytes.
        Unreadable{"PlaceInTheTextAsItCame",
                   "<!DOCTYPE rss>\r\n<rss>\r\n\t<channel>\r\n\t\t<title>\xE6\x97\xA5\xE6\x9C\xAC</titel>",
                   "application/xml",
                   "the feed is not well-formed XML (line 4, column 14: Start-end tags mismatch)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FeedFetch, AnErrorPageSaysWhatItIsBesideItsStatus)
{
    server.serve("/feed.xml", Reply::withStatus(404, sampleFeed("html-page.html"), "text/html"));
    EXPECT_FALSE(read("/feed.xml"));
    EXPECT_EQ(reader.LastHTTPStatus(), 404);
    EXPECT_EQ(reader.unreadableReason(), u"the address gives a web page, not a feed");
}

// The caller's lType.

TEST_F(FeedFetch, UnknownForcedTypeParsesNothing)
{
    lType = 7;
    EXPECT_FALSE(readSample("rss.xml"));
    EXPECT_EQ(lType, 7);
    EXPECT_EQ(reader.FeedType(), 7);
    EXPECT_EQ(reader.FeedTypeString(), u"Unknown / None");
    EXPECT_TRUE(items().empty());
    EXPECT_TRUE(reader.unreadableReason().isEmpty()); // the caller chose the type
}

TEST_F(FeedFetch, ForcedRssOnAnAtomDocumentSucceedsWithNoItems)
{
    lType = 1;
    EXPECT_TRUE(readSample("atom.xml"));
    EXPECT_EQ(lType, 1);
    EXPECT_EQ(reader.FeedTypeString(), u"RSS");
    EXPECT_TRUE(items().empty());
    EXPECT_TRUE(reader.unreadableReason().isEmpty());
}

} // namespace
} // namespace tidewell::test
