#include "FormatCountdown.h"
#include "RuntimeError.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

struct Case
{
    qint32 seconds;
    const char *text;
};

class FormatCountdownTest : public testing::TestWithParam<Case>
{
};

TEST_P(FormatCountdownTest, FormatsSeconds)
{
    EXPECT_EQ(FormatCountdown(GetParam().seconds).toStdString(), GetParam().text);
}

constexpr qint32 day = 86400;

INSTANTIATE_TEST_SUITE_P(
    Boundaries, FormatCountdownTest,
    testing::Values(Case{0, "00:00:00"}, Case{1, "00:00:01"}, Case{299, "00:04:59"}, Case{300, "00:05:00"},
                    Case{3600, "01:00:00"}, Case{5400, "01:30:00"}, Case{day - 1, "23:59:59"},
                    // A whole number of days is that many days, not zero time.
                    Case{day, "1 day(s) and 00:00:00"}, Case{2 * day, "2 day(s) and 00:00:00"},
                    Case{day + 1, "1 day(s) and 00:00:01"}, Case{day + 3661, "1 day(s) and 01:01:01"},
                    Case{2 * day + 1, "2 day(s) and 00:00:01"}, Case{2000 * 60, "1 day(s) and 09:20:00"},
                    Case{32767 * 60, "22 day(s) and 18:07:00"},
                    // Negative counts show their absolute value as a time of day.
                    Case{-1, "00:00:01"}, Case{-300, "00:05:00"}, Case{-day - 60, "00:01:00"}));

TEST(FormatCountdownLimits, LargestCountsStayWithinTheDayCounter)
{
    EXPECT_EQ(FormatCountdown(std::numeric_limits<qint32>::max()).toStdString(), "24855 day(s) and 03:14:07");
    EXPECT_EQ(FormatCountdown(std::numeric_limits<qint32>::min()).toStdString(), "03:14:08");
}

} // namespace
} // namespace tidewell
