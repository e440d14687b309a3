#pragma once
// The value chart drawn with Qt Charts: a group frame whose caption is the
// chart's title, holding a line chart of value against UTC time.

#include "ui/group_frame.h"

#include "ui/value_chart_view.h"

QT_BEGIN_NAMESPACE
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace varne4::ui {

class QtValueChart final : public GroupFrame, public ValueChartView {
    Q_OBJECT
public:
    // `chartGeometry` places the chart inside the frame.
    QtValueChart(const QRect& chartGeometry, QWidget* parent = nullptr);

    void setTitle(const QString& title) override;
    QString title() const override;
    void setSeries(ChartSeries series) override;
    qsizetype pointCount() const override;

    QChartView* chartView() const { return view_; }

private:
    void showWholeDay();

    QChartView* view_;
    QLineSeries* series_;
    QDateTimeAxis* timeAxis_;
    QValueAxis* valueAxis_;
};

// A value axis with round ticks that holds [min, max].
struct NiceScale {
    double min = 0, max = 1;
    int ticks = 5;
};
NiceScale niceScale(double min, double max);

// The time axis prints its labels in local time; this moves a UTC instant so that
// the label reads the UTC hours and minutes.
double axisMillisForUtc(double utcMillis);

} // namespace varne4::ui
