#include "kisslog/recorded_time.h"

#include <string_view>

#include "kisslog/kiss.h"

namespace varne4::kiss {
namespace {

constexpr std::int64_t kDayMillis = 86400000;
// 1990-01-01 00:00:00 UTC
constexpr std::int64_t kEarliestMillis = 631152000000;
constexpr std::string_view kUtcSuffix = " UTC";

bool digits(std::string_view text, std::size_t pos, std::size_t count, int& out) {
    int v = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::optional<std::int64_t> textMillis(std::string_view text) {
    if (text.ends_with(kUtcSuffix)) text.remove_suffix(kUtcSuffix.size());
    if (text.size() != 23 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.')
        return std::nullopt;
    DateTime t;
    if (!digits(text, 0, 4, t.year) || !digits(text, 5, 2, t.month) || !digits(text, 8, 2, t.day) ||
        !digits(text, 11, 2, t.hour) || !digits(text, 14, 2, t.minute) || !digits(text, 17, 2, t.second) ||
        !digits(text, 20, 3, t.millisecond))
        return std::nullopt;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.year, t.month) || t.hour > 23 ||
        t.minute > 59 || t.second > 59)
        return std::nullopt;
    return unixMillis(t);
}

std::int64_t bigEndianMillis(std::span<const std::uint8_t> bytes) {
    std::uint64_t v = 0;
    for (auto b : bytes)
        v = (v << 8) | b;
    return static_cast<std::int64_t>(v);
}

} // namespace

RecordedTime readRecordedTime(std::span<const std::uint8_t> content, const DateTime& now) {
    RecordedTime r;
    if (content.empty() || content.front() != kTimeStampCommand) {
        r.problem = StampProblem::Unreadable;
        return r;
    }
    const auto body = content.subspan(1);
    std::optional<std::int64_t> millis;
    if (body.size() == 8)
        millis = bigEndianMillis(body);
    else
        millis = textMillis(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    if (!millis) {
        r.problem = StampProblem::Unreadable;
        return r;
    }
    r.millis = *millis;
    if (*millis < kEarliestMillis)
        r.problem = StampProblem::TooEarly;
    else if (*millis > unixMillis(now) + kDayMillis)
        r.problem = StampProblem::TooLate;
    else
        r.time = dateTimeFromUnixMillis(*millis);
    return r;
}

std::string stampProblemText(const RecordedTime& reading) {
    switch (reading.problem) {
    case StampProblem::None:
        return {};
    case StampProblem::Unreadable:
        return "time stamp is neither a UTC time text nor 8 bytes of Unix milliseconds";
    case StampProblem::TooEarly:
    case StampProblem::TooLate: {
        // Years outside 0 to 9999 do not fit the text form; the raw count says enough then.
        constexpr std::int64_t kYear0 = -62167219200000, kYear10000 = 253402300800000;
        const bool printable = reading.millis >= kYear0 && reading.millis < kYear10000;
        return "time stamp " +
               (printable ? utcTimestamp(dateTimeFromUnixMillis(reading.millis)) + " UTC"
                          : std::to_string(reading.millis) + " ms") +
               (reading.problem == StampProblem::TooEarly ? " is before 1990" : " is more than a day ahead");
    }
    }
    return {};
}

} // namespace varne4::kiss
