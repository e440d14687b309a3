#include "station/csv_writer.h"

#include <charconv>

#include "decode/beacon_decoder.h"
#include "decode/text_forms.h"

namespace varne4 {

namespace {
constexpr std::string_view kTimeColumn = "time [UTC]";
}

void appendCsvField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string csvColumnName(int slot) {
    const auto& f = housekeepingFields[static_cast<std::size_t>(slot)];
    std::string name(f.label);
    // The RTC's column holds a date and time, not the seconds its panel unit names.
    const std::string_view unit = f.text == Text::MinuteText ? std::string_view("UTC") : f.unit;
    if (!unit.empty()) name += " [" + std::string(unit) + "]";
    return name;
}

void appendCsvHeader(std::string& out) {
    appendCsvField(out, kTimeColumn);
    for (const auto& f : housekeepingFields) {
        out += ',';
        appendCsvField(out, csvColumnName(f.slot));
    }
    out += "\r\n";
}

void appendExactNumber(std::string& out, double value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

void appendCsvRow(std::string& out, std::string_view time, const std::array<double, kHousekeepingSlots>& values) {
    static const DisplayFormat fixed; // "." and "yyyy-MM-dd" whatever the locale
    appendCsvField(out, time);
    for (const auto& f : housekeepingFields) {
        const double v = values[static_cast<std::size_t>(f.slot)];
        out += ',';
        switch (f.text) {
        case Text::AmpHex:
        case Text::Bits:
            out += BeaconDecoder::slotText(f.slot, v, fixed);
            break;
        case Text::MinuteText:
            // Whole seconds: a spreadsheet reads "yyyy-MM-dd HH:mm:ss" as a date and time.
            if (const auto t = MinutesToDate(v)) out += utcTimestamp(*t).substr(0, 19);
            break;
        case Text::Seconds:
        case Text::Number:
            appendExactNumber(out, v);
            break;
        }
    }
    out += "\r\n";
}

std::string historyCsv(const ValueHistory& history) {
    std::string out;
    out.reserve(64 + history.size() * 160);
    appendCsvHeader(out);
    for (std::size_t i = 0; i < history.size(); ++i)
        appendCsvRow(out, history.at(i).timestampText(), history.at(i).values);
    return out;
}

} // namespace varne4
