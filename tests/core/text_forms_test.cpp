#include "decode/text_forms.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace varne4 {
namespace {

TEST(ByteToBits, PutsBitSevenFirst) {
    const struct {
        std::uint8_t value;
        const char* bits;
    } cases[] = {{0, "00000000"}, {1, "00000001"}, {128, "10000000"}, {0xA5, "10100101"}, {255, "11111111"}};
    for (const auto& c : cases) EXPECT_EQ(ByteToBits(c.value), c.bits) << int(c.value);
}

TEST(SecondsToDuration, FloorsDaysAndPadsTheClock) {
    const struct {
        std::int32_t seconds;
        const char* text;
    } cases[] = {
        {0, "0d 00:00:00"}, {86399, "0d 23:59:59"}, {86400, "1d 00:00:00"}, {93784, "1d 02:03:04"},
        // Negative counts floor towards the earlier day; the clock part stays positive.
        {-1, "-1d 23:59:59"}, {-86400, "-1d 00:00:00"}, {-86401, "-2d 23:59:59"},
        {std::numeric_limits<std::int32_t>::max(), "24855d 03:14:07"},
        {std::numeric_limits<std::int32_t>::min(), "-24856d 20:45:52"},
    };
    for (const auto& c : cases) EXPECT_EQ(SecondsToDuration(c.seconds), c.text) << c.seconds;
}

TEST(MinutesToDate, CountsFromTheStartOf1900) {
    const struct {
        double minutes;
        DateTime expected;
    } cases[] = {
        {0, {1900, 1, 1, 0, 0, 0, 0}}, {60, {1900, 1, 1, 1, 0, 0, 0}},
        {1440, {1900, 1, 2, 0, 0, 0, 0}}, {0.5, {1900, 1, 1, 0, 0, 30, 0}},
        // 1900 is no leap year, 2000 is.
        {59.0 * 1440, {1900, 3, 1, 0, 0, 0, 0}},
        {std::numeric_limits<std::uint32_t>::max() / 60.0, {2036, 2, 7, 6, 28, 15, 0}},
    };
    for (const auto& c : cases) {
        const auto date = MinutesToDate(c.minutes);
        ASSERT_TRUE(date.has_value()) << c.minutes;
        EXPECT_EQ(*date, c.expected) << c.minutes;
    }
}

// The decoder stores second counts divided by 60; the instant must come back to
// the very second, although most of those quotients are not exact in binary.
TEST(MinutesToDate, GivesBackTheSecondCountItWasMadeOf) {
    constexpr std::int64_t kUnixTo1900 = 2208988800;
    const std::uint32_t starts[] = {0, 3973557600u, 4294967295u - 5000};
    for (std::uint32_t start : starts) {
        for (std::uint32_t r = start; r < start + 5000 && r >= start; ++r) {
            const auto date = MinutesToDate(r / 60.0);
            ASSERT_TRUE(date.has_value()) << r;
            const auto expected = dateTimeFromUnixMillis((std::int64_t{r} - kUnixTo1900) * 1000);
            ASSERT_EQ(*date, expected) << "second count " << r;
        }
    }
}

TEST(MinutesToDate, GivesNothingForValuesThatAreNoInstant) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (double m : {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1e300})
        EXPECT_FALSE(MinutesToDate(m).has_value()) << m;
}

TEST(minuteText, DropsTheSecondsAndShowsMidnight) {
    const DisplayFormat fixed;
    const struct {
        double minutes;
        const char* text;
    } cases[] = {
        {1440, "1900-01-02 00:00"},
        // A remainder of seconds never takes the minute up.
        {30.0 / 60, "1900-01-01 00:00"}, {59.0 / 60, "1900-01-01 00:00"}, {60 + 59.0 / 60, "1900-01-01 01:00"},
    };
    for (const auto& c : cases) {
        const auto date = MinutesToDate(c.minutes);
        ASSERT_TRUE(date.has_value()) << c.minutes;
        EXPECT_EQ(minuteText(*date, fixed), c.text) << c.minutes;
    }
}

TEST(generalNumberText, ShowsIntegersPlainAndFractionsToFifteenDigits) {
    const struct {
        double value;
        const char* point;
        const char* comma;
    } cases[] = {
        {0, "0", "0"}, {7650, "7650", "7650"}, {-0.5, "-0.5", "-0,5"}, {0.1, "0.1", "0,1"},
        {4294967295.0, "4294967295", "4294967295"}, {-2147483648.0, "-2147483648", "-2147483648"},
        {123456.789, "123456.789", "123456,789"}, {71582788.25, "71582788.25", "71582788,25"},
        // Fifteen significant digits, rounded.
        {1.0 / 60, "0.0166666666666667", "0,0166666666666667"}, {-1.0 / 3, "-0.333333333333333", "-0,333333333333333"},
        {2147483647.0 / 60, "35791394.1166667", "35791394,1166667"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(generalNumberText(c.value), c.point) << c.value;
        EXPECT_EQ(generalNumberText(c.value, ','), c.comma) << c.value;
    }
    std::string appended = "t=";
    appendGeneralNumber(appended, -0.5, ',');
    EXPECT_EQ(appended, "t=-0,5");
}

} // namespace
} // namespace varne4
