// The main window as a view of the station: start-up, panel, selection, chart, exit.

#include <QChartView>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QPlainTextEdit>
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

QStringList logLines(const ui::MainWindow& w) {
    auto* box = w.findChild<ui::LogBox*>(QStringLiteral("Text3"));
    QStringList lines;
    for (std::size_t i = 0; i < box->lineCount(); ++i)
        lines << box->lineAt(static_cast<int>(i));
    return lines;
}

QLineSeries* chartSeries(const ui::MainWindow& w) {
    auto* view = w.findChild<QChartView*>(QStringLiteral("MSChart1"));
    return view ? qobject_cast<QLineSeries*>(view->chart()->series().value(0)) : nullptr;
}

QString chartTitle(const ui::MainWindow& w) { return w.findChild<QGroupBox*>(QStringLiteral("Frame5"))->title(); }

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void layoutPlacesControlsWhereTheTablesSay();
    void startUpLeavesThreeLogLinesAndAnEmptyKissLog();
    void startUpLabelsThePanelAndHighlightsSlot14();
    void startUpFailureShowsOneErrorAndSkipsTheRest_data();
    void startUpFailureShowsOneErrorAndSkipsTheRest();
    void selectionMovesAcrossGroups();
    void beaconsFillPanelAndChart();
    void importRefreshesTheChartAtABoundedRate();
    void statusWindowReadsTheStateWhenOpened();
    void exitRemovesOnlyTheRunsEmptyLog_data();
    void exitRemovesOnlyTheRunsEmptyLog();
};

void MainWindowTest::layoutPlacesControlsWhereTheTablesSay() {
    WindowRig rig(validConfig());
    ui::MainWindow& w = *rig.window;
    w.show();
    QCOMPARE(w.objectName(), QStringLiteral("Form1"));
    QCOMPARE(w.windowTitle(), QStringLiteral("VARNE-4 Online Telemetry Decoder (QX7TR)"));
    QCOMPARE(w.centralWidget()->size(), QSize(713, 747));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!w.windowIcon().isNull());

    // Twips of the layout tables divided by 15, relative to the enclosing control.
    const struct {
        const char* name;
        QRect rect;
    } placed[] = {
        {"Image3", {8, 0, 20, 20}},       {"Label3", {32, 8, 89, 17}},       {"Label5", {160, 8, 401, 17}},
        {"Label1", {576, 8, 129, 25}},    {"Frame2", {8, 40, 225, 145}},     {"Frame4", {240, 40, 233, 145}},
        {"Frame3", {480, 40, 225, 185}},  {"Text6", {8, 192, 465, 65}},      {"Label8", {480, 240, 217, 17}},
        {"Frame1", {8, 264, 697, 65}},    {"Frame5", {8, 336, 697, 241}},    {"MSChart1", {8, 16, 681, 217}},
        {"Command2", {8, 584, 17, 13}},   {"Check1", {32, 584, 145, 13}},    {"Label7", {440, 584, 257, 17}},
        {"Text3", {8, 616, 689, 121}},    {"Text1_0", {136, 24, 73, 19}},    {"Text1_4", {112, 120, 97, 19}},
        {"Picture1", {96, 120, 17, 17}},  {"Label2_4", {192, 104, 25, 17}},  {"Option1_20", {16, 120, 121, 17}},
        {"Text1_13", {136, 152, 49, 19}}, {"Label2_13", {192, 152, 25, 17}}, {"Label26", {448, 40, 121, 17}},
        {"Text1_26", {568, 40, 97, 19}},
    };
    for (const auto& p : placed) {
        auto* control = rig.find<QWidget>(QLatin1String(p.name));
        QVERIFY2(control, p.name);
        QCOMPARE(control->geometry(), p.rect);
    }
    // Working controls that are never seen: hidden, or beyond the client area's right edge.
    for (const char* name : {"Command1", "Post_Packet", "Text2", "List1", "List2", "List3", "Picture2", "Label2_0",
                             "Label2_1", "Label2_2", "Label2_3"}) {
        auto* control = rig.find<QWidget>(QLatin1String(name));
        QVERIFY2(control, name);
        QVERIFY2(control->isHidden() || control->mapTo(w.centralWidget(), QPoint(0, 0)).x() >= 713, name);
    }
    QVERIFY(rig.find<QWidget>("Picture2")->isHidden());
    QCOMPARE(rig.find<QWidget>("Picture2")->geometry(), QRect(0, 0, 713, 747));
    for (const char* menu : {"MnuImport", "MnuExit", "MnuDebug", "MnuAbout"})
        QVERIFY2(w.findChild<QAction*>(QLatin1String(menu)), menu);
}

