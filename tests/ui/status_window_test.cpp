// The status window: the state word read into seven plain lines.

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "base/compat_texts.h"
#include "base/qt_text.h"
#include "ui/status_window.h"

using namespace varne4;
using namespace varne4::texts;
using varne4::ui::StatusWindow;

class StatusWindowTest : public QObject {
    Q_OBJECT
private slots:
    void linesFollowTheStateBits() {
        using Lines = std::array<std::string_view, ui::kStatusLines>;
        const Lines blank = {"bit 7", "bit 6", "bit 5", "bit 4", "bit 3", "bit 2", "bit 1"};
        struct Row {
            const char* state;
            Lines lines;
        };
        const Row rows[] = {
            {"01011110", {kNominalMode, kReserved, kAdcsOn, kRadioA, kPathBOn, kPathAOn, kMcuA}},
            {"00000000", {"?", kReserved, kAdcsOff, kRadioB, kPathBOff, kPathAOff, kMcuA}},
            {"11111111", {"?", kReserved, kAdcsOn, kRadioA, kPathBOn, kPathAOn, kMcuB}},
            {"10000001", {"?", kReserved, kAdcsOff, kRadioB, kPathBOff, kPathAOff, kMcuB}},
            {"", blank},
            {"   ", blank},
            // Whatever cannot be read shows "?", never a guess.
            {"abcdefgh", {"?", kReserved, "?", "?", "?", "?", "?"}},
            {"0101", {kNominalMode, kReserved, kAdcsOn, "?", "?", "?", "?"}},
            {"0101111x", {kNominalMode, kReserved, kAdcsOn, kRadioA, kPathBOn, kPathAOn, "?"}},
            {"01202020", {kNominalMode, kReserved, kAdcsOff, "?", kPathBOff, "?", kMcuA}},
        };
        for (const Row& row : rows) {
            const QString state = QLatin1String(row.state);
            QStringList expected;
            for (std::string_view line : row.lines)
                expected << latin1(line);
            // The window shows the lines statusLinesFor() reads.
            const StatusWindow window(state);
            QStringList shown;
            for (int i = 0; i < ui::kStatusLines; ++i)
                shown << window.findChild<QLabel*>(QStringLiteral("Label2_%1").arg(i))->text();
            QCOMPARE(state + ": " + shown.join('|'), state + ": " + expected.join('|'));
            // The box shows the state text unchanged; a blank one leaves it empty.
            QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("Text1"))->text(),
                     state.trimmed().isEmpty() ? QString() : state);
        }
    }

    // A newer beacon's state replaces the lines and says when it was sent.
    void showsEachNewStateWithItsTime() {
        StatusWindow status{QString(), QString()};
        QCOMPARE(status.asOf(), QStringLiteral("no housekeeping beacon yet"));
        QCOMPARE(status.line(0), QStringLiteral("bit 7"));
        status.showState(QStringLiteral("01011110"), QStringLiteral("2026-11-28 14:02:05.250"));
        QCOMPARE(status.stateText(), QStringLiteral("01011110"));
        QCOMPARE(status.line(0), latin1(kNominalMode));
        QCOMPARE(status.asOf(), QStringLiteral("as of 2026-11-28 14:02:05 UTC"));
        status.showState(QStringLiteral("11111111"), QStringLiteral("2026-11-28 14:02:35.250"));
        QCOMPARE(status.line(6), latin1(kMcuB));
        QCOMPARE(status.asOf(), QStringLiteral("as of 2026-11-28 14:02:35 UTC"));
        // The line fits between the state box and the first status line, covering nothing of the layout.
        auto* asOf = status.findChild<QLabel*>(QStringLiteral("AsOf"));
        for (QWidget* other : status.findChildren<QWidget*>())
            if (other != asOf && other->parentWidget() == &status)
                QVERIFY2(!asOf->geometry().intersects(other->geometry()), qPrintable(other->objectName()));
        QVERIFY(asOf->fontMetrics().horizontalAdvance(asOf->text()) <= asOf->width());
    }

    void opensBesideTheMainWindow() {
        const QRect screen(0, 0, 1920, 1080);
        const QSize size(300, 220);
        // main window's frame -> where the status window goes
        const std::pair<QRect, QPoint> rows[] = {
            {{100, 50, 720, 800}, {828, 50}},  // room on the right
            {{1100, 50, 720, 800}, {792, 50}}, // none on the right: on the left
            {{200, 50, 1600, 800}, {0, 50}},   // room on neither side: at the roomier edge
            {{100, 50, 1600, 800}, {1620, 50}},  {{0, 1000, 720, 800}, {728, 860}}, // kept on the screen
            {{-50, -20, 2000, 1200}, {1620, 0}}, // a main window larger than the screen
        };
        for (const auto& [mainWindow, expected] : rows)
            QCOMPARE(ui::besideWindow(mainWindow, size, screen), expected);
    }

    void windowLayout() {
        StatusWindow status(QStringLiteral("01011110"));
        status.show();
        QCOMPARE(status.objectName(), QStringLiteral("Form4"));
        QCOMPARE(status.windowTitle(), QStringLiteral("Status"));
        QCOMPARE(status.size(), QSize(293, 194));
        QCOMPARE(status.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("VARNE-4 System Status"));
    }
};

QTEST_MAIN(StatusWindowTest)
#include "status_window_test.moc"
