#include "BodyDecoder.h"
#include "Gzip.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace tidewell::test {
namespace {

struct Decoded
{
    bool accepted = true;
    bool ended = false;
    QByteArray data;
    QString error;
};

// Feeds the body in pieces of `step` bytes, as a connection may deliver it.
Decoded decode(const QByteArray &encoding, const QByteArray &body, qsizetype step)
{
    QString error;
    const std::unique_ptr<BodyDecoder> decoder = BodyDecoder::forEncoding(encoding, error);
    Decoded result;
    for (qsizetype at = 0; at < body.size() && result.accepted; at += step) {
        result.accepted = decoder->decode(body.constData() + at, std::min(step, body.size() - at),
                                          [&](const char *data, qsizetype size) {
                                              result.data.append(data, size);
                                              return true;
                                          });
    }
    result.ended = decoder->ended();
    result.error = decoder->error();
    return result;
}

// Long enough for several deflate blocks, and compressible.
QByteArray sampleText()
{
    QByteArray text;
    for (int i = 0; i < 20000; ++i)
        text += "line " + QByteArray::number(i * 7919 % 1000) + " of the feed\n";
    return text;
}

class InPieces : public ::testing::TestWithParam<qsizetype>
{
protected:
    const QByteArray text = sampleText();
};

TEST_P(InPieces, WholeBodiesAreReadAsBrowsersReadThem)
{
    const std::pair<const char *, QByteArray> bodies[] = {
        {"deflate", compressed(text, 15)},
        {"deflate", compressed(text, -15)},
        {"gzip", gzip(text) + QByteArray(300, '\0')},
        {"x-gzip", gzip(text.first(1000)) + gzip(text.sliced(1000)) + QByteArray(1, '\0')},
    };
    for (const auto &[encoding, body] : bodies) {
        SCOPED_TRACE(encoding);
        const Decoded decoded = decode(encoding, body, GetParam());
        EXPECT_TRUE(decoded.accepted) << decoded.error.toStdString();
        EXPECT_TRUE(decoded.ended);
        EXPECT_EQ(decoded.data, text);
    }
}

TEST_P(InPieces, CutBodiesNeverEnd)
{
    for (const auto &[encoding, body] : {std::pair{"deflate", compressed(text, -15)},
                                         std::pair{"deflate", compressed(text, 15)}, std::pair{"gzip", gzip(text)}}) {
        SCOPED_TRACE(encoding);
        for (const qsizetype cut : {qsizetype(1), qsizetype(4), body.size() / 2}) {
            const Decoded decoded = decode(encoding, body.chopped(cut), GetParam());
            EXPECT_FALSE(decoded.accepted && decoded.ended) << cut;
        }
    }
}

TEST_P(InPieces, OnlyZerosMayFollowTheEnd)
{
    const Decoded afterPadding = decode("gzip", gzip(text) + QByteArray(20, '\0') + gzip(text), GetParam());
    EXPECT_FALSE(afterPadding.accepted);
    EXPECT_EQ(afterPadding.error, QStringLiteral("the server's compressed file is damaged"));
    // deflate is one stream: no second one may follow, as gzip's members may
    EXPECT_FALSE(decode("deflate", compressed(text, -15) + compressed(text, -15), GetParam()).accepted);
    EXPECT_FALSE(decode("gzip", gzip(text) + "trailing junk", GetParam()).accepted);
}

INSTANTIATE_TEST_SUITE_P(BodyDecoder, InPieces, ::testing::Values(1, 2, 7, 4096, 1 << 20));

TEST(BodyDecoder, ABodyTooShortToTellItsFormatHasNotEnded)
{
    EXPECT_FALSE(decode("deflate", "x", 1).ended);
    EXPECT_FALSE(decode("deflate", {}, 1).ended);
}

} // namespace
} // namespace tidewell::test