void MainWindowTest::startUpLeavesThreeLogLinesAndAnEmptyKissLog() {
    WindowRig rig(validConfig(), true);
    QVERIFY(rig.errors.isEmpty());
    QVERIFY(rig.window->startUpSucceeded());

    const QString stamp = QLatin1String(kStartStamp) + QStringLiteral(": ");
    QCOMPARE(logLines(*rig.window),
             (QStringList{stamp + "Winsock RemotePort: 1", stamp + "Winsock RemoteHost: 127.0.0.1",
                          stamp + "127.0.0.1:1 |  | QX7TR | 48.5 | 11.25"}));
    const auto logs = rig.kissLogs();
    QCOMPARE(logs.size(), std::size_t{1});
    QCOMPARE(std::filesystem::file_size(logs.front()), std::uintmax_t{0});

    // Start values of the layout.
    QCOMPARE(rig.find<QLabel>("Label1")->text(), QStringLiteral("UTC"));
    QVERIFY(rig.find<QLabel>("Image2")->isHidden());
    QVERIFY(!rig.find<QLabel>("Image3")->isHidden());
    QVERIFY(rig.find<QCheckBox>("Check1")->isChecked());

    rig.window->Timer1_Timer();
    QCOMPARE(rig.find<QLabel>("Label1")->text(), QStringLiteral("07:08:09 UTC"));
}

void MainWindowTest::startUpLabelsThePanelAndHighlightsSlot14() {
    WindowRig rig(validConfig());
    QCOMPARE(rig.window->selectedSlot(), 14);
    QCOMPARE(rig.markedOptions(), QStringList{});
    QCOMPARE(rig.yellowBoxes(), QStringList{"Text1_14"});
    QCOMPARE(chartTitle(*rig.window), QStringLiteral("OBC temp [C]"));
    QCOMPARE(chartSeries(*rig.window)->count(), 0);

    int emptyUnits = 0;
    for (int i = 0; i < kHousekeepingSlots; ++i) {
        QCOMPARE(rig.option1(i)->text(), QString::fromLatin1(slotLabel(i).data(), qsizetype(slotLabel(i).size())));
        const QString unit = rig.find<QLabel>(QStringLiteral("Label2_%1").arg(i))->text();
        QCOMPARE(unit, QString::fromLatin1(slotUnit(i).data(), qsizetype(slotUnit(i).size())));
        emptyUnits += unit.isEmpty();
    }
    QCOMPARE(emptyUnits, 2);
    QCOMPARE(rig.find<QLabel>("Label21")->text(), QStringLiteral("local last scan"));
    QCOMPARE(rig.find<QLabel>("Label26")->text(), QStringLiteral("remote PSA last event"));
    for (int i = 0; i < kPanelSlots; ++i) {
        QVERIFY(rig.text1(i)->text().isEmpty());
        QVERIFY(rig.text1(i)->isReadOnly());
    }
}

void MainWindowTest::startUpFailureShowsOneErrorAndSkipsTheRest_data() {
    QTest::addColumn<QString>("config");
    QTest::addColumn<bool>("writeConfig");
    QTest::addColumn<int>("logLines"); // the settings line is logged once the file was read

    QTest::newRow("PORT without colon") << "PORT=localhost\r\nMYCALL=QX7TR\r\n" << true << 1;
    QTest::newRow("PORT not a number") << "PORT=localhost:agw\r\n" << true << 1;
    QTest::newRow("PORT absent") << "# nothing but a comment\r\n" << true << 1;
    QTest::newRow("line without =") << "PORT=127.0.0.1:1\r\nMYCALL\r\n" << true << 0;
    QTest::newRow("empty file") << "" << true << 0;
    QTest::newRow("missing file") << "" << false << 0;
}

