#pragma once
// CSV of housekeeping values: a time column, then the 21 slots in panel order,
// "." as decimal separator so spreadsheets and scripts read it alike.

#include <array>
#include <string>
#include <string_view>

#include "decode/beacon_table.h"
#include "decode/value_history.h"

namespace varne4 {

void appendCsvField(std::string& out, std::string_view field);
// `timeColumn`, then the 21 slot labels; CR LF at the end.
void appendCsvHeader(std::string& out, std::string_view timeColumn);
void appendCsvRow(std::string& out, std::string_view time, const std::array<double, kHousekeepingSlots>& values);
// The whole value history: header, then one row per entry, oldest first.
std::string historyCsv(const ValueHistory& history);
// The shortest text that reads back as exactly this number.
void appendExactNumber(std::string& out, double value);

} // namespace varne4
