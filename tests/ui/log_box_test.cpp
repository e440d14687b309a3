// The log boxes: newest lines kept at either end, whole lines copied, and a
// reader's place kept while lines arrive above it.

#include <QClipboard>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

#include "ui/log_box.h"

using varne4::ui::LogBox;

class LogBoxTest : public QObject {
    Q_OBJECT
private slots:
    void keepsTheNewestLinesAndCopiesWholeOnes() {
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

    // A line too long for the box ends in "..."; the whole line shows as its tooltip.
    void aCutLineShowsWholeAsItsTooltip() {
        LogBox box(10);
        box.resize(200, 80);
        const QString line =
            QStringLiteral("noradID=99931&source=QX7TR&timestamp=2026-11-28T14:02:05.250Z&frame=A2 82 60");
        box.prependLine(line);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QRect row = box.visualRect(box.model()->index(0, 0));
        QVERIFY(box.fontMetrics().horizontalAdvance(line) > box.viewport()->width()); // it is cut
        const QPoint at(10, row.center().y());
        QHelpEvent help(QEvent::ToolTip, at, box.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(box.viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), line);
    }

    void aBurstAboveAFullBoxKeepsTheReadersPlaceInOneStep() {
        constexpr int kCap = 100000;
        LogBox box(kCap);
        box.resize(600, 120);
        for (int i = 0; i < kCap; ++i)
            box.appendLine(QStringLiteral("old %1").arg(i));
        box.show();
        QScrollBar* bar = box.verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum() / 2); // the operator reads further down
        const QString reading = box.indexAt(QPoint(1, 1)).data().toString();
        QVERIFY(!reading.isEmpty());

        // Neither a reset nor a relayout of every row, and one scroll for the whole burst:
        // anything that grew with the length of the log would show here.
        QSignalSpy resets(box.model(), &QAbstractItemModel::modelReset);
        QSignalSpy relayouts(box.model(), &QAbstractItemModel::layoutChanged);
        QSignalSpy scrolls(bar, &QScrollBar::valueChanged);
        for (int i = 0; i < 5000; ++i)
            box.prependLine(QStringLiteral("new %1").arg(i));
        QTRY_COMPARE(box.indexAt(QPoint(1, 1)).data().toString(), reading);
        QCOMPARE(scrolls.count(), 1);
        QCOMPARE(resets.count() + relayouts.count(), 0);
        QCOMPARE(box.lineCount(), std::size_t{kCap});
        QCOMPARE(box.lineAt(0), QStringLiteral("new 4999"));
        QCOMPARE(box.lineAt(kCap - 1), QStringLiteral("old 94999"));
    }
};

QTEST_MAIN(LogBoxTest)
#include "log_box_test.moc"
