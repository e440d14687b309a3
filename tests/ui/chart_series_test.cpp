// The chart's rows for one slot, built from the value history.

#include <QtTest>

#include "base/utc_time.h"
#include "ui/chart_series.h"

using namespace varne4;

namespace {

void append(ValueHistory& history, const std::string& stamp, int slot, double value) {
    HistoryEntry& e = history.append();
    std::copy(stamp.begin(), stamp.end(), e.timestamp.begin());
    e.values[static_cast<std::size_t>(slot)] = value;
}

} // namespace

class ChartSeriesTest : public QObject {
    Q_OBJECT
private slots:
    // Entries are rows, evenly spaced whatever their times: an import within one
    // millisecond and passes hours apart alike.
    void oneRowPerEntryOldestFirst() {
        ValueHistory history(4);
        const char* stamps[] = {"2026-11-28 14:02:05.250", "2026-11-28 14:02:05.250", "2026-11-28 17:45:00.000",
                                "2026-11-28 17:45:30.000", "xxxxxxxxxxxxxxxxxxxxxxx"};
        const double temps[] = {1.5, -2, 3, 4.5, qQNaN()};
        for (int i = 0; i < 5; ++i)
            append(history, stamps[i], 14, temps[i]);
        const ui::ChartSeries s = ui::buildChartSeries(history, 14, 10);
        // The ring keeps the newest four.
        QCOMPARE(s.points.first(3), (QList<QPointF>{{0, -2}, {1, 3}, {2, 4.5}}));
        QVERIFY(s.points.size() == 4 && s.points[3].x() == 3 && std::isnan(s.points[3].y()));
        // A value that is not a number keeps its row but leaves the axis alone.
        QCOMPARE((QList<double>{s.minY, s.maxY}), (QList<double>{-2, 4.5}));
        // Labels are the entries' own hours and minutes; a damaged stamp shows what it holds.
        QCOMPARE(s.rowLabels, (QList<ui::RowLabel>{{0, "14:02"}, {1, "17:45"}, {2, "17:45"}, {3, "xxxxx"}}));
        QCOMPARE(s.kind, ui::ValueKind::Number);
        QVERIFY(ui::buildChartSeries(history, 21, 10).points.isEmpty() &&
                ui::buildChartSeries(history, -1, 10).points.isEmpty());
    }

    void labelsAreAsManyAsFitOnRoundRows() {
        ValueHistory history;
        for (int i = 0; i < 27; ++i)
            append(history, utcTimestamp(DateTime{2026, 11, 28, 14, i, 0, 0}), 3, 66747729.0 + i);
        // room -> rows that carry a label
        const std::pair<int, QList<int>> rows[] = {
            {30, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26}},
            {14, {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26}},
            {13, {0, 5, 10, 15, 20, 25}},
            {3, {0, 10, 20}},
            {1, {0}},
            {0, {0}},
        };
        for (const auto& [room, expected] : rows) {
            const ui::ChartSeries s = ui::buildChartSeries(history, 3, room);
            QList<int> labelled;
            for (const ui::RowLabel& l : s.rowLabels) {
                labelled << l.row;
                QCOMPARE(l.text, QStringLiteral("14:%1").arg(l.row, 2, 10, QLatin1Char('0')));
            }
            QCOMPARE(labelled, expected);
            QCOMPARE(s.kind, ui::ValueKind::MinutesSince1900); // RTC: charted as stored, read as a date
            QCOMPARE(s.points.last(), QPointF(26, 66747729.0 + 26));
        }
        QCOMPARE(ui::rowLabelStep(0, 5), 1);
        QCOMPARE(ui::rowLabelStep(10000, 13), 1000);
        QCOMPARE(ui::rowLabelStep(10000, 1), 10000);
    }
};

QTEST_MAIN(ChartSeriesTest)
#include "chart_series_test.moc"
