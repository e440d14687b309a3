// The locale's number and date forms, the chart's points and scale, and the log boxes.

#include <QClipboard>
#include <QGuiApplication>
#include <QLocale>
#include <QtTest>

#include <chrono>

#include "base/utc_time.h"
#include "ui/chart_series.h"
#include "ui/log_box.h"
#include "ui/qt_display_format.h"
#include "ui/qt_value_chart.h"

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
#endif

using namespace varne4;
using namespace varne4::ui;

class DisplayAndLogsTest : public QObject {
    Q_OBJECT
private slots:
    void chartFrameFreesEverythingItMade();
    void localeForms();
    void chartRowsFollowTheHistoryAtTheirStamps();
    void valueAxisHoldsTheValuesOnRoundTicks();
    void logBoxKeepsTheNewestLines();
    void prependingStaysCheapWhenTheBoxIsFull();
};

#ifdef VARNE4_LEAK_CHECK
namespace {
// Out of line, and followed by a wipe of the stack below it, so that no stale
// pointer left on the stack keeps lost memory looking reachable.
[[gnu::noinline]] void showAndDropChartFrame() {
    QtValueChart chart(QRect(0, 0, 320, 200));
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

void DisplayAndLogsTest::chartFrameFreesEverythingItMade() {
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

void DisplayAndLogsTest::localeForms() {
    // A two-digit year would show 1900 as 2000.
    const std::pair<const char*, const char*> widened[] = {
        {"M/d/yy", "M/d/yyyy"},     {"dd.MM.yy", "dd.MM.yyyy"},       {"dd/MM/yyyy", "dd/MM/yyyy"},
        {"yy-MM-dd", "yyyy-MM-dd"}, {"d 'yy' M yy", "d 'yy' M yyyy"}, {"d.M.", "d.M."},
    };
    for (const auto& [format, expected] : widened)
        QCOMPARE(widenYear(QLatin1String(format)), QLatin1String(expected));

    const std::tuple<const char*, char, char, const char*> rows[] = {{"en_US", '.', ':', "1/2/1900"},
                                                                     {"de_DE", ',', ':', "02.01.1900"},
                                                                     {"en_GB", '.', ':', "02/01/1900"},
                                                                     {"fi_FI", ',', '.', "2.1.1900"}};
    for (const auto& [locale, decimal, time, date] : rows) {
        const QtDisplayFormat format{QLocale(QLatin1String(locale))};
        QCOMPARE(format.decimalSeparator(), decimal);
        QCOMPARE(format.timeSeparator(), time);
        QCOMPARE(format.shortDate(DateTime{1900, 1, 2}), std::string(date));
        // A date the calendar does not know falls back to the fixed form, never to nothing.
        QCOMPARE(format.shortDate(DateTime{2023, 2, 30}), DisplayFormat().shortDate(DateTime{2023, 2, 30}));
    }
}

void DisplayAndLogsTest::chartRowsFollowTheHistoryAtTheirStamps() {
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
    const double t1 = 1704067260000.0; // 2024-01-01 00:01 UTC; the ring keeps the newest four
    QCOMPARE(s.points, (QList<QPointF>{{t1, -2}, {t1 + 60000, 3}, {t1 + 60000, 4.5}, {t1 + 180000, 6}}));
    QCOMPARE(s.minY, -2.0);
    QCOMPARE(s.maxY, 6.0);
    QVERIFY(buildChartSeries(history, 21).points.isEmpty() && buildChartSeries(history, -1).points.isEmpty());

    // The stamps as the history stores them, read as UTC.
    const std::pair<const char*, std::int64_t> valid[] = {
        {"1970-01-01 00:00:00.000", 0}, {"2024-05-06 07:08:09.010", 1714979289010}, {"1969-12-31 23:59:59.999", -1}};
    for (const auto& [text, millis] : valid)
        QCOMPARE(ui::timestampMillis(text).value_or(-42), millis);
    for (const char* text : {"2024-05-06 07:08:09", "2024-05-06 07:08:0x.010", "2024-13-06 07:08:09.010", ""})
        QVERIFY2(!ui::timestampMillis(text), text);
}

void DisplayAndLogsTest::valueAxisHoldsTheValuesOnRoundTicks() {
    // low, high -> min, max, ticks
    const double rows[][5] = {
        {19.45, 31.55, 15, 35, 5}, {0, 0, -1, 1, 5},      {7950, 8300, 7900, 8300, 5},
        {0, 255, 0, 300, 4},       {qQNaN(), 1, 0, 1, 5},
    };
    for (const auto& r : rows) {
        const NiceScale s = niceScale(r[0], r[1]);
        QCOMPARE(QList<double>({s.min, s.max, double(s.ticks)}), QList<double>({r[2], r[3], r[4]}));
    }
}

void DisplayAndLogsTest::logBoxKeepsTheNewestLines() {
    LogBox top(3);
    for (const char* line : {"a", "", "c", "d"})
        top.prependLine(QLatin1String(line));
    QCOMPARE(top.text(), QStringLiteral("d\nc\n"));
    top.appendOldest(QStringLiteral("old")); // a bottom line of a full box is the one that goes
    QCOMPARE(top.text(), QStringLiteral("d\nc\n"));

    LogBox bottom(3);
    for (const char* line : {"", "b", "c", "d"})
        bottom.appendLine(QLatin1String(line));
    QCOMPARE(bottom.text(), QStringLiteral("b\nc\nd"));
    QCOMPARE(bottom.lineAt(3), QString());
    // The operator copies whole lines, top to bottom.
    bottom.selectAll();
    bottom.copySelection();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("b\nc\nd"));
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
    QVERIFY2(std::chrono::steady_clock::now() - start < std::chrono::seconds(3), "prepending to a full box is slow");
    QCOMPARE(box.lineCount(), std::size_t{kCap});
    QCOMPARE(box.lineAt(0), QStringLiteral("new 4999"));
    QCOMPARE(box.lineAt(kCap - 1), line);
}

QTEST_MAIN(DisplayAndLogsTest)
#include "tst_display_and_logs.moc"
