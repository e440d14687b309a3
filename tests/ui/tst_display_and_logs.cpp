// The locale's number and date forms, the chart's points, and the log boxes.

#include <QClipboard>
#include <QGuiApplication>
#include <QLocale>
#include <QtTest>

#include <chrono>

#include "app/utc_time.h"
#include "ui/chart_series.h"
#include "ui/log_box.h"
#include "ui/qt_display_format.h"
#include "ui/qt_value_chart.h"

using namespace varne4;
using namespace varne4::ui;

class DisplayAndLogsTest : public QObject {
    Q_OBJECT
private slots:
    void widenYear_data();
    void widenYear();
    void localeForms_data();
    void localeForms();
    void timestampMillis_data();
    void timestampMillis();
    void chartRowsFollowTheHistory();
    void valueAxisHoldsTheValuesOnRoundTicks_data();
    void valueAxisHoldsTheValuesOnRoundTicks();
    void logBoxKeepsTheNewestLines();
    void prependingStaysCheapWhenTheBoxIsFull();
};

void DisplayAndLogsTest::widenYear_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("widened");
    QTest::newRow("US") << "M/d/yy"
                        << "M/d/yyyy";
    QTest::newRow("German") << "dd.MM.yy"
                            << "dd.MM.yyyy";
    QTest::newRow("already four") << "dd/MM/yyyy"
                                  << "dd/MM/yyyy";
    QTest::newRow("year first") << "yy-MM-dd"
                                << "yyyy-MM-dd";
    QTest::newRow("quoted text untouched") << "d 'yy' M yy"
                                           << "d 'yy' M yyyy";
    QTest::newRow("no year") << "d.M."
                             << "d.M.";
}

void DisplayAndLogsTest::widenYear() {
    QFETCH(QString, format);
    QFETCH(QString, widened);
    QCOMPARE(varne4::ui::widenYear(format), widened);
}

void DisplayAndLogsTest::localeForms_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<char>("decimal");
    QTest::addColumn<char>("timeSeparator");
    QTest::addColumn<QString>("date1900");
    QTest::addColumn<QString>("date2000");
    QTest::newRow("en_US") << "en_US" << '.' << ':' << "1/2/1900"
                           << "1/2/2000";
    QTest::newRow("de_DE") << "de_DE" << ',' << ':' << "02.01.1900"
                           << "02.01.2000";
    QTest::newRow("en_GB") << "en_GB" << '.' << ':' << "02/01/1900"
                           << "02/01/2000";
    QTest::newRow("fi_FI") << "fi_FI" << ',' << '.' << "2.1.1900"
                           << "2.1.2000";
}

void DisplayAndLogsTest::localeForms() {
    QFETCH(QString, locale);
    QFETCH(char, decimal);
    QFETCH(char, timeSeparator);
    QFETCH(QString, date1900);
    QFETCH(QString, date2000);
    const QtDisplayFormat format{QLocale(locale)};
    QCOMPARE(format.decimalSeparator(), decimal);
    QCOMPARE(format.timeSeparator(), timeSeparator);
    QCOMPARE(QString::fromStdString(format.shortDate(DateTime{1900, 1, 2})), date1900);
    QCOMPARE(QString::fromStdString(format.shortDate(DateTime{2000, 1, 2})), date2000);
    // A date the calendar does not know falls back to the fixed form, never to nothing.
    QCOMPARE(format.shortDate(DateTime{2023, 2, 30}), DisplayFormat().shortDate(DateTime{2023, 2, 30}));
}

void DisplayAndLogsTest::timestampMillis_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("millis");
    QTest::newRow("epoch") << "1970-01-01 00:00:00.000" << true << qint64(0);
    QTest::newRow("ordinary") << "2024-05-06 07:08:09.010" << true << qint64(1714979289010);
    QTest::newRow("before 1970") << "1969-12-31 23:59:59.999" << true << qint64(-1);
    QTest::newRow("no milliseconds") << "2024-05-06 07:08:09" << false << qint64(0);
    QTest::newRow("letters") << "2024-05-06 07:08:0x.010" << false << qint64(0);
    QTest::newRow("month 13") << "2024-13-06 07:08:09.010" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
}

void DisplayAndLogsTest::timestampMillis() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, millis);
    const auto got = varne4::ui::timestampMillis(text.toStdString());
    QCOMPARE(got.has_value(), valid);
    if (valid) QCOMPARE(*got, millis);
}

