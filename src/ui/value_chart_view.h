#pragma once
// What the windows need of a chart: a title and one series of points. Qt Charts
// draws it today; keeping it behind this interface lets us move to its successor
// without touching the rest.

#include <QList>
#include <QPointF>
#include <QString>

namespace varne4::ui {

// A label under one row of the chart.
struct RowLabel {
    int row = 0;
    QString text;
    friend bool operator==(const RowLabel&, const RowLabel&) = default;
};

// How the value axis reads its numbers.
enum class ValueKind {
    Number,
    MinutesSince1900, // a date: the axis shows dates, not 6.676e+07
};

// One series, ready to hand over: one row per history entry, evenly spaced,
// x the row (0 the oldest), y the value. Rows are not placed by time: an import
// arrives within a millisecond, and passes hours apart would be joined by a line.
struct ChartSeries {
    QList<QPointF> points;
    QList<RowLabel> rowLabels; // the rows that carry a label, in row order
    double minY = 0, maxY = 0; // of the finite values
    ValueKind kind = ValueKind::Number;
};

class ValueChartView {
public:
    virtual ~ValueChartView() = default;
    virtual void setTitle(const QString& title) = 0;
    virtual QString title() const = 0;
    // Replaces the whole series in one step.
    virtual void setSeries(ChartSeries series) = 0;
    virtual qsizetype pointCount() const = 0;
    // How many row labels fit side by side under the chart without overlapping.
    virtual int rowLabelRoom() const = 0;
};

} // namespace varne4::ui
