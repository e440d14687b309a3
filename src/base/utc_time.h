#pragma once
// UTC time: one injectable clock and the program's fixed time texts.

#include <cstdint>
#include <string>

namespace varne4 {

// A calendar instant to the millisecond. Taken from one reading of the clock,
// so seconds and milliseconds always belong together.
struct DateTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime utcNow() const = 0;
    // The local calendar date; only screenshot names use it.
    virtual DateTime localNow() const = 0;
};

// A clock that stands still until told otherwise; for tests and replays.
class FixedClock final : public Clock {
public:
    explicit FixedClock(DateTime t) : utc_(t), local_(t) {}
    void set(DateTime t) {
        utc_ = t;
        local_ = t;
    }
    void setLocal(DateTime t) { local_ = t; }
    DateTime utcNow() const override { return utc_; }
    DateTime localNow() const override { return local_; }

private:
    DateTime utc_, local_;
};

// Civil date from days since 1970-01-01 and back (proleptic Gregorian).
DateTime dateTimeFromUnixMillis(std::int64_t millis);
std::int64_t unixMillis(const DateTime& t);
std::int64_t daysFromCivil(int year, int month, int day);

// "yyyy-MM-dd HH:mm:ss.zzz", always 23 characters.
std::string utcTimestamp(const DateTime& t);
void appendUtcTimestamp(std::string& out, const DateTime& t);
// "HH:mm:ss UTC"
std::string clockText(const DateTime& t);
// "ddMMyyyy_HHmm"
std::string fileStamp(const DateTime& t);
// "ddMMyyyy" of the local date
std::string screenshotDate(const DateTime& localT);
// ISO 8601 with milliseconds: "yyyy-MM-ddTHH:mm:ss.zzzZ"
std::string uploadTimestamp(const DateTime& t);

} // namespace varne4
