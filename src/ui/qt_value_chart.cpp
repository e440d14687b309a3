#include "ui/qt_value_chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QLocale>

#include <cmath>

#include "base/utc_time.h"
#include "decode/text_forms.h"

namespace varne4::ui {

namespace {

// Fewer rows than this show their points: a lone row is no line.
constexpr qsizetype kMarkedRows = 60;
// Room the value axis's labels take beside the plot, and the gap between two row labels.
constexpr int kValueAxisRoom = 70;
constexpr int kRowLabelGap = 14;

// Round steps for minutes since 1900, about four of them over the range.
constexpr double kMinute = 1, kHour = 60, kDay = 1440, kYear = 365 * kDay;
constexpr double kDateSteps[] = {
    kMinute,   2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute, kHour,      2 * kHour, 3 * kHour,
    6 * kHour, 12 * kHour,  kDay,        2 * kDay,     7 * kDay,     14 * kDay,    30 * kDay,  91 * kDay, 182 * kDay,
    kYear,     2 * kYear,   5 * kYear,   10 * kYear,   20 * kYear,   50 * kYear,   100 * kYear};

// Decimals that show every tick of `step` exactly (2.5 needs one, 0.25 two).
int decimalsFor(double step) {
    for (int d = 0; d < 10; ++d) {
        const double scaled = step * std::pow(10.0, d);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6 * scaled) return d;
    }
    return 10;
}

// The multiple of `step` snapped to the decimals of the step: 0.3, not 0.30000000000000004.
double tick(double k, double step) {
    const double scale = std::pow(10.0, decimalsFor(step));
    return std::round(k * step * scale) / scale;
}

NiceScale scaleWithStep(double min, double max, double step) {
    NiceScale s;
    s.min = tick(std::floor(min / step), step);
    s.max = tick(std::ceil(max / step), step);
    if (s.max <= s.min) s.max = s.min + step;
    s.ticks = static_cast<int>(std::lround((s.max - s.min) / step)) + 1;
    return s;
}

// QCategoryAxis takes each label once; equal row labels (two rows in one minute)
// are told apart by zero-width spaces, which draw as nothing.
QString uniqueLabel(const QString& text, QStringList& taken) {
    QString label = text;
    while (taken.contains(label))
        label += QChar(0x200B);
    taken.append(label);
    return label;
}

QList<std::pair<double, QString>> labelsOf(QCategoryAxis* axis) { // Qt asks for a mutable axis
    QList<std::pair<double, QString>> out;
    for (const QString& label : axis->categoriesLabels()) {
        QString shown = label;
        shown.remove(QChar(0x200B));
        out.append({axis->endValue(label), shown});
    }
    return out;
}

// Replaces an axis's categories and range, but only when they changed: every
// change of an axis redraws the whole series.
bool setCategories(QCategoryAxis* axis, const QList<std::pair<double, QString>>& labels, double min, double max) {
    if (labelsOf(axis) == labels && axis->min() == min && axis->max() == max) return false;
    for (const QString& old : axis->categoriesLabels())
        axis->remove(old);
    axis->setRange(min, max);
    axis->setStartValue(min);
    QStringList taken;
    for (const auto& [value, text] : labels)
        axis->append(uniqueLabel(text, taken), value);
    return true;
}

QCategoryAxis* makeAxis(const QFont& font) {
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setLabelsFont(font);
    axis->setGridLineColor(QColor(220, 220, 220));
    return axis;
}

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
    return scaleWithStep(min, max, step);
}

NiceScale dateScale(double minMinutes, double maxMinutes) {
    if (!std::isfinite(minMinutes) || !std::isfinite(maxMinutes) || maxMinutes < minMinutes) return {0, kDay, 2};
    const double raw = (maxMinutes - minMinutes) / 4.0;
    double step = kDateSteps[std::size(kDateSteps) - 1];
    for (double s : kDateSteps)
        if (s >= raw) {
            step = s;
            break;
        }
    // A lone value still gets a minute either side.
    if (maxMinutes - minMinutes < step) {
        minMinutes -= step / 2;
        maxMinutes += step / 2;
    }
    return scaleWithStep(minMinutes, maxMinutes, step);
}

