#include "base/utc_time.h"

#include <gtest/gtest.h>

using namespace varne4;

TEST(TimeTexts, UseTheirFixedFormats) {
    const struct {
        DateTime t;
        const char *stamp, *clock, *file, *screenshot, *upload;
    } cases[] = {
        {{2026, 12, 5, 3, 36, 34, 678},
         "2026-12-05 03:36:34.678",
         "03:36:34 UTC",
         "05122026_0336",
         "05122026",
         "2026-12-05T03:36:34.678Z"},
        {{2014, 3, 5, 7, 9, 5, 5},
         "2014-03-05 07:09:05.005",
         "07:09:05 UTC",
         "05032014_0709",
         "05032014",
         "2014-03-05T07:09:05.005Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utcTimestamp(c.t), c.stamp);
        EXPECT_EQ(clockText(c.t), c.clock);
        EXPECT_EQ(fileStamp(c.t), c.file);
        EXPECT_EQ(screenshotDate(c.t), c.screenshot);
        EXPECT_EQ(uploadTimestamp(c.t), c.upload);
        std::string appended = "at ";
        appendUtcTimestamp(appended, c.t);
        EXPECT_EQ(appended, std::string("at ") + c.stamp);
    }
}

// 2100 is no leap year; the last second of an unsigned 32-bit count since 1900, and
// the first past signed 32 bits.
TEST(UnixMillis, WalksTheCalendarBothWays) {
    constexpr std::int64_t s = 1000;
    const std::pair<std::int64_t, const char*> cases[] = {{0, "1970-01-01 00:00:00.000"},
                                                          {86399999, "1970-01-01 23:59:59.999"},
                                                          {-1, "1969-12-31 23:59:59.999"},
                                                          {-2208988800 * s, "1900-01-01 00:00:00.000"},
                                                          {951782400 * s, "2000-02-29 00:00:00.000"},
                                                          {1709164800 * s, "2024-02-29 00:00:00.000"},
                                                          {4107542400 * s - 1, "2100-02-28 23:59:59.999"},
                                                          {4107542400 * s, "2100-03-01 00:00:00.000"},
                                                          {2085978495 * s, "2036-02-07 06:28:15.000"},
                                                          {2147483648 * s, "2038-01-19 03:14:08.000"}};
    for (const auto& [millis, text] : cases) {
        EXPECT_EQ(utcTimestamp(dateTimeFromUnixMillis(millis)), text) << millis;
        EXPECT_EQ(unixMillis(dateTimeFromUnixMillis(millis)), millis) << millis;
    }
}

// Every 13th day of four and a half centuries either side of 1970 comes back to its count.
TEST(DaysFromCivil, IsTheInverseOfTheCalendarWalk) {
    for (std::int64_t day = -80000; day <= 80000; day += 13) {
        const auto t = dateTimeFromUnixMillis(day * 86400000 + 43200000);
        ASSERT_EQ(daysFromCivil(t.year, t.month, t.day), day) << t.year << "-" << t.month << "-" << t.day;
        ASSERT_EQ(t.hour, 12);
    }
}
