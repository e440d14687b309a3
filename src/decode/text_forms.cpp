#include "decode/text_forms.h"

#include <charconv>
#include <cmath>

namespace varne4 {
namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
// 1900-01-01 counted in days from 1970-01-01.
const std::int64_t kDays1900 = daysFromCivil(1900, 1, 1);
} // namespace

void appendByteHex(std::string& out, std::uint8_t value) {
    out += kHexDigits[value >> 4];
    out += kHexDigits[value & 0x0F];
}

std::string ByteToHex(std::uint8_t value) {
    std::string s;
    appendByteHex(s, value);
    return s;
}

std::string ByteToBits(std::uint8_t value) {
    std::string s(8, '0');
    for (int i = 0; i < 8; ++i)
        if (value & (0x80 >> i)) s[static_cast<std::size_t>(i)] = '1';
    return s;
}

std::string SecondsToDuration(std::int32_t seconds) {
    const std::int64_t s = seconds;
    std::int64_t days = s / 86400;
    if (s % 86400 < 0) --days; // floor, so the clock part is never negative
    std::int64_t rest = s - days * 86400;
    const auto hours = rest / 3600;
    rest -= hours * 3600;
    const auto minutes = rest / 60;
    const auto secs = rest - minutes * 60;
    std::string text = std::to_string(days) + "d ";
    auto two = [&text](std::int64_t v) {
        text += static_cast<char>('0' + v / 10);
        text += static_cast<char>('0' + v % 10);
    };
    two(hours);
    text += ':';
    two(minutes);
    text += ':';
    two(secs);
    return text;
}

std::optional<DateTime> MinutesToDate(double minutes) {
    if (!std::isfinite(minutes)) return std::nullopt;
    const double secondsD = std::round(minutes * 60.0);
    // Stay within years 1 to 9999 either side.
    if (std::fabs(secondsD) > 2.5e11) return std::nullopt;
    const auto seconds = static_cast<std::int64_t>(secondsD);
    return dateTimeFromUnixMillis((kDays1900 * 86400 + seconds) * 1000);
}

std::string DisplayFormat::shortDate(const DateTime& t) const {
    std::string s = utcTimestamp(t);
    s.resize(10);
    return s;
}

void appendGeneralNumber(std::string& out, double value, char decimalSeparator) {
    char buf[64];
    std::to_chars_result r;
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
    } else {
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    }
    for (char* p = buf; p != r.ptr; ++p)
        if (*p == '.') *p = decimalSeparator;
    out.append(buf, r.ptr);
}

std::string generalNumberText(double value, char decimalSeparator) {
    std::string s;
    appendGeneralNumber(s, value, decimalSeparator);
    return s;
}

std::string minuteText(const DateTime& t, const DisplayFormat& format) {
    std::string s = format.shortDate(t);
    s += ' ';
    s += static_cast<char>('0' + t.hour / 10);
    s += static_cast<char>('0' + t.hour % 10);
    s += format.timeSeparator();
    s += static_cast<char>('0' + t.minute / 10);
    s += static_cast<char>('0' + t.minute % 10);
    return s;
}

} // namespace varne4
