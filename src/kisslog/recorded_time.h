#pragma once
// The time a KISS file gives a frame: the time-stamp record before it. Our own
// logs write it as text, other ground-station tools as 8 bytes of Unix
// milliseconds; both are read.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/utc_time.h"

namespace varne4::kiss {

enum class StampProblem : std::uint8_t {
    None,
    Unreadable, // neither the text form nor 8 bytes of milliseconds
    TooEarly,   // before 1990: no station recorded then, so the clock was wrong
    TooLate,    // more than a day after the reader's clock
};

struct RecordedTime {
    std::optional<DateTime> time; // empty whenever problem is not None
    StampProblem problem = StampProblem::None;
    std::int64_t millis = 0; // what the record said, for reports of a time out of range
};

// `content` is a time-stamp record's content, the command byte 0x09 first: either
// "yyyy-MM-dd HH:mm:ss.zzz" with or without " UTC" behind it, or 8 bytes of
// big-endian milliseconds since 1970 (UTC).
RecordedTime readRecordedTime(std::span<const std::uint8_t> content, const DateTime& now);

// Why a stamp gives no time, for the status log and standard error.
std::string stampProblemText(const RecordedTime& reading);

} // namespace varne4::kiss
