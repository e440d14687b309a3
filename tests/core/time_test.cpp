#include "base/system_clock.h"
#include "base/utc_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>

namespace varne4 {
namespace {

TEST(TimeTexts, UseTheirFixedFormats) {
    const struct {
        DateTime t;
        const char* stamp;
        const char* clock;
        const char* file;
        const char* screenshot;
        const char* upload;
    } cases[] = {
        {{2026, 12, 5, 3, 36, 34, 678}, "2026-12-05 03:36:34.678", "03:36:34 UTC", "05122026_0336", "05122026",
         "2026-12-05T03:36:34.678Z"},
        {{2014, 3, 5, 7, 9, 5, 5}, "2014-03-05 07:09:05.005", "07:09:05 UTC", "05032014_0709", "05032014",
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

TEST(DateTimeFromUnixMillis, WalksTheCalendar) {
    constexpr std::int64_t s = 1000;
    const struct {
        std::int64_t millis;
        DateTime expected;
    } cases[] = {
        {86399999, {1970, 1, 1, 23, 59, 59, 999}}, {-1, {1969, 12, 31, 23, 59, 59, 999}},
        {1709164800 * s, {2024, 2, 29, 0, 0, 0, 0}}, {951782400 * s, {2000, 2, 29, 0, 0, 0, 0}},
        // 2100 is no leap year: 28 February is followed by 1 March.
        {4107542400 * s - 1, {2100, 2, 28, 23, 59, 59, 999}}, {4107542400 * s, {2100, 3, 1, 0, 0, 0, 0}},
        // The last second of an unsigned 32-bit count since 1900, and the first past signed 32 bits.
        {2085978495 * s, {2036, 2, 7, 6, 28, 15, 0}}, {2147483648 * s, {2038, 1, 19, 3, 14, 8, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(dateTimeFromUnixMillis(c.millis), c.expected) << c.millis;
}

TEST(DaysFromCivil, IsTheInverseOfTheCalendarWalk) {
    EXPECT_EQ(daysFromCivil(1900, 1, 1), -25567);
    for (std::int64_t day = -80000; day <= 80000; day += 13) {
        const auto t = dateTimeFromUnixMillis(day * 86400000 + 43200000);
        ASSERT_EQ(daysFromCivil(t.year, t.month, t.day), day) << t.year << "-" << t.month << "-" << t.day;
        ASSERT_EQ(t.hour, 12);
    }
}

TEST(SystemClock, TellsTheTimeOfTheOperatingSystem) {
    const SystemClock clock;
    const auto now = clock.utcNow();
    using namespace std::chrono;
    const auto expected = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::int64_t got = ((daysFromCivil(now.year, now.month, now.day) * 24 + now.hour) * 60 + now.minute) * 60000 +
                             now.second * 1000 + now.millisecond;
    EXPECT_LT(std::llabs(expected - got), 5000);
    EXPECT_TRUE(now.millisecond >= 0 && now.millisecond <= 999) << now.millisecond;
    EXPECT_LE(std::abs(clock.localNow().year - now.year), 1);
}

} // namespace
} // namespace varne4
