// The chart's points for one slot, built from the value history.

#include <QtTest>

#include "base/utc_time.h"
#include "ui/chart_series.h"

using namespace varne4;

class ChartSeriesTest : public QObject {
    Q_OBJECT
private slots:
    void rowsFollowTheHistoryAtTheirStamps() {
        ValueHistory history(4);
        const double temps[] = {1.5, -2, 3, 4.5, qQNaN()};
        for (int i = 0; i < 5; ++i) {
            HistoryEntry& e = history.append();
            // A damaged stamp keeps its row, at the time of the row before it.
            const std::string stamp = i == 3 ? std::string(23, 'x') : utcTimestamp(DateTime{2024, 1, 1, 0, i, 0, 0});
            std::copy(stamp.begin(), stamp.end(), e.timestamp.begin());
            e.values[14] = temps[i];
        }
        const ui::ChartSeries s = ui::buildChartSeries(history, 14);
        const double t1 = 1704067260000.0; // 2024-01-01 00:01 UTC; the ring keeps the newest four
        QCOMPARE(s.points.first(3), (QList<QPointF>{{t1, -2}, {t1 + 60000, 3}, {t1 + 60000, 4.5}}));
        QVERIFY(s.points.size() == 4 && s.points[3].x() == t1 + 180000 && std::isnan(s.points[3].y()));
        // A value that is not a number keeps its row but leaves the axes alone.
        QCOMPARE((QList<double>{s.minX, s.maxX, s.minY, s.maxY}), (QList<double>{t1, t1 + 60000, -2, 4.5}));
        QVERIFY(ui::buildChartSeries(history, 21).points.isEmpty() &&
                ui::buildChartSeries(history, -1).points.isEmpty());
    }

    void stampsAreReadAsUtc() {
        const std::pair<const char*, std::int64_t> valid[] = {{"1970-01-01 00:00:00.000", 0},
                                                              {"2024-05-06 07:08:09.010", 1714979289010},
                                                              {"1969-12-31 23:59:59.999", -1}};
        for (const auto& [text, millis] : valid)
            QCOMPARE(ui::timestampMillis(text).value_or(-42), millis);
        for (const char* text : {"2024-05-06 07:08:09", "2024-05-06 07:08:0x.010", "2024-13-06 07:08:09.010", ""})
            QVERIFY2(!ui::timestampMillis(text), text);
    }
};

QTEST_MAIN(ChartSeriesTest)
#include "chart_series_test.moc"
