#pragma once
// What the windows need of a chart: a title and one series of points. Qt Charts
// draws it today; keeping it behind this interface lets us move to its successor
// without touching the rest.

#include <QList>
#include <QPointF>
#include <QString>

namespace varne4::ui {

// One series, ready to hand over: x in milliseconds since 1970 (UTC), y the value.
struct ChartSeries {
    QList<QPointF> points;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
};

class ValueChartView {
public:
    virtual ~ValueChartView() = default;
    virtual void setTitle(const QString& title) = 0;
    virtual QString title() const = 0;
    // Replaces the whole series in one step.
    virtual void setSeries(ChartSeries series) = 0;
    virtual qsizetype pointCount() const = 0;
};

} // namespace varne4::ui
