#pragma once
// The chart's points for one slot, built from the value history outside the chart.

#include <QString>

#include "decode/value_history.h"
#include "ui/value_chart_view.h"

namespace varne4::ui {

// One point per stored history entry, oldest first, at x = its row. At most
// `labelRoom` rows get a label, the hours and minutes of their own time stamp;
// they are every 1st, 2nd, 5th, 10th, 20th ... row, so labels stay put while
// rows are added.
ChartSeries buildChartSeries(const ValueHistory& history, int slot, int labelRoom);

// Rows between two labels: the smallest of 1, 2, 5, 10, 20, 50 ... that leaves
// at most `room` labels for `rows` rows.
int rowLabelStep(std::size_t rows, int room);

// "name [unit]", or the name alone when the slot has no unit.
QString chartTitle(const QString& name, const QString& unit);

} // namespace varne4::ui
