#pragma once
// Text forms of decoded values: hex and bit texts, durations, dates, numbers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/utc_time.h"

namespace varne4 {

// Two upper-case hex digits.
std::string ByteToHex(std::uint8_t value);
void appendByteHex(std::string& out, std::uint8_t value);
// Eight "0"/"1" characters, bit 7 first.
std::string ByteToBits(std::uint8_t value);
// "<days>d HH:mm:ss" with floor division, so -1 gives "-1d 23:59:59".
std::string SecondsToDuration(std::int32_t seconds);
// The instant `minutes` after 1900-01-01 00:00:00; seconds are whole (a fraction
// of a second is rounded), nothing for values that are not finite or out of range.
std::optional<DateTime> MinutesToDate(double minutes);

// How numbers and date-times look to the reader. The default is fixed
// ("." and "yyyy-MM-dd HH:mm") for scripts; the windows hand in the user's locale.
class DisplayFormat {
public:
    virtual ~DisplayFormat() = default;
    virtual char decimalSeparator() const { return '.'; }
    // Date part of a minute text; default "yyyy-MM-dd".
    virtual std::string shortDate(const DateTime& t) const;
    virtual char timeSeparator() const { return ':'; }
};

// Integral values without fraction; others with up to 15 significant digits.
std::string generalNumberText(double value, char decimalSeparator = '.');
void appendGeneralNumber(std::string& out, double value, char decimalSeparator = '.');
// Short date, a blank, hours and minutes; seconds are dropped.
std::string minuteText(const DateTime& t, const DisplayFormat& format);

} // namespace varne4
