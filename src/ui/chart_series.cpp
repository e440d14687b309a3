#include "ui/chart_series.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "decode/beacon_table.h"

namespace varne4::ui {

int rowLabelStep(std::size_t rows, int room) {
    room = std::max(room, 1);
    for (std::size_t power = 1;; power *= 10)
        for (std::size_t m : {1, 2, 5}) {
            const std::size_t step = m * power;
            if ((rows + step - 1) / step <= static_cast<std::size_t>(room) || step >= rows)
                return static_cast<int>(std::max<std::size_t>(step, 1));
        }
}

ChartSeries buildChartSeries(const ValueHistory& history, int slot, int labelRoom) {
    ChartSeries series;
    if (slot < 0 || slot >= kHousekeepingSlots) return series;
    series.kind = housekeepingFields[static_cast<std::size_t>(slot)].text == Text::MinuteText
                      ? ValueKind::MinutesSince1900
                      : ValueKind::Number;
    const std::size_t n = history.size();
    series.points.reserve(static_cast<qsizetype>(n));
    std::optional<std::pair<double, double>> bounds; // of the finite values; none while there are none
    for (std::size_t i = 0; i < n; ++i) {
        const double y = history.at(i).values[static_cast<std::size_t>(slot)];
        series.points.append(QPointF(static_cast<double>(i), y));
        if (!std::isfinite(y)) continue;
        bounds = bounds ? std::pair(std::min(bounds->first, y), std::max(bounds->second, y)) : std::pair(y, y);
    }
    if (bounds) std::tie(series.minY, series.maxY) = *bounds;

    const int step = rowLabelStep(n, labelRoom);
    for (std::size_t row = 0; row < n; row += static_cast<std::size_t>(step)) {
        // "yyyy-MM-dd HH:mm:ss.zzz": hours and minutes are characters 11 to 15.
        const std::string_view stamp = history.at(row).timestampText();
        series.rowLabels.append({static_cast<int>(row), QString::fromLatin1(stamp.data() + 11, 5)});
    }
    return series;
}

QString chartTitle(const QString& name, const QString& unit) {
    return unit.isEmpty() ? name : name + QStringLiteral(" [") + unit + QStringLiteral("]");
}

} // namespace varne4::ui