QList<std::pair<double, QString>> scaleLabels(const NiceScale& scale, ValueKind kind) {
    QList<std::pair<double, QString>> labels;
    const double step = scale.ticks > 1 ? (scale.max - scale.min) / (scale.ticks - 1) : 1.0;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const int decimals = decimalsFor(step);
    for (int i = 0; i < scale.ticks; ++i) {
        double v = i + 1 == scale.ticks ? scale.max : scale.min + tick(i, step);
        if (std::fabs(v) < step * 1e-9) v = 0; // no "-0"
        QString text;
        if (kind == ValueKind::MinutesSince1900) {
            if (const auto t = MinutesToDate(v)) {
                const std::string stamp = utcTimestamp(*t); // "yyyy-MM-dd HH:mm:ss.zzz"
                text = QString::fromLatin1(stamp.data(), step >= kDay ? 10 : 16);
            }
        } else {
            text = locale.toString(v, 'f', decimals);
        }
        labels.append({v, text});
    }
    return labels;
}

QtValueChart::QtValueChart(const QRect& chartGeometry, QWidget* parent)
    // The view is made with its chart: a view made without one makes a chart of its
    // own, which setChart() would then drop without deleting.
    : GroupFrame(parent), view_(new QChartView(new QChart, this)), series_(new QLineSeries) {
    setObjectName(QStringLiteral("Frame5"));
    view_->setObjectName(QStringLiteral("MSChart1"));
    view_->setGeometry(chartGeometry);
    view_->setRenderHint(QPainter::Antialiasing, false);
    view_->setFrameShape(QFrame::NoFrame);

    QChart* chart = view_->chart();
    chart->legend()->hide();
    // Room for the half of the top and the last label that stands out beyond the plot.
    chart->setMargins(QMargins(2, 8, 18, 2));
    chart->setBackgroundRoundness(0);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->addSeries(series_);

    QFont axisFont = font();
    axisFont.setBold(false); // the frame's font is bold for its caption only
    axisFont.setPointSizeF(7.5);
    rowAxis_ = makeAxis(axisFont);
    valueAxis_ = makeAxis(axisFont);
    chart->addAxis(rowAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);
    series_->attachAxis(rowAxis_);
    series_->attachAxis(valueAxis_);
    series_->setPen(QPen(QColor(0, 0, 160), 1));
    series_->setPointsVisible(true);
    setSeries({});
}

void QtValueChart::setTitle(const QString& title) { QGroupBox::setTitle(title); }

QString QtValueChart::title() const { return QGroupBox::title(); }

int QtValueChart::rowLabelRoom() const {
    const QFontMetrics metrics(rowAxis_->labelsFont());
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("00:00")) + kRowLabelGap;
    return std::max(2, (view_->width() - kValueAxisRoom) / labelWidth);
}

void QtValueChart::setSeries(ChartSeries series) {
    const qsizetype rows = series.points.size();
    QList<std::pair<double, QString>> rowLabels;
    for (const RowLabel& l : series.rowLabels)
        rowLabels.append({static_cast<double>(l.row), l.text});
    const bool hasValues = series.points.size() > 0 && std::isfinite(series.minY) && std::isfinite(series.maxY);
    const NiceScale y = !hasValues                                   ? NiceScale{0, 1, 2}
                        : series.kind == ValueKind::MinutesSince1900 ? dateScale(series.minY, series.maxY)
                                                                     : niceScale(series.minY, series.maxY);
    const auto valueLabels = hasValues ? scaleLabels(y, series.kind) : QList<std::pair<double, QString>>{};

    // The axes change while the series is empty, and the points go in last, in one step.
    const bool rowsChanged = [&] {
        const double half = 0.5;
        return rowAxis_->min() != -half || rowAxis_->max() != std::max<double>(rows, 1) - half ||
               labelsOf(rowAxis_) != rowLabels;
    }();
    const bool valuesChanged =
        valueAxis_->min() != y.min || valueAxis_->max() != y.max || labelsOf(valueAxis_) != valueLabels;
    if (rowsChanged || valuesChanged) {
        series_->clear();
        setCategories(rowAxis_, rowLabels, -0.5, std::max<double>(rows, 1) - 0.5);
        setCategories(valueAxis_, valueLabels, y.min, y.max);
    }
    series_->setPointsVisible(rows < kMarkedRows);
    series_->replace(series.points);
}

qsizetype QtValueChart::pointCount() const { return series_->count(); }

QList<std::pair<double, QString>> QtValueChart::rowAxisLabels() const { return labelsOf(rowAxis_); }

QList<std::pair<double, QString>> QtValueChart::valueAxisLabels() const { return labelsOf(valueAxis_); }

} // namespace varne4::ui
