#include "kisslog/recorded_time.h"

#include <gtest/gtest.h>

#include "kisslog/kiss.h"
#include "support/test_support.h"

using namespace varne4;
using kiss::StampProblem;
using test::ByteVector;

namespace {

const DateTime kNow{2026, 12, 5, 3, 36, 34, 678};

ByteVector textStamp(std::string_view text) {
    ByteVector content{kiss::kTimeStampCommand};
    content.insert(content.end(), text.begin(), text.end());
    return content;
}

ByteVector binaryStamp(std::int64_t millis, std::size_t length = 8) {
    ByteVector content{kiss::kTimeStampCommand};
    for (std::size_t i = length; i-- > 0;)
        content.push_back(static_cast<std::uint8_t>(i < 8 ? static_cast<std::uint64_t>(millis) >> (8 * i) : 0));
    return content;
}

} // namespace

TEST(readRecordedTime, ReadsBothFormsWithinTheirRange) {
    const std::int64_t now = unixMillis(kNow), day = 86400000;
    const struct {
        const char* behaviour;
        ByteVector content;
        std::optional<DateTime> time;
        StampProblem problem;
    } cases[] = {
        {"our own text", textStamp("2026-11-28 14:02:05.250 UTC"), DateTime{2026, 11, 28, 14, 2, 5, 250},
         StampProblem::None},
        {"text without UTC", textStamp("2026-11-28 14:02:05.250"), DateTime{2026, 11, 28, 14, 2, 5, 250},
         StampProblem::None},
        {"leap day", textStamp("2024-02-29 00:00:00.000 UTC"), DateTime{2024, 2, 29}, StampProblem::None},
        {"big-endian milliseconds", binaryStamp(unixMillis({2026, 11, 28, 14, 2, 5, 250})),
         DateTime{2026, 11, 28, 14, 2, 5, 250}, StampProblem::None},
        {"first instant of 1990", binaryStamp(631152000000), DateTime{1990, 1, 1}, StampProblem::None},
        {"exactly a day ahead", binaryStamp(now + day), dateTimeFromUnixMillis(now + day), StampProblem::None},
        {"text before 1990", textStamp("1989-12-31 23:59:59.999 UTC"), std::nullopt, StampProblem::TooEarly},
        {"milliseconds before 1990", binaryStamp(631151999999), std::nullopt, StampProblem::TooEarly},
        {"zero", binaryStamp(0), std::nullopt, StampProblem::TooEarly},
        {"negative", binaryStamp(-1), std::nullopt, StampProblem::TooEarly},
        {"seconds, not milliseconds", binaryStamp(1795874525), std::nullopt, StampProblem::TooEarly},
        {"a day and a millisecond ahead", binaryStamp(now + day + 1), std::nullopt, StampProblem::TooLate},
        {"text in a later year", textStamp("2031-01-01 00:00:00.000 UTC"), std::nullopt, StampProblem::TooLate},
        {"seven bytes", binaryStamp(now, 7), std::nullopt, StampProblem::Unreadable},
        {"nine bytes", binaryStamp(now, 9), std::nullopt, StampProblem::Unreadable},
        {"nothing after the command", textStamp(""), std::nullopt, StampProblem::Unreadable},
        {"garbage", textStamp("hello, world"), std::nullopt, StampProblem::Unreadable},
        {"no milliseconds", textStamp("2026-11-28 14:02:05 UTC"), std::nullopt, StampProblem::Unreadable},
        {"30 February", textStamp("2026-02-30 14:02:05.250 UTC"), std::nullopt, StampProblem::Unreadable},
        {"hour 24", textStamp("2026-11-28 24:00:00.000 UTC"), std::nullopt, StampProblem::Unreadable},
        {"other zone", textStamp("2026-11-28 14:02:05.250 CET"), std::nullopt, StampProblem::Unreadable},
        {"not a stamp record", ByteVector{0x00, '2', '0'}, std::nullopt, StampProblem::Unreadable},
    };
    for (const auto& c : cases) {
        const kiss::RecordedTime r = kiss::readRecordedTime(c.content, kNow);
        EXPECT_EQ(r.time, c.time) << c.behaviour;
        EXPECT_EQ(r.problem, c.problem) << c.behaviour;
        EXPECT_EQ(kiss::stampProblemText(r).empty(), c.problem == StampProblem::None) << c.behaviour;
    }
}

TEST(stampProblemText, NamesTheTimeWhenItHasOne) {
    EXPECT_EQ(kiss::stampProblemText(kiss::readRecordedTime(binaryStamp(0), kNow)),
              "time stamp 1970-01-01 00:00:00.000 UTC is before 1990");
    EXPECT_EQ(kiss::stampProblemText(kiss::readRecordedTime(binaryStamp(INT64_MAX), kNow)),
              "time stamp 9223372036854775807 ms is more than a day ahead");
    EXPECT_EQ(kiss::stampProblemText(kiss::readRecordedTime(binaryStamp(INT64_MIN), kNow)),
              "time stamp -9223372036854775808 ms is before 1990");
}
