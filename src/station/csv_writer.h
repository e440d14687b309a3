#pragma once
// CSV of housekeeping values for spreadsheets and scripts, the same columns from
// the window's export and from `decode --format csv`: the frame's UTC time, then
// the 21 slots in panel order, their units in the header ("batt A voltage [mV]").
// Numbers use "." whatever the locale; the RTC is a UTC date and time, the state
// its eight bits, the event indicator its "&h" text.

#include <array>
#include <string>
#include <string_view>

#include "decode/beacon_table.h"
#include "decode/value_history.h"

namespace varne4 {

void appendCsvField(std::string& out, std::string_view field);
// "time [UTC]", then a column per slot; CR LF at the end.
void appendCsvHeader(std::string& out);
// The header name of a slot's column: its label and, in brackets, its unit.
std::string csvColumnName(int slot);
// `time`: the frame's UTC time stamp, or empty when it has none.
void appendCsvRow(std::string& out, std::string_view time, const std::array<double, kHousekeepingSlots>& values);
// The whole value history: header, then one row per entry, oldest first.
std::string historyCsv(const ValueHistory& history);
// The shortest text that reads back as exactly this number.
void appendExactNumber(std::string& out, double value);

} // namespace varne4
