// The value chart drawn with Qt Charts: its axes, and the memory it makes.

#include <QChartView>
#include <QLineSeries>
#include <QtTest>

#include "ui/qt_value_chart.h"

using namespace varne4;

// In the sanitizer build the leak checker can be asked mid-run.
#if defined(__SANITIZE_ADDRESS__)
#define VARNE4_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNE4_LEAK_CHECK 1
#endif
#endif
#ifdef VARNE4_LEAK_CHECK
#include <sanitizer/lsan_interface.h>

namespace {
// Out of line, and followed by a wipe of the stack below it, so that no stale
// pointer left on the stack keeps lost memory looking reachable.
[[gnu::noinline]] void showAndDropChartFrame() {
    varne4::ui::QtValueChart chart(QRect(0, 0, 320, 200));
    chart.show();
    QCoreApplication::processEvents();
}
[[gnu::noinline]] void wipeStack() {
    volatile char junk[64 * 1024];
    for (auto& c : junk)
        c = 0;
}
} // namespace
#endif

class QtValueChartTest : public QObject {
    Q_OBJECT
private slots:
    void chartFrameFreesEverythingItMade() {
#ifdef VARNE4_LEAK_CHECK
        QVERIFY2(__lsan_do_recoverable_leak_check() == 0, "leaks before the chart was made");
        // Qt may keep a pointer to the newest chart item it saw; the earlier ones must be gone.
        for (int i = 0; i < 3; ++i)
            showAndDropChartFrame();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        wipeStack();
        QVERIFY2(__lsan_do_recoverable_leak_check() == 0, "the chart frame left memory behind that nothing frees");
#else
        QSKIP("the leak check needs the sanitizer build (VARNE4_SANITIZE)");
#endif
    }

    void valueAxisHoldsTheValuesOnRoundTicks() {
        QLocale::setDefault(QLocale::c());
        using Labels = QList<std::pair<double, QString>>;
        const struct {
            double low, high;
            ui::NiceScale scale;
            Labels labels;
        } rows[] = {
            {19.45, 31.55, {15, 35, 5}, {{15, "15"}, {20, "20"}, {25, "25"}, {30, "30"}, {35, "35"}}},
            {0, 0, {-1, 1, 5}, {{-1, "-1.0"}, {-0.5, "-0.5"}, {0, "0.0"}, {0.5, "0.5"}, {1, "1.0"}}},
            {7950,
             8300,
             {7900, 8300, 5},
             {{7900, "7900"}, {8000, "8000"}, {8100, "8100"}, {8200, "8200"}, {8300, "8300"}}},
            {0, 255, {0, 300, 4}, {{0, "0"}, {100, "100"}, {200, "200"}, {300, "300"}}},
            {0.1, 0.3, {0.1, 0.3, 5}, {{0.1, "0.10"}, {0.15, "0.15"}, {0.2, "0.20"}, {0.25, "0.25"}, {0.3, "0.30"}}},
            {qQNaN(), 1, {0, 1, 5}, {{0, "0.00"}, {0.25, "0.25"}, {0.5, "0.50"}, {0.75, "0.75"}, {1, "1.00"}}},
        };
        for (const auto& r : rows) {
            const ui::NiceScale s = ui::niceScale(r.low, r.high);
            QCOMPARE(QList<double>({s.min, s.max, double(s.ticks)}),
                     QList<double>({r.scale.min, r.scale.max, double(r.scale.ticks)}));
            const Labels labels = ui::scaleLabels(s, ui::ValueKind::Number);
            QCOMPARE(labels.size(), r.labels.size());
            for (qsizetype i = 0; i < labels.size(); ++i) {
                QCOMPARE(labels[i].second, r.labels[i].second);
                QVERIFY(qAbs(labels[i].first - r.labels[i].first) < 1e-9);
            }
        }
        // The reader's decimal separator.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(ui::scaleLabels({-0.5, 0.5, 3}, ui::ValueKind::Number).value(0).second, QStringLiteral("-0,5"));
        QLocale::setDefault(QLocale::c());
    }

    // The RTC is charted as minutes since 1900; its axis reads as UTC dates.
    void dateAxisShowsDatesOnRoundTimes() {
        const double minute1400 = 4004863200.0 / 60; // 2026-11-28 14:00 UTC
        using Labels = QList<std::pair<double, QString>>;
        const struct {
            double low, high;
            Labels labels;
        } rows[] = {
            {minute1400 + 0.07,
             minute1400 + 26,
             {{minute1400, "2026-11-28 14:00"},
              {minute1400 + 10, "2026-11-28 14:10"},
              {minute1400 + 20, "2026-11-28 14:20"},
              {minute1400 + 30, "2026-11-28 14:30"}}},
            {minute1400 - 14 * 60,
             minute1400 + 3 * 1440 - 14 * 60,
             {{minute1400 - 14 * 60, "2026-11-28"},
              {minute1400 - 14 * 60 + 1440, "2026-11-29"},
              {minute1400 - 14 * 60 + 2 * 1440, "2026-11-30"},
              {minute1400 - 14 * 60 + 3 * 1440, "2026-12-01"}}},
            {minute1400,
             minute1400,
             {{minute1400 - 1, "2026-11-28 13:59"},
              {minute1400, "2026-11-28 14:00"},
              {minute1400 + 1, "2026-11-28 14:01"}}},
        };
        for (const auto& r : rows)
            QCOMPARE(ui::scaleLabels(ui::dateScale(r.low, r.high), ui::ValueKind::MinutesSince1900), r.labels);
    }

    // Rows along the bottom with the labels they were given; values on round ticks at the side.
    void chartTakesRowsAndTheirLabels() {
        QLocale::setDefault(QLocale::c());
        ui::QtValueChart chart(QRect(0, 0, 681, 217));
        QVERIFY(chart.rowLabelRoom() >= 8);
        ui::ChartSeries series;
        series.points = {{0, 20.5}, {1, 21}, {2, 23.5}};
        series.rowLabels = {{0, "14:02"}, {1, "14:02"}, {2, "17:45"}};
        series.minY = 20.5;
        series.maxY = 23.5;
        chart.setSeries(series);
        QCOMPARE(chart.rowAxisLabels(), (QList<std::pair<double, QString>>{{0, "14:02"}, {1, "14:02"}, {2, "17:45"}}));
        QCOMPARE(chart.valueAxisLabels().first().second, QStringLiteral("20"));
        QCOMPARE(chart.valueAxisLabels().last().second, QStringLiteral("24"));
        const auto* line = static_cast<QLineSeries*>(chart.chartView()->chart()->series().value(0));
        QCOMPARE(line->points(), series.points);

        // Emptied: no row labels, no values.
        chart.setSeries({});
        QVERIFY(chart.rowAxisLabels().isEmpty() && chart.valueAxisLabels().isEmpty());
        QCOMPARE(chart.pointCount(), 0);
    }
};

QTEST_MAIN(QtValueChartTest)
#include "qt_value_chart_test.moc"