void MainWindowTest::startUpFailureShowsOneErrorAndSkipsTheRest() {
    QFETCH(QString, config);
    QFETCH(bool, writeConfig);
    QFETCH(int, logLines);
    WindowRig rig(config.toStdString(), true, writeConfig);

    QCOMPARE(rig.errors.size(), 1);
    const QStringList parts = rig.errors.front().split(QLatin1Char('|'));
    QCOMPARE(parts.value(0), QStringLiteral("Open Error"));
    const QStringList lines = parts.value(1).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("The following error occured: "));
    QVERIFY(lines[1].startsWith(QStringLiteral("Error # ")));
    QVERIFY(lines[2].startsWith(QStringLiteral("online_conf.ini ")));

    QVERIFY(!rig.window->startUpSucceeded());
    QCOMPARE(::logLines(*rig.window).size(), logLines);
    QVERIFY(rig.kissLogs().empty());
    // The panel keeps its layout captions and the design-time mark; nothing is highlighted.
    QCOMPARE(rig.option1(14)->text(), QStringLiteral("Option1"));
    QCOMPARE(rig.markedOptions(), QStringList{"Option1_0"});
    QCOMPARE(rig.yellowBoxes(), QStringList{});
    QCOMPARE(rig.window->selectedSlot(), 0);

    rig.window->Timer1_Timer();
    QVERIFY(rig.find<QLabel>("Image2")->isHidden());
    QVERIFY(!rig.find<QLabel>("Image3")->isHidden());
    // The window stays usable.
    rig.option1(7)->click();
    QCOMPARE(rig.yellowBoxes(), QStringList{"Text1_7"});
}

void MainWindowTest::selectionMovesAcrossGroups() {
    WindowRig rig(validConfig());
    struct Step {
        int slot;
        const char* title;
    };
    // Status, Power, Temperatures, Status again, the same one twice.
    const Step steps[] = {{2, "uptime [s]"}, {7, "batt A voltage [mV]"}, {19, "-Z panel temp [C]"},
                          {4, "state"},      {1, "event indicator"},     {1, "event indicator"}};
    for (const Step& s : steps) {
        rig.option1(s.slot)->click();
        const QString name = QStringLiteral("Option1_%1").arg(s.slot);
        QCOMPARE(rig.markedOptions(), QStringList{name});
        QCOMPARE(rig.yellowBoxes(), QStringList{QStringLiteral("Text1_%1").arg(s.slot)});
        QCOMPARE(rig.window->selectedSlot(), s.slot);
        QCOMPARE(chartTitle(*rig.window), QString::fromLatin1(s.title));
    }
    // A slot without a chart option clears every mark and highlight.
    rig.window->Option1_Click(23);
    QCOMPARE(rig.markedOptions(), QStringList{});
    QCOMPARE(rig.yellowBoxes(), QStringList{});
}

void MainWindowTest::beaconsFillPanelAndChart() {
    WindowRig rig(validConfig());
    const std::int8_t temps[] = {43, -3, 0};
    for (int i = 0; i < 3; ++i) {
        rig.clock.set(DateTime{2024, 5, 6, 10 + i, 20 + i, 0, 0});
        rig.live(housekeepingFrame(0x5E, temps[i]));
    }
    const PanelState& panel = rig.station.pipeline().panel();
    for (int i = 0; i < kPanelSlots; ++i)
        QCOMPARE(rig.text1(i)->text(), QString::fromStdString(panel.slotText[static_cast<std::size_t>(i)]));
    QCOMPARE(rig.text1(4)->text(), QStringLiteral("01011110"));
    QCOMPARE(rig.text1(14)->text(), QStringLiteral("0"));
    QCOMPARE(rig.find<QLabel>("Label5")->text(), QStringLiteral("housekeeping beacon"));
    QCOMPARE(rig.find<QLabel>("Label8")->text(), QString::fromStdString(panel.timeLine));
    QCOMPARE(rig.find<QLineEdit>("Text4")->text(), QString::fromStdString(panel.uptimeText));
    QVERIFY(!rig.find<QLabel>("Label7")->text().isEmpty());

    // A click draws at once, with one row per history entry, oldest first.
    rig.option1(14)->click();
    QLineSeries* series = chartSeries(*rig.window);
    QCOMPARE(series->count(), 3);
    QCOMPARE(series->at(0).y(), 21.5);
    QCOMPARE(series->at(1).y(), -1.5);
    QCOMPARE(series->at(2).y(), 0.0);
    QVERIFY(series->at(0).x() < series->at(1).x() && series->at(1).x() < series->at(2).x());
    QCOMPARE(series->at(1).x() - series->at(0).x(), 3660000.0);

    // Other beacons redraw without adding a row; messages collect in Text6.
    QSignalSpy redraws(series, &QXYSeries::pointsReplaced);
    rig.live(messageFrame("HELLO"));
    rig.live(messageFrame(""));
    rig.live(messageFrame("73 \xE9"));
    QTRY_COMPARE(redraws.count(), 1);
    QCOMPARE(series->count(), 3);
    auto* text6 = rig.find<ui::LogBox>("Text6");
    QCOMPARE(text6->lineCount(), std::size_t{3});
    QCOMPARE(text6->lineAt(0), QStringLiteral("HELLO"));
    QCOMPARE(text6->lineAt(1), QString());
    QCOMPARE(text6->lineAt(2), QStringLiteral("73 \u00E9"));
    QVERIFY(rig.find<QLabel>("Label5")->text().startsWith(QStringLiteral("message beacon ")));

    // Slot 4 has no unit: the title has no brackets and the byte is plotted as a number.
    rig.window->Option1_Click(4);
    QCOMPARE(chartTitle(*rig.window), QStringLiteral("state"));
    QCOMPARE(series->at(2).y(), 94.0);
}

