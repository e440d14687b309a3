#include "decode/text_forms.h"

#include <gtest/gtest.h>

#include <limits>

using namespace varne4;

// Negative counts floor towards the earlier day; the time of day stays positive.
TEST(SecondsToDuration, FloorsDaysAndPadsTheClock) {
    const std::pair<std::int32_t, const char*> cases[] = {{0, "0d 00:00:00"},
                                                          {86399, "0d 23:59:59"},
                                                          {86400, "1d 00:00:00"},
                                                          {93784, "1d 02:03:04"},
                                                          {-1, "-1d 23:59:59"},
                                                          {-86400, "-1d 00:00:00"},
                                                          {-86401, "-2d 23:59:59"},
                                                          {2147483647, "24855d 03:14:07"},
                                                          {-2147483647 - 1, "-24856d 20:45:52"}};
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(SecondsToDuration(seconds), text) << seconds;
}

// 1900 is no leap year; values that are no instant give nothing.
TEST(MinutesToDate, CountsFromTheStartOf1900) {
    const std::pair<double, const char*> cases[] = {
        {0, "1900-01-01 00:00:00.000"},           {60, "1900-01-01 01:00:00.000"},
        {1440, "1900-01-02 00:00:00.000"},        {0.5, "1900-01-01 00:00:30.000"},
        {59.0 * 1440, "1900-03-01 00:00:00.000"}, {4294967295 / 60.0, "2036-02-07 06:28:15.000"}};
    for (const auto& [minutes, text] : cases)
        EXPECT_EQ(utcTimestamp(MinutesToDate(minutes).value()), text) << minutes;
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (double m : {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1e300})
        EXPECT_FALSE(MinutesToDate(m).has_value()) << m;
}

// The decoder stores second counts divided by 60; the instant must come back to
// the very second, although most of those quotients are not exact in binary.
TEST(MinutesToDate, GivesBackTheSecondCountItWasMadeOf) {
    constexpr std::int64_t kUnixTo1900 = 2208988800;
    for (std::uint32_t start : {0u, 3973557600u, 4294967295u - 5000})
        for (std::uint32_t r = start; r < start + 5000 && r >= start; ++r)
            ASSERT_EQ(MinutesToDate(r / 60.0), dateTimeFromUnixMillis((r - kUnixTo1900) * 1000)) << r;
}

// A remainder of seconds never takes the minute up.
TEST(minuteText, DropsTheSecondsAndShowsMidnight) {
    const std::pair<double, const char*> cases[] = {{1440, "1900-01-02 00:00"},
                                                    {30.0 / 60, "1900-01-01 00:00"},
                                                    {59.0 / 60, "1900-01-01 00:00"},
                                                    {60 + 59.0 / 60, "1900-01-01 01:00"}};
    for (const auto& [minutes, text] : cases)
        EXPECT_EQ(minuteText(MinutesToDate(minutes).value(), DisplayFormat{}), text) << minutes;
}

// Fifteen significant digits, rounded; the reader's decimal separator.
TEST(generalNumberText, ShowsIntegersPlainAndFractionsToFifteenDigits) {
    const std::pair<double, const char*> cases[] = {{0, "0"},
                                                    {7650, "7650"},
                                                    {-0.5, "-0.5"},
                                                    {0.1, "0.1"},
                                                    {4294967295.0, "4294967295"},
                                                    {-2147483648.0, "-2147483648"},
                                                    {123456.789, "123456.789"},
                                                    {71582788.25, "71582788.25"},
                                                    {1.0 / 60, "0.0166666666666667"},
                                                    {-1.0 / 3, "-0.333333333333333"},
                                                    {2147483647.0 / 60, "35791394.1166667"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(generalNumberText(value), text) << value;
    EXPECT_EQ(generalNumberText(-1.0 / 3, ','), "-0,333333333333333");
    EXPECT_EQ(generalNumberText(7650, ','), "7650");
}
