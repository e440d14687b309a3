#pragma once
// The chart's points for one slot, built from the value history outside the chart.

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

#include "decode/value_history.h"
#include "ui/value_chart_view.h"

namespace varne4::ui {

// Milliseconds since 1970 of "yyyy-MM-dd HH:mm:ss.zzz" (UTC); nothing when the text
// is not such a time stamp.
std::optional<std::int64_t> timestampMillis(std::string_view text);

// One point per stored history entry, oldest first. An entry whose time stamp
// cannot be read keeps its row, at the time of the row before it.
ChartSeries buildChartSeries(const ValueHistory& history, int slot);

// "name [unit]", or the name alone when the slot has no unit.
QString chartTitle(const QString& name, const QString& unit);

} // namespace varne4::ui
