#include "base/utc_time.h"

namespace varne4 {
namespace {

// Writes a zero-padded number of `width` digits.
void appendDigits(std::string& out, int value, int width) {
    char buf[8];
    for (int i = width - 1; i >= 0; --i) {
        buf[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(buf, static_cast<std::size_t>(width));
}

} // namespace

// Howard Hinnant's civil-from-days and days-from-civil: exact for every day of
// the proleptic Gregorian calendar, no time-zone tables needed.
std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

DateTime dateTimeFromUnixMillis(std::int64_t millis) {
    std::int64_t days = millis / 86400000;
    std::int64_t rest = millis % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    DateTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    t.hour = static_cast<int>(rest / 3600000);
    t.minute = static_cast<int>(rest / 60000 % 60);
    t.second = static_cast<int>(rest / 1000 % 60);
    t.millisecond = static_cast<int>(rest % 1000);
    return t;
}

std::int64_t unixMillis(const DateTime& t) {
    const std::int64_t days = daysFromCivil(t.year, t.month, t.day);
    return ((days * 24 + t.hour) * 60 + t.minute) * 60000 + t.second * 1000LL + t.millisecond;
}

void appendUtcTimestamp(std::string& out, const DateTime& t) {
    appendDigits(out, t.year, 4);
    out += '-';
    appendDigits(out, t.month, 2);
    out += '-';
    appendDigits(out, t.day, 2);
    out += ' ';
    appendDigits(out, t.hour, 2);
    out += ':';
    appendDigits(out, t.minute, 2);
    out += ':';
    appendDigits(out, t.second, 2);
    out += '.';
    appendDigits(out, t.millisecond, 3);
}

std::string utcTimestamp(const DateTime& t) {
    std::string s;
    s.reserve(23);
    appendUtcTimestamp(s, t);
    return s;
}

std::string clockText(const DateTime& t) {
    std::string s;
    appendDigits(s, t.hour, 2);
    s += ':';
    appendDigits(s, t.minute, 2);
    s += ':';
    appendDigits(s, t.second, 2);
    s += " UTC";
    return s;
}

std::string fileStamp(const DateTime& t) {
    std::string s;
    appendDigits(s, t.day, 2);
    appendDigits(s, t.month, 2);
    appendDigits(s, t.year, 4);
    s += '_';
    appendDigits(s, t.hour, 2);
    appendDigits(s, t.minute, 2);
    return s;
}

std::string screenshotDate(const DateTime& t) {
    std::string s;
    appendDigits(s, t.day, 2);
    appendDigits(s, t.month, 2);
    appendDigits(s, t.year, 4);
    return s;
}

std::string uploadTimestamp(const DateTime& t) {
    std::string s = utcTimestamp(t);
    s[10] = 'T';
    s += 'Z';
    return s;
}

} // namespace varne4
