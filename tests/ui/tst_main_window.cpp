// The main window as a view of the station: start-up, panel, selection, chart, exit.

#include <QChartView>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include "intake/agw_link.h"
#include "ui/about_window.h"
#include "ui/log_box.h"
#include "ui/status_window.h"
#include "ui_test_support.h"

using namespace varne4;
using namespace varne4::test;

namespace {

QString chartTitle(const WindowRig& rig) { return rig.find<QGroupBox>(QStringLiteral("Frame5"))->title(); }

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startUpShowsTheLayoutTheLogAndSlot14ThenSelectionMoves();
    void startUpFailureShowsOneErrorAndSkipsTheRest_data();
    void startUpFailureShowsOneErrorAndSkipsTheRest();
    void beaconsFillPanelChartAndStatusWindow();
    void exitClosesEverythingAndRemovesOnlyTheRunsEmptyLog();
};

void MainWindowTest::startUpShowsTheLayoutTheLogAndSlot14ThenSelectionMoves() {
    WindowRig rig(validConfig(), true);
    rig.window->show();
    QCOMPARE(rig.window->windowTitle(), QStringLiteral("VARNE-4 Online Telemetry Decoder (QX7TR)"));
    QCOMPARE(rig.window->centralWidget()->size(), QSize(713, 747));
    // Twips of the layout tables divided by 15, relative to the enclosing control.
    const std::pair<const char*, QRect> placed[] = {
        {"Frame5", {8, 336, 697, 241}}, {"MSChart1", {8, 16, 681, 217}}, {"Text1_4", {112, 120, 97, 19}}};
    for (const auto& [name, rect] : placed)
        QCOMPARE(rig.find<QWidget>(QLatin1String(name))->geometry(), rect);
    QVERIFY(rig.errors.isEmpty() && rig.window->startUpSucceeded());
    const QString stamp = QLatin1String(kStartStamp) + QStringLiteral(": ");
    QCOMPARE(rig.find<ui::LogBox>("Text3")->text(), stamp + "Winsock RemotePort: 1\n" + stamp +
                                                        "Winsock RemoteHost: 127.0.0.1\n" + stamp +
                                                        "127.0.0.1:1 |  | QX7TR | 48.5 | 11.25");

    QCOMPARE(rig.marks(), QStringList{"Text1_14"}); // highlighted, but no option marked
    QCOMPARE(chartTitle(rig), QStringLiteral("OBC temp [C]"));

    // The "allow data transfer" box starts from the options and steers the uploads.
    QVERIFY(rig.station.isUploadAllowed());
    rig.find<QCheckBox>("Check1")->click();
    QVERIFY(!rig.station.isUploadAllowed());

    rig.window->onClockTick();
    QCOMPARE(rig.find<QLabel>("Label1")->text(), QStringLiteral("07:08:09 UTC"));

    // Selection moves across groups: Status, Power, Temperatures, Status again, the same one twice.
    const std::pair<int, const char*> steps[] = {
        {2, "uptime [s]"}, {7, "batt A voltage [mV]"}, {19, "-Z panel temp [C]"}, {4, "state"}, {4, "state"}};
    for (const auto& [slot, title] : steps) {
        rig.option1(slot)->click();
        QCOMPARE(rig.marks(),
                 (QStringList{QStringLiteral("Option1_%1").arg(slot), QStringLiteral("Text1_%1").arg(slot)}));
        QCOMPARE(chartTitle(rig), QString::fromLatin1(title));
    }
    // A slot without a chart option clears every mark and highlight.
    rig.window->selectChartSlot(23);
    QCOMPARE(rig.marks(), QStringList{});
}

void MainWindowTest::startUpFailureShowsOneErrorAndSkipsTheRest_data() {
    QTest::addColumn<QString>("config"); // empty: no file at all
    QTest::addColumn<int>("logLines");   // the settings line is logged once the file was read
    QTest::newRow("PORT without colon") << "PORT=localhost\r\nMYCALL=QX7TR\r\n" << 1;
    QTest::newRow("line without =") << "PORT=127.0.0.1:1\r\nMYCALL\r\n" << 0;
    QTest::newRow("missing file") << "" << 0;
}

