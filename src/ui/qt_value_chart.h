#pragma once
// The value chart drawn with Qt Charts: a group frame whose caption is the
// chart's title, holding a line chart of value against row, the rows labelled
// with their time.

#include "ui/group_frame.h"

#include "ui/value_chart_view.h"

QT_BEGIN_NAMESPACE
class QCategoryAxis;
class QChartView;
class QLineSeries;
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
    int rowLabelRoom() const override;

    QChartView* chartView() const { return view_; }
    // The labels along each axis and the values they stand at, for tests.
    QList<std::pair<double, QString>> rowAxisLabels() const;
    QList<std::pair<double, QString>> valueAxisLabels() const;

private:
    QChartView* view_;
    QLineSeries* series_;
    QCategoryAxis* rowAxis_;
    QCategoryAxis* valueAxis_;
};

// A value axis with round ticks that holds [min, max].
struct NiceScale {
    double min = 0, max = 1;
    int ticks = 5;
};
NiceScale niceScale(double min, double max);
// The same for minutes since 1900: steps of whole minutes, hours, days or years.
NiceScale dateScale(double minMinutes, double maxMinutes);

// The labels of a scale: numbers with as many decimals as the step needs, in the
// user's locale; or, for minutes since 1900, UTC dates ("yyyy-MM-dd", with
// "HH:mm" when the step is shorter than a day).
QList<std::pair<double, QString>> scaleLabels(const NiceScale& scale, ValueKind kind);

} // namespace varne4::ui
