#include "FieldValue.h"
#include "RuntimeError.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

int errorNumberOf(const std::function<void()> &read)
{
    try {
        read();
    } catch (const RuntimeError &error) {
        return error.number();
    }
    return 0;
}

TEST(FieldValue, NullRaisesInvalidUseOfNullForEveryReading)
{
    const FieldValue null;
    EXPECT_TRUE(null.isNull());
    EXPECT_EQ(errorNumberOf([&] { null.toText(); }), errnum::InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { null.toInt16(); }), errnum::InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { null.toBool(); }), errnum::InvalidUseOfNull);
}

TEST(FieldValue, SixteenBitMinutesOverflowBeyondTheirRange)
{
    EXPECT_EQ(FieldValue(qint64{32767}).toInt16(), 32767);
    EXPECT_EQ(FieldValue(qint64{-32768}).toInt16(), -32768);
    EXPECT_EQ(errorNumberOf([] { FieldValue(qint64{40000}).toInt16(); }), errnum::Overflow);
    EXPECT_EQ(errorNumberOf([] { FieldValue(qint64{-32769}).toInt16(); }), errnum::Overflow);
    EXPECT_EQ(errorNumberOf([] { FieldValue(1e300).toInt16(); }), errnum::Overflow);
}

TEST(FieldValue, RealMinutesRoundHalfToEven)
{
    EXPECT_EQ(FieldValue(2.5).toInt16(), 2);
    EXPECT_EQ(FieldValue(3.5).toInt16(), 4);
    EXPECT_EQ(FieldValue(-2.5).toInt16(), -2);
    EXPECT_EQ(FieldValue(QStringLiteral(" 15 ")).toInt16(), 15);
    EXPECT_EQ(errorNumberOf([] { FieldValue(QStringLiteral("soon")).toInt16(); }), errnum::TypeMismatch);
}

TEST(FieldValue, ActiveReadsNumbersAndWords)
{
    EXPECT_TRUE(FieldValue(qint64{1}).toBool());
    EXPECT_TRUE(FieldValue(qint64{-1}).toBool());
    EXPECT_FALSE(FieldValue(qint64{0}).toBool());
    EXPECT_TRUE(FieldValue(QStringLiteral("True")).toBool());
    EXPECT_FALSE(FieldValue(QStringLiteral("false")).toBool());
    EXPECT_EQ(errorNumberOf([] { FieldValue(QStringLiteral("Yes please")).toBool(); }), errnum::TypeMismatch);
}

TEST(FieldValue, TextOfNumbers)
{
    EXPECT_EQ(FieldValue(qint64{15}).toText(), QStringLiteral("15"));
    EXPECT_EQ(FieldValue(2.5).toText(), QStringLiteral("2.5"));
    EXPECT_EQ(FieldValue(QString()).toText(), QString());
}

} // namespace
} // namespace tidewell