void MainWindowTest::importRefreshesTheChartAtABoundedRate() {
    WindowRig rig(validConfig());
    QLineSeries* series = chartSeries(*rig.window);
    QSignalSpy redraws(series, &QXYSeries::pointsReplaced);

    const ByteVector frame = housekeepingFrame(0x40, 10);
    ByteVector record{0x00};
    record.insert(record.end(), frame.begin(), frame.end());
    for (int i = 0; i < 200; ++i)
        rig.station.takeImportedRecord(record);
    QCOMPARE(redraws.count(), 0); // nothing drawn while the frames pour in

    QTRY_COMPARE(series->count(), 200);
    QTest::qWait(250);
    QCOMPARE(redraws.count(), 1);
    QCOMPARE(series->count(), static_cast<int>(rig.station.pipeline().history().size()));
}

void MainWindowTest::statusWindowReadsTheStateWhenOpened() {
    WindowRig rig(validConfig());
    rig.window->Picture1_Click();
    QPointer<ui::StatusWindow> first = rig.window->statusWindow();
    QVERIFY(first);
    QVERIFY(first->parent() == nullptr);
    QCOMPARE(first->stateText(), QString());
    QCOMPARE(first->line(0), QStringLiteral("bit 7"));

    // A beacon while it is open changes nothing; a second click brings the same window.
    rig.live(housekeepingFrame(0x5E, 0));
    rig.window->Picture1_Click();
    QCOMPARE(rig.window->statusWindow().data(), first.data());
    QCOMPARE(first->line(0), QStringLiteral("bit 7"));

    first->close();
    QTRY_VERIFY(first.isNull());
    rig.window->Picture1_Click();
    QCOMPARE(rig.window->statusWindow()->stateText(), QStringLiteral("01011110"));
    QCOMPARE(rig.window->statusWindow()->line(0), QStringLiteral("NOMINAL Mode"));

    // Closing the main window closes the other windows.
    rig.window->MnuAbout_Click();
    QPointer<ui::AboutWindow> about = rig.window->aboutWindow();
    QPointer<ui::StatusWindow> status = rig.window->statusWindow();
    QVERIFY(about && about->isVisible() && status->isVisible());
    rig.window->close();
    QTRY_VERIFY(about.isNull() && status.isNull());
}

void MainWindowTest::exitRemovesOnlyTheRunsEmptyLog_data() {
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("logKept");
    QTest::newRow("no frame heard") << 0 << false;
    QTest::newRow("one frame heard") << 1 << true;
}

void MainWindowTest::exitRemovesOnlyTheRunsEmptyLog() {
    QFETCH(int, frames);
    QFETCH(bool, logKept);
    WindowRig rig(validConfig());
    writeFile(rig.folder / "other_program.lock", std::string_view{});
    writeFile(rig.folder / "notes.txt", std::string_view{"keep"});
    std::filesystem::create_directory(rig.folder / "empty_dir");
    rig.window->show();
    const auto logs = rig.kissLogs();
    QCOMPARE(logs.size(), std::size_t{1});
    for (int i = 0; i < frames; ++i)
        rig.live(housekeepingFrame(0, 0));

    rig.window->MnuExit_Click();
    QVERIFY(!rig.window->isVisible());
    QVERIFY(!rig.station.kissLogOpen());
    QVERIFY(rig.station.link().isClosed());
    QCOMPARE(std::filesystem::exists(logs.front()), logKept);
    QVERIFY(std::filesystem::exists(rig.folder / "other_program.lock"));
    QVERIFY(std::filesystem::exists(rig.folder / "notes.txt"));
    QVERIFY(std::filesystem::is_directory(rig.folder / "empty_dir"));
}

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
