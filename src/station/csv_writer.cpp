#include "station/csv_writer.h"

#include <charconv>

namespace varne4 {

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

void appendCsvHeader(std::string& out, std::string_view timeColumn) {
    appendCsvField(out, timeColumn);
    for (const auto& f : housekeepingFields) {
        out += ',';
        appendCsvField(out, f.label);
    }
    out += "\r\n";
}

void appendExactNumber(std::string& out, double value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

void appendCsvRow(std::string& out, std::string_view time, const std::array<double, kHousekeepingSlots>& values) {
    appendCsvField(out, time);
    for (double v : values) {
        out += ',';
        appendExactNumber(out, v);
    }
    out += "\r\n";
}

std::string historyCsv(const ValueHistory& history) {
    std::string out;
    out.reserve(64 + history.size() * 160);
    appendCsvHeader(out, "timestamp (UTC)");
    for (std::size_t i = 0; i < history.size(); ++i)
        appendCsvRow(out, history.at(i).timestampText(), history.at(i).values);
    return out;
}

} // namespace varne4