void DisplayAndLogsTest::chartRowsFollowTheHistory() {
    ValueHistory history(4);
    const double temps[] = {1.5, -2, 3, 4.5, 6};
    for (int i = 0; i < 5; ++i) {
        HistoryEntry& e = history.append();
        // A damaged stamp keeps its row, at the time of the row before it.
        const std::string stamp = i == 3 ? std::string(23, 'x') : utcTimestamp(DateTime{2024, 1, 1, 0, i, 0, 0});
        std::copy(stamp.begin(), stamp.end(), e.timestamp.begin());
        e.values[14] = temps[i];
    }

    const ChartSeries s = buildChartSeries(history, 14);
    QCOMPARE(s.points.size(), 4); // the ring keeps the newest four
    QCOMPARE(s.points[0].y(), -2.0);
    QCOMPARE(s.points[3].y(), 6.0);
    QCOMPARE(s.points[2].x(), s.points[1].x());
    QCOMPARE(s.points[1].x() - s.points[0].x(), 60000.0);
    QCOMPARE(s.minY, -2.0);
    QCOMPARE(s.maxY, 6.0);
    QVERIFY(buildChartSeries(history, 21).points.isEmpty());
    QVERIFY(buildChartSeries(history, -1).points.isEmpty());
    QCOMPARE(chartTitle(QStringLiteral("state"), QString()), QStringLiteral("state"));
    QCOMPARE(chartTitle(QStringLiteral("OBC temp"), QStringLiteral("C")), QStringLiteral("OBC temp [C]"));
}

void DisplayAndLogsTest::valueAxisHoldsTheValuesOnRoundTicks_data() {
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<int>("ticks");
    QTest::newRow("temperatures") << 19.45 << 31.55 << 15.0 << 35.0 << 5;
    QTest::newRow("one value") << 0.0 << 0.0 << -1.0 << 1.0 << 5;
    QTest::newRow("voltages") << 7950.0 << 8300.0 << 7900.0 << 8300.0 << 5;
    QTest::newRow("state byte") << 0.0 << 255.0 << 0.0 << 300.0 << 4;
    QTest::newRow("not a number") << qQNaN() << 1.0 << 0.0 << 1.0 << 5;
}

void DisplayAndLogsTest::valueAxisHoldsTheValuesOnRoundTicks() {
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(int, ticks);
    const NiceScale s = niceScale(low, high);
    QCOMPARE(s.min, min);
    QCOMPARE(s.max, max);
    QCOMPARE(s.ticks, ticks);
}

void DisplayAndLogsTest::logBoxKeepsTheNewestLines() {
    LogBox top(3);
    for (const char* line : {"a", "", "c", "d"})
        top.prependLine(QLatin1String(line));
    QCOMPARE(top.lineCount(), std::size_t{3});
    QCOMPARE(top.text(), QStringLiteral("d\nc\n"));
    top.appendOldest(QStringLiteral("old")); // a bottom line of a full box is the one that goes
    QCOMPARE(top.text(), QStringLiteral("d\nc\n"));

    LogBox bottom(3);
    for (const char* line : {"", "b", "c", "d"})
        bottom.appendLine(QLatin1String(line));
    QCOMPARE(bottom.lineCount(), std::size_t{3});
    QCOMPARE(bottom.text(), QStringLiteral("b\nc\nd"));
    QCOMPARE(bottom.lineAt(3), QString());

    // The operator copies whole lines, top to bottom.
    bottom.selectAll();
    bottom.copySelection();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("b\nc\nd"));

    LogBox one(1);
    one.prependLine(QStringLiteral("x"));
    one.prependLine(QStringLiteral("y"));
    QCOMPARE(one.text(), QStringLiteral("y"));
}

void DisplayAndLogsTest::prependingStaysCheapWhenTheBoxIsFull() {
    constexpr int kCap = 100000;
    LogBox box(kCap);
    box.resize(600, 120);
    const QString line = QStringLiteral("2024-05-06 07:08:09.010: Winsock RemotePort: 8000");
    for (int i = 0; i < kCap; ++i)
        box.appendLine(line);
    box.show();
    QCoreApplication::processEvents();

    // A cost that grew with the length of the log would take minutes here.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5000; ++i)
        box.prependLine(QStringLiteral("new %1").arg(i));
    QCoreApplication::processEvents();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    QCOMPARE(box.lineCount(), std::size_t{kCap});
    QCOMPARE(box.lineAt(0), QStringLiteral("new 4999"));
    QCOMPARE(box.lineAt(kCap - 1), line);
    QVERIFY2(elapsed < std::chrono::seconds(3), "prepending to a full box is slow");
}

QTEST_MAIN(DisplayAndLogsTest)
#include "tst_display_and_logs.moc"
