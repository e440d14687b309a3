#include "ui/qt_value_chart.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QTimeZone>
#include <QValueAxis>

#include <cmath>
#include <optional>

namespace varne4::ui {

namespace {

constexpr double kQuarterHour = 15 * 60 * 1000.0;

// Offsets change only at quarter-hour boundaries in every zone in use, so one
// look-up per quarter hour serves all the points in it.
class LocalOffsetCache {
public:
    double shift(double utcMillis) {
        const double bucket = std::floor(utcMillis / kQuarterHour);
        if (bucket != bucket_) {
            const auto ms = static_cast<qint64>(bucket * kQuarterHour);
            offsetMs_ = 1000.0 * zone_.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()));
            bucket_ = bucket;
        }
        return utcMillis - offsetMs_;
    }

private:
    QTimeZone zone_ = QTimeZone::systemTimeZone();
    std::optional<double> bucket_; // the quarter hour offsetMs_ holds for
    double offsetMs_ = 0;
};

} // namespace

NiceScale niceScale(double min, double max) {
    if (!std::isfinite(min) || !std::isfinite(max) || max < min) return {0, 1, 5};
    if (max - min < 1e-9) {
        min -= 1.0;
        max += 1.0;
    }
    // Steps of 1, 2, 2.5 or 5 times a power of ten, about four of them.
    const double raw = (max - min) / 4.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10.0 * power;
    for (double m : {1.0, 2.0, 2.5, 5.0}) {
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    }
    NiceScale s;
    s.min = std::floor(min / step) * step;
    s.max = std::ceil(max / step) * step;
    s.ticks = static_cast<int>(std::lround((s.max - s.min) / step)) + 1;
    return s;
}

double axisMillisForUtc(double utcMillis) {
    LocalOffsetCache cache;
    return cache.shift(utcMillis);
}

QtValueChart::QtValueChart(const QRect& chartGeometry, QWidget* parent)
    // The view is made with its chart: a view made without one makes a chart of its
    // own, which setChart() would then drop without deleting.
    : GroupFrame(parent), view_(new QChartView(new QChart, this)), series_(new QLineSeries),
      timeAxis_(new QDateTimeAxis), valueAxis_(new QValueAxis) {
    setObjectName(QStringLiteral("Frame5"));
    view_->setObjectName(QStringLiteral("MSChart1"));
    view_->setGeometry(chartGeometry);
    view_->setRenderHint(QPainter::Antialiasing, false);
    view_->setFrameShape(QFrame::NoFrame);

    QChart* chart = view_->chart();
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 6, 2));
    chart->setBackgroundRoundness(0);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->addSeries(series_);

    timeAxis_->setFormat(QStringLiteral("HH:mm"));
    timeAxis_->setTickCount(7);
    valueAxis_->setLabelFormat(QStringLiteral("%g"));
    QFont axisFont = font();
    axisFont.setBold(false); // the frame's font is bold for its caption only
    axisFont.setPointSizeF(7.5);
    timeAxis_->setLabelsFont(axisFont);
    valueAxis_->setLabelsFont(axisFont);
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);
    series_->attachAxis(timeAxis_);
    series_->attachAxis(valueAxis_);
    series_->setPen(QPen(QColor(0, 0, 160), 1));
    showWholeDay();
}

void QtValueChart::showWholeDay() {
    // An empty chart still reads as a day of UTC hours.
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(axisMillisForUtc(0))),
                        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(axisMillisForUtc(86400000.0))));
    valueAxis_->setRange(0, 1);
}

void QtValueChart::setTitle(const QString& title) { QGroupBox::setTitle(title); }

QString QtValueChart::title() const { return QGroupBox::title(); }

void QtValueChart::setSeries(ChartSeries series) {
    LocalOffsetCache offsets;
    for (QPointF& p : series.points)
        p.setX(offsets.shift(p.x()));

    if (series.points.isEmpty()) {
        series_->clear();
        showWholeDay();
        return;
    }
    double minX = offsets.shift(series.minX), maxX = offsets.shift(series.maxX);
    if (maxX - minX < 60000.0) { // a lone point still gets a readable axis
        minX -= 30000.0;
        maxX += 30000.0;
    }
    const NiceScale y = niceScale(series.minY, series.maxY);
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(minX));
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(maxX));
    // Every change of an axis redraws the whole series: the axes change while it
    // is empty, and the points go in last, in one step.
    if (timeAxis_->min() != from || timeAxis_->max() != to || valueAxis_->min() != y.min ||
        valueAxis_->max() != y.max) {
        series_->clear();
        timeAxis_->setRange(from, to);
        valueAxis_->setRange(y.min, y.max);
        valueAxis_->setTickCount(y.ticks);
    }
    series_->replace(series.points);
}

qsizetype QtValueChart::pointCount() const { return series_->count(); }

} // namespace varne4::ui
