#include "ui/chart_series.h"

#include <algorithm>
#include <cmath>

#include "base/utc_time.h"

namespace varne4::ui {

namespace {

bool digits(std::string_view text, std::size_t pos, std::size_t count, int& out) {
    int v = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

} // namespace

std::optional<std::int64_t> timestampMillis(std::string_view text) {
    // Parsed by hand: a refresh reads up to 10,000 of these per frame.
    if (text.size() != 23 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.')
        return std::nullopt;
    int y, mo, d, h, mi, s, ms;
    if (!digits(text, 0, 4, y) || !digits(text, 5, 2, mo) || !digits(text, 8, 2, d) || !digits(text, 11, 2, h) ||
        !digits(text, 14, 2, mi) || !digits(text, 17, 2, s) || !digits(text, 20, 3, ms))
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
    return unixMillis(DateTime{y, mo, d, h, mi, s, ms});
}

ChartSeries buildChartSeries(const ValueHistory& history, int slot) {
    ChartSeries series;
    if (slot < 0 || slot >= kHousekeepingSlots) return series;
    const std::size_t n = history.size();
    series.points.reserve(static_cast<qsizetype>(n));
    struct Bounds {
        double minX, maxX, minY, maxY;
    };
    std::optional<Bounds> bounds; // of the finite values; none while there are none
    double lastX = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const HistoryEntry& e = history.at(i);
        const auto ms = timestampMillis(e.timestampText());
        const double x = ms ? static_cast<double>(*ms) : lastX;
        const double y = e.values[static_cast<std::size_t>(slot)];
        series.points.append(QPointF(x, y));
        lastX = x;
        if (!std::isfinite(y)) continue;
        if (!bounds) {
            bounds = Bounds{x, x, y, y};
            continue;
        }
        bounds->minX = std::min(bounds->minX, x);
        bounds->maxX = std::max(bounds->maxX, x);
        bounds->minY = std::min(bounds->minY, y);
        bounds->maxY = std::max(bounds->maxY, y);
    }
    if (bounds) {
        series.minX = bounds->minX;
        series.maxX = bounds->maxX;
        series.minY = bounds->minY;
        series.maxY = bounds->maxY;
    }
    return series;
}

QString chartTitle(const QString& name, const QString& unit) {
    return unit.isEmpty() ? name : name + QStringLiteral(" [") + unit + QStringLiteral("]");
}

} // namespace varne4::ui
