#include "BodyDecoder.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

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
