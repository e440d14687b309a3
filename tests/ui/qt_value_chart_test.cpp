// The value chart drawn with Qt Charts: its axes, and the memory it makes.

#include <QChartView>
#include <QLineSeries>
#include <QtTest>

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
        // low, high -> min, max, ticks
        const double rows[][5] = {
            {19.45, 31.55, 15, 35, 5}, {0, 0, -1, 1, 5},      {7950, 8300, 7900, 8300, 5},
            {0, 255, 0, 300, 4},       {qQNaN(), 1, 0, 1, 5},
        };
        for (const auto& r : rows) {
            const varne4::ui::NiceScale s = varne4::ui::niceScale(r[0], r[1]);
            QCOMPARE(QList<double>({s.min, s.max, double(s.ticks)}), QList<double>({r[2], r[3], r[4]}));
        }
    }

    void timeAxisReadsUtcWhateverTheLocalOffset() {
        // The axis prints local time. Berlin is UTC+1 the day before 2024-03-31 01:00 UTC and
        // UTC+2 the day after; one point on either side.
        const QByteArray zone = qgetenv("TZ");
        const auto restoreZone = qScopeGuard([&] { qputenv("TZ", zone); });
        qputenv("TZ", "Europe/Berlin");
        const double change = 1711846800000.0, day = 86400000.0;
        const double before = change - day - 60000, after = change + day + 60000;
        varne4::ui::QtValueChart chart(QRect(0, 0, 320, 200));
        chart.setSeries({{{before, 1}, {after, 2}}, before, after, 1, 2});
        const auto* series = static_cast<QLineSeries*>(chart.chartView()->chart()->series().value(0));
        QStringList labels;
        for (const QPointF& p : series->points())
            labels << QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(p.x())).toString(QStringLiteral("HH:mm"));
        QCOMPARE(labels, (QStringList{"00:59", "01:01"}));
    }
};

QTEST_MAIN(QtValueChartTest)
#include "qt_value_chart_test.moc"
