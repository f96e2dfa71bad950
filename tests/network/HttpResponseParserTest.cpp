#include "BodyDecoder.h"
#include "HttpResponseParser.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

using State = HttpResponseParser::State;

// Feeds the answer in pieces of `step` bytes, as a connection may deliver it.
struct Parsed
{
    State state;
    QByteArray body;
    int status;
    QString error;
};

Parsed parse(const QByteArray &answer, qsizetype step, bool closeAfter = false)
{
    HttpResponseParser parser;
    QByteArray body;
    for (qsizetype at = 0; at < answer.size(); at += step) {
        parser.feed(answer.constData() + at, std::min(step, answer.size() - at), [&](const char *data, qsizetype size) {
            body.append(data, size);
            return true;
        });
    }
    if (closeAfter)
        parser.closed();
    return {parser.state(), body, parser.status(), parser.error()};
}

class InPieces : public testing::TestWithParam<qsizetype>
{
};

TEST_P(InPieces, ChunkedBodiesWithExtensionsAndTrailersEndAtTheLastChunk)
{
    const QByteArray answer = "HTTP/1.1 100 Continue\r\n\r\n"
                              "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\nX-Folded: a\r\n b\r\n\r\n"
                              "5;name=value\r\nhello\r\n6\r\n world\r\n0\r\nX-Trailer: t\r\n\r\n";
    // gzip as a transfer coding under chunked is not ours to undo: refused.
    EXPECT_EQ(parse(answer, GetParam()).state, State::Failed);
    QByteArray plain = answer;
    plain.replace("gzip, chunked", "chunked");
    const Parsed parsed = parse(plain, GetParam());
    EXPECT_EQ(parsed.state, State::Done) << parsed.error.toStdString();
    EXPECT_EQ(parsed.status, 200);
    EXPECT_EQ(parsed.body, QByteArray("hello world"));
}

TEST_P(InPieces, ALengthEndsTheBodyAndAnythingAfterItIsIgnored)
{
    const Parsed parsed = parse("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello and more", GetParam());
    EXPECT_EQ(parsed.state, State::Done);
    EXPECT_EQ(parsed.body, QByteArray("hello"));
}

INSTANTIATE_TEST_SUITE_P(Split, InPieces, testing::Values(1, 3, 7, 4096));

TEST(HttpResponseParser, EndsAreToldApartFromCuts)
{
    EXPECT_EQ(parse("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", 64, true).state, State::Failed);
    EXPECT_EQ(parse("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", 64, true).state,
              State::Failed);
    EXPECT_EQ(parse("HTTP/1.1 200 OK\r\n\r\nhello", 64, true).state, State::Done); // only a close ends it
    EXPECT_EQ(parse("HTTP/1.1 204 No Content\r\n\r\n", 64).state, State::Done);
    EXPECT_EQ(parse("HTTP/1.1 200 OK\r\nContent-Len", 64, true).state, State::Failed);
}

TEST(HttpResponseParser, WhatIsNotHttpIsRefused)
{
    for (const char *answer : {"SSH-2.0-OpenSSH\r\n\r\n", "HTTP/1.1 2000 OK\r\n\r\n", "HTTP/1.1 200 OK\r\nno colon\r\n\r\n",
                               "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n",
                               "HTTP/1.1 200 OK\r\nContent-Length: 1, 2\r\n\r\n",
                               "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"})
        EXPECT_EQ(parse(answer, 64).state, State::Failed) << answer;
    EXPECT_EQ(parse("HTTP/1.1 200 OK\r\nContent-Length: 2, 2\r\n\r\nok", 64).state, State::Done);
}

TEST(HttpResponseParser, HeadsAreReadWithinBounds)
{
    HttpResponseParser parser;
    const QByteArray start = "HTTP/1.1 200 OK\r\nX-Long: ";
    parser.feed(start.constData(), start.size(), {});
    const QByteArray more(1024, 'a');
    for (int i = 0; i < 1000 && parser.state() == State::Head; ++i)
        parser.feed(more.constData(), more.size(), {});
    EXPECT_EQ(parser.state(), State::Failed);
    EXPECT_TRUE(parser.error().contains(QStringLiteral("line longer than"))) << parser.error().toStdString();

    QByteArray manyFields = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 300; ++i)
        manyFields += "X-" + QByteArray::number(i) + ": v\r\n";
    EXPECT_EQ(parse(manyFields, 4096).state, State::Failed);
}

TEST(BodyDecoder, UnknownEncodingsAreRefusedAndIdentityProvesNothing)
{
    QString error;
    EXPECT_EQ(BodyDecoder::forEncoding("br", error), nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("(br)")));
    const auto identity = BodyDecoder::forEncoding("Identity", error);
    ASSERT_NE(identity, nullptr);
    EXPECT_FALSE(identity->provesEnd());
    const auto gzip = BodyDecoder::forEncoding("x-gzip", error);
    ASSERT_NE(gzip, nullptr);
    EXPECT_TRUE(gzip->provesEnd());
    EXPECT_FALSE(gzip->decode("not gzip", 8, [](const char *, qsizetype) { return true; }));
}

} // namespace
} // namespace tidewell