void MainWindowTest::startUpFailureShowsOneErrorAndSkipsTheRest() {
    QFETCH(QString, config);
    QFETCH(int, logLines);
    WindowRig rig(config.toStdString(), true, !config.isEmpty());

    QCOMPARE(rig.errors.size(), 1);
    static const QRegularExpression error(
        QStringLiteral("^Open Error\\|The following error occured: \r\nError # [^\r\n]+\r\nonline_conf.ini [^\r\n]+$"));
    QVERIFY2(error.match(rig.errors.front()).hasMatch(), qPrintable(rig.errors.front()));
    QVERIFY(!rig.window->startUpSucceeded());
    QCOMPARE(rig.find<ui::LogBox>("Text3")->lineCount(), std::size_t(logLines));
    QVERIFY(rig.kissLogs().empty());
    // The panel keeps its design-time mark; nothing is highlighted.
    QCOMPARE(rig.marks(), QStringList{"Option1_0"});
    rig.option1(7)->click(); // the window stays usable
    QCOMPARE(rig.marks(), (QStringList{"Option1_7", "Text1_7"}));
}

void MainWindowTest::beaconsFillPanelChartAndStatusWindow() {
    WindowRig rig(validConfig());
    const std::int8_t temps[] = {43, -3, 0};
    for (int i = 0; i < 3; ++i) {
        rig.clock.set(DateTime{2024, 5, 6, 10 + i, 20 + i, 0, 0});
        rig.live(housekeepingFrame(0x5E, temps[i]));
    }
    const PanelState& panel = rig.station.pipeline().panel();
    for (int i = 0; i < kPanelSlots; ++i)
        QCOMPARE(rig.text1(i)->text(), QString::fromStdString(panel.slotText[static_cast<std::size_t>(i)]));
    QCOMPARE(rig.find<QLabel>("Label8")->text(), QString::fromStdString(panel.timeLine));
    QCOMPARE(rig.find<QLineEdit>("Text4")->text(), QString::fromStdString(panel.uptimeText));

    // A click draws at once, one row per beacon, oldest first, at its UTC time.
    rig.option1(14)->click();
    auto* series = qobject_cast<QLineSeries*>(rig.find<QChartView>("MSChart1")->chart()->series().value(0));
    const double t0 = 1714990800000.0; // 2024-05-06 10:20:00 UTC, in ms
    QCOMPARE(series->points(), (QList<QPointF>{{t0, 21.5}, {t0 + 3660000, -1.5}, {t0 + 7320000, 0}}));

    // Other beacons redraw without adding a row; messages collect in Text6.
    QSignalSpy redraws(series, &QXYSeries::pointsReplaced);
    for (const char* text : {"HELLO", "", "73 \xE9"})
        rig.live(makeMessageFrame(text));
    QTRY_COMPARE(redraws.count(), 1);
    QCOMPARE(series->count(), 3);
    QCOMPARE(rig.find<ui::LogBox>("Text6")->text(), QStringLiteral("HELLO\n\n73 \u00E9"));

    // The state byte is plotted as a number.
    rig.window->selectChartSlot(4);
    QCOMPARE(series->at(2).y(), 94.0);

    // An import redraws at a bounded rate: nothing while the frames pour in, once after.
    redraws.clear();
    for (int i = 0; i < 200; ++i)
        rig.station.takeImportedRecord(withPortByte(housekeepingFrame(0x40, 10)));
    QCOMPARE(redraws.count(), 0);
    QTRY_COMPARE(series->count(), 203);
    QTest::qWait(250);
    QCOMPARE(redraws.count(), 1);

    // The status window reads the state when opened: a beacon while it is open changes nothing,
    // and a second click brings the same window.
    rig.window->openStatusWindow();
    QPointer<ui::StatusWindow> status = rig.window->statusWindow();
    rig.live(housekeepingFrame(0xFF, 0));
    rig.window->openStatusWindow();
    QCOMPARE(rig.window->statusWindow().data(), status.data());
    QCOMPARE(status->stateText(), QStringLiteral("01000000"));
}

void MainWindowTest::exitClosesEverythingAndRemovesOnlyTheRunsEmptyLog() {
    WindowRig rig(validConfig());
    writeFile(rig.folder / "other_program.lock", std::string_view{});
    rig.window->show();
    rig.window->openAboutWindow();
    rig.window->openStatusWindow();
    QPointer<ui::AboutWindow> about = rig.window->aboutWindow();
    QPointer<ui::StatusWindow> status = rig.window->statusWindow();
    const auto logs = rig.kissLogs();
    QVERIFY(about && status && logs.size() == 1);

    rig.window->exitProgram();
    QVERIFY(!rig.window->isVisible());
    QVERIFY(!rig.station.kissLogOpen() && rig.station.link().isClosed());
    QVERIFY(!std::filesystem::exists(logs.front()));
    QVERIFY(std::filesystem::exists(rig.folder / "other_program.lock"));
    QTRY_VERIFY(about.isNull() && status.isNull());
}

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
