// The main window as a view of the station: start-up, panel, selection, chart,
// exit, and its menu work: import, screenshot, CSV export.

#include <QChartView>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include "intake/tcp_link.h"
#include "ui/about_window.h"
#include "ui/chart_series.h"
#include "ui/group_frame.h"
#include "ui/log_box.h"
#include "ui/qt_value_chart.h"
#include "ui/status_window.h"
#include "window_rig.h"

using namespace varne4;
using namespace varne4::test;

namespace {

QString chartTitleOf(const WindowRig& rig) { return rig.find<QGroupBox>(QStringLiteral("Frame5"))->title(); }

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startUpShowsTheLayoutTheLogAndSlot14ThenSelectionMoves() {
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
        const QString stamp = QStringLiteral("2024-05-06 07:08:09.010: ");
        QCOMPARE(rig.find<ui::LogBox>("Text3")->text(), stamp + latin1(texts::kRemotePort) + "1\n" + stamp +
                                                            latin1(texts::kRemoteHost) + "127.0.0.1\n" + stamp +
                                                            "127.0.0.1:1 |  | QX7TR | 48.5 | 11.25");

        QCOMPARE(rig.marks(), QStringList{"Text1_14"}); // highlighted, but no option marked
        QCOMPARE(chartTitleOf(rig), QStringLiteral("OBC temp [C]"));

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
            rig.chartOption(slot)->click();
            QCOMPARE(rig.marks(),
                     (QStringList{QStringLiteral("Option1_%1").arg(slot), QStringLiteral("Text1_%1").arg(slot)}));
            QCOMPARE(chartTitleOf(rig), QLatin1String(title));
        }
        // A slot without a chart option clears every mark and highlight.
        rig.window->selectChartSlot(23);
        QCOMPARE(rig.marks(), QStringList{});
    }

    void startUpFailureShowsOneErrorAndSkipsTheRest_data() {
        QTest::addColumn<QString>("config"); // empty: no file at all
        QTest::addColumn<int>("logLines");   // the settings line is logged once the file was read
        QTest::newRow("PORT without colon") << "PORT=localhost\r\nMYCALL=QX7TR\r\n" << 1;
        QTest::newRow("line without =") << "PORT=127.0.0.1:1\r\nMYCALL\r\n" << 0;
        QTest::newRow("missing file") << "" << 0;
    }
    void startUpFailureShowsOneErrorAndSkipsTheRest() {
        QFETCH(QString, config);
        QFETCH(int, logLines);
        WindowRig rig(config.toStdString(), true);
        QCOMPARE(rig.errors.size(), 1);
        auto fixed = [](std::string_view text) { return QRegularExpression::escape(latin1(text)); };
        const QRegularExpression error(QStringLiteral("^%1\\|%2\r\n%3[^\r\n]+\r\n%4[^\r\n]+$")
                                           .arg(fixed(texts::kOpenErrorTitle), fixed(texts::kOpenErrorLine1),
                                                fixed(texts::kOpenErrorLine2), fixed(texts::kOpenErrorLine3)));
        QVERIFY2(error.match(rig.errors.front()).hasMatch(), qPrintable(rig.errors.front()));
        QVERIFY(!rig.window->startUpSucceeded());
        QCOMPARE(rig.find<ui::LogBox>("Text3")->lineCount(), std::size_t(logLines));
        QVERIFY(kissLogsIn(rig.folder.path()).empty());
        // The panel keeps its design-time mark; nothing is highlighted. Its captions are there all the same.
        QCOMPARE(rig.marks(), QStringList{"Option1_0"});
        for (int slot = 0; slot < kPanelSlots; ++slot) {
            const QString caption = slot < kHousekeepingSlots
                                        ? rig.chartOption(slot)->text()
                                        : rig.find<QLabel>(QStringLiteral("Label%1").arg(slot))->text();
            QCOMPARE(caption, latin1(slotLabel(slot)));
        }
        rig.chartOption(7)->click(); // the window stays usable
        QCOMPARE(rig.marks(), (QStringList{"Option1_7", "Text1_7"}));
    }

    void beaconsFillPanelChartAndStatusWindow() {
        WindowRig rig(validConfig());
        const std::int8_t temps[] = {43, -3, 0};
        for (int i = 0; i < 3; ++i) {
            rig.clock.set(DateTime{2024, 5, 6, 10 + i, 20 + i, 0, 0});
            rig.live(housekeepingFrame(0x5E, temps[i]));
        }
        const PanelState& panel = rig.station.pipeline().panel();
        for (int i = 0; i < kPanelSlots; ++i)
            QCOMPARE(rig.valueBox(i)->text(), fromUtf8(panel.slotText[static_cast<std::size_t>(i)]));
        QCOMPARE(rig.find<QLabel>("Label8")->text(), fromUtf8(panel.timeLine));
        QCOMPARE(rig.find<QLineEdit>("Text4")->text(), fromUtf8(panel.uptimeText));

        // A click draws at once, one row per beacon, oldest first, labelled with its UTC time.
        rig.chartOption(14)->click();
        auto* series = qobject_cast<QLineSeries*>(rig.find<QChartView>("MSChart1")->chart()->series().value(0));
        QCOMPARE(series->points(), (QList<QPointF>{{0, 21.5}, {1, -1.5}, {2, 0}}));
        QCOMPARE(rig.find<ui::QtValueChart>("Frame5")->rowAxisLabels(),
                 (QList<std::pair<double, QString>>{{0, "10:20"}, {1, "11:21"}, {2, "12:22"}}));

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
        QVERIFY(!redraws.wait(250)); // and no second redraw follows
        QCOMPARE(redraws.count(), 1);

        // The status window follows the satellite: a beacon while it is open shows there with its
        // time, and a second click brings the same window. It opens beside the main window.
        rig.window->show();
        rig.window->openStatusWindow();
        QPointer<ui::StatusWindow> status = rig.window->statusWindow();
        QCOMPARE(status->stateText(), QStringLiteral("01000000"));
        QCOMPARE(status->asOf(), QStringLiteral("as of 2024-05-06 12:22:00 UTC"));
        const QRect screen = rig.window->screen()->availableGeometry();
        QCOMPARE(status->pos(), ui::besideWindow(rig.window->frameGeometry(), status->frameGeometry().size(), screen));
        rig.clock.set(DateTime{2024, 5, 6, 13, 0, 5, 0});
        rig.live(housekeepingFrame(0xFF, 0));
        rig.window->openStatusWindow();
        QCOMPARE(rig.window->statusWindow().data(), status.data());
        QCOMPARE(status->stateText(), QStringLiteral("11111111"));
        QCOMPARE(status->line(6), latin1(texts::kMcuB));
        QCOMPARE(status->asOf(), QStringLiteral("as of 2024-05-06 13:00:05 UTC"));
        rig.live(makeMessageFrame("not a state")); // other beacons leave it as it is
        QCOMPARE(status->asOf(), QStringLiteral("as of 2024-05-06 13:00:05 UTC"));
    }

    // 27 beacons imported in a blink are 27 rows, labelled with the times their file gives them
    // (text and binary stamps), not a vertical line at the time of the import.
    void anImportIsChartedRowByRowAtItsRecordedTimes() {
        WindowRig rig(validConfig());
        ByteVector file;
        for (int i = 0; i < 27; ++i) {
            // Three passes, hours apart: 14:00.., 17:00.., 20:00..
            const DateTime t{2024, 5, 5, 14 + 3 * (i / 9), 2 * (i % 9), 5, 250};
            if (i % 2 == 0) {
                kiss::appendTimeStampRecord(file, utcTimestamp(t) + " UTC");
            } else {
                ByteVector binary{kiss::kTimeStampCommand};
                for (int shift = 56; shift >= 0; shift -= 8)
                    binary.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(unixMillis(t)) >> shift));
                kiss::appendFrameRecord(file, binary);
            }
            kiss::appendFrameRecord(file, withPortByte(housekeepingFrame(0x5E, static_cast<std::int8_t>(i))));
        }
        writeFile(rig.folder / "passes.kss", file);
        rig.window->importFiles({qpath(rig.folder / "passes.kss")});
        QTRY_VERIFY(!rig.window->importer().running());

        auto* chart = rig.find<ui::QtValueChart>("Frame5");
        QCOMPARE(chart->pointCount(), 27);
        auto* series = qobject_cast<QLineSeries*>(chart->chartView()->chart()->series().value(0));
        for (int i = 0; i < 27; ++i)
            QCOMPARE(series->at(i), QPointF(i, i / 2.0));
        const int step = ui::rowLabelStep(27, chart->rowLabelRoom());
        QVERIFY(step > 1); // 27 labels do not fit side by side
        QList<std::pair<double, QString>> expected;
        for (int row = 0; row < 27; row += step)
            expected.append(
                {row, QStringLiteral("%1:%2").arg(14 + 3 * (row / 9)).arg(2 * (row % 9), 2, 10, QLatin1Char('0'))});
        QCOMPARE(chart->rowAxisLabels(), expected);
        QCOMPARE(rig.find<QLabel>("Label8")->text(), QStringLiteral("2024-05-05 20:16:05.250"));
    }

    // Label3 says the protocol and the state in words; the icons show connected or not.
    void linkIndicatorSaysWhatTheLinkIsDoing() {
        const auto caption = [](const WindowRig& rig) { return rig.find<QLabel>("Label3")->accessibleName(); };
        const auto up = [](const WindowRig& rig) {
            return !rig.find<QLabel>("Image2")->isHidden() && rig.find<QLabel>("Image3")->isHidden();
        };
        {
            WindowRig refused(validConfig() + "RECONNECT=7\r\n");
            QTRY_VERIFY2(QRegularExpression(QStringLiteral("^AGW refused \u2014 retry in [1-7] s$"))
                             .match(caption(refused))
                             .hasMatch(),
                         qPrintable(caption(refused)));
            QVERIFY(!up(refused));
            auto* label = refused.find<QLabel>("Label3");
            QCOMPARE(label->toolTip(), QStringLiteral("AGW link to 127.0.0.1:1\nno frame received yet"));
            refused.live(housekeepingFrame(0x5E, 40));
            refused.window->onClockTick();
            QCOMPARE(label->toolTip(),
                     QStringLiteral("AGW link to 127.0.0.1:1\nlast frame 2024-05-06 07:08:09 UTC, 0 s ago"));
            QCOMPARE(refused.find<QLabel>("Image3")->toolTip(), label->toolTip());
            QCOMPARE(label->geometry(), QRect(32, 8, 89, 17)); // where the layout puts it
        }
        {
            WindowRig once(validConfig());
            QTRY_COMPARE(caption(once), QStringLiteral("AGW refused"));
        }
        QTcpServer modem;
        QVERIFY(modem.listen(QHostAddress::LocalHost));
        WindowRig connected(
            QStringLiteral("PORT=127.0.0.1:%1\r\nMYCALL=QX7TR\r\n").arg(modem.serverPort()).toStdString());
        QTRY_COMPARE(caption(connected), QStringLiteral("AGW connected"));
        QVERIFY(up(connected));
        connected.station.link().close();
        QTRY_COMPARE(caption(connected), QStringLiteral("AGW closed"));
        QVERIFY(!up(connected));
    }

    // Every value box and option says what it shows: label, unit, meaning, and the number behind the text.
    void everyValueExplainsItselfInItsTooltip() {
        WindowRig rig(validConfig());
        const auto tipsOf = [&rig](int slot) {
            QWidget* caption = slot < kHousekeepingSlots
                                   ? static_cast<QWidget*>(rig.chartOption(slot))
                                   : static_cast<QWidget*>(rig.find<QLabel>(QStringLiteral("Label%1").arg(slot)));
            return QStringList{rig.valueBox(slot)->toolTip(), caption->toolTip()};
        };
        for (int slot = 0; slot < kPanelSlots; ++slot)
            for (const QString& tip : tipsOf(slot)) {
                QVERIFY2(tip.startsWith(latin1(slotLabel(slot))) && tip.contains(latin1(slotMeaning(slot))) &&
                             tip.endsWith(QStringLiteral("no value yet")),
                         qPrintable(tip));
                QVERIFY(!slotMeaning(slot).empty());
            }

        HousekeepingSample s;
        s.rtc = 4004863744; // 2026-11-28 14:09:04
        s.state = 0x5E;
        s.temps[0] = -3;
        rig.live(makeHousekeepingFrame(s));
        rig.live(makeMemoryCheckFrame({0, 4004863744, 0, 0, 0, 0}));
        const std::pair<int, const char*> shown[] = {
            {3, "RTC [s]\nthe satellite's clock: minutes since 1900-01-01 00:00 UTC, shown as date and time\n"
                "value: 66747729.0666667"},
            {4, "value: 94"},
            {14, "OBC temp [C]\ntemperature of the on-board computer, in steps of 0.5 C\nvalue: -1.5"},
            {1, "event indicator\n"},
            {22, "local last event\n"},
            {22, "value: 4004863744 s since 1900"},
            {21, "value: 0 s since 1900"},
        };
        for (const auto& [slot, part] : shown)
            for (const QString& tip : tipsOf(slot))
                QVERIFY2(tip.contains(QLatin1String(part)), qPrintable(tip));
        QCOMPARE(rig.find<QWidget>("Frame5")->toolTip(), latin1(slotMeaning(14)));
    }

    void exitClosesEverythingAndRemovesOnlyTheRunsEmptyLog() {
        WindowRig rig(validConfig());
        writeFile(rig.folder / "other_program.lock", std::string_view{});
        rig.window->show();
        rig.window->openAboutWindow();
        rig.window->openStatusWindow();
        QPointer<ui::AboutWindow> about = rig.window->aboutWindow();
        QPointer<ui::StatusWindow> status = rig.window->statusWindow();
        const auto logs = kissLogsIn(rig.folder.path());
        QVERIFY(about && status && logs.size() == 1);

        rig.window->exitProgram();
        QVERIFY(!rig.window->isVisible());
        QVERIFY(!rig.station.kissLogOpen() && rig.station.link().isClosed());
        QVERIFY(!std::filesystem::exists(logs.front()));
        QVERIFY(std::filesystem::exists(rig.folder / "other_program.lock"));
        QTRY_VERIFY(about.isNull() && status.isNull());
    }

    void importShowsItsFilesAndCanBeCancelled() {
        WindowRig rig(validConfig());
        // Time stamps and housekeeping beacons in turn: 4 beacons, then 2 more. Over in a blink: no progress box.
        QVERIFY(makeBenchRecording(rig.folder / "a.kss", 8) && makeBenchRecording(rig.folder / "b.kss", 4));
        bool boxShown = false;
        connect(&rig.window->importer(), &KissImport::progress, this,
                [&] { boxShown = boxShown || rig.window->importProgress(); });
        QElapsedTimer took;
        took.start();
        rig.window->importFiles({qpath(rig.folder / "a.kss"), qpath(rig.folder / "b.kss")});
        QTRY_VERIFY_WITH_TIMEOUT(!rig.window->importer().running(), 20000);
        QCOMPARE(rig.find<QLabel>("Label7")->text(),
                 latin1(texts::kImportPrefix) + "6" + latin1(texts::kPostOkSeparator) + "0");
        if (took.elapsed() < 400) QVERIFY(!boxShown && !rig.window->importProgress());

        // One that takes a while shows its box after half a second, naming the file; the menu is
        // off while it runs, and the box's button stops it.
        QVERIFY(makeBenchRecording(rig.folder / "big.kss", 400000));
        auto* menu = rig.find<QAction>("MnuImport");
        rig.window->importer().setSliceMs(1);
        QSignalSpy done(&rig.window->importer(), &KissImport::finished);
        took.restart();
        rig.window->importFiles({qpath(rig.folder / "big.kss")});
        QVERIFY(!menu->isEnabled());
        QVERIFY(!rig.window->importProgress());
        QTRY_VERIFY(rig.window->importProgress() && rig.window->importProgress()->isVisible());
        QVERIFY(took.elapsed() >= 500);
        QTRY_COMPARE(rig.window->importProgress()->labelText().section('\n', 0, 0),
                     QStringLiteral("File 1 of 1: big.kss"));
        rig.window->importProgress()->findChild<QPushButton*>()->click();
        QVERIFY(done.wait(10000));
        QCOMPARE(done.first().first().toBool(), true);
        QVERIFY(rig.station.pipeline().rxCounter() < 6u + 200000u); // stopped before the end
        QVERIFY(menu->isEnabled());
    }

    void aCancelledDialogOrTooManyFilesImportNothing() {
        WindowRig rig(validConfig());
        rig.window->chooseImportFiles();
        auto* dialog = rig.window->findChild<QFileDialog*>("CommonDialog1");
        QVERIFY(dialog && dialog->fileMode() == QFileDialog::ExistingFiles);
        QCOMPARE(dialog->nameFilters().first(), QStringLiteral("Log Files (*.kss)"));
        dialog->reject();
        QVERIFY(!rig.window->importer().running());

        QStringList files;
        for (int i = 0; i < 40; ++i)
            files << qpath(rig.folder / (std::string(60, 'x') + std::to_string(i) + ".kss"));
        rig.window->importFiles(files);
        QCOMPARE(rig.errors, QStringList{latin1(texts::kImportTitle) + '|' + latin1(texts::kTooManyFiles)});
        QVERIFY(!rig.window->importer().running());
    }

    void screenshotWritesACroppedPalettePngOrSaysWhyNot() {
        WindowRig rig(validConfig() + "SCREENSHOT=YES\r\n");
        rig.live(housekeepingFrame(0x5E, 40));
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.window->takeScreenshot();

        // The local date of the clock.
        const std::string prefix = rig.station.imagePathPrefix() + std::string(texts::kScreenshotPrefix) + "06052024";
        QVERIFY(std::filesystem::exists(prefix + ".png"));
        QVERIFY(!std::filesystem::exists(prefix + ".bmp"));
        const QImage png(fromUtf8(prefix + ".png"));
        QCOMPARE(png.size(), QSize(707, 540));
        QCOMPARE(png.format(), QImage::Format_Indexed8);
        QVERIFY(png.colorCount() <= 256);
        QVERIFY(png.colorTable().contains(qRgba(240, 240, 240, 0)));
        QCOMPARE(qAlpha(png.pixel(5, 520)), 0); // the window colour below the chart is transparent

        // The note names the file that exists, whole, and stands through the next ticks for three seconds.
        QElapsedTimer shown;
        shown.start();
        auto* note = rig.find<QLabel>("Label1");
        const QString saved = QStringLiteral("varne4_06052024.png") + latin1(texts::kScreenshotSaved);
        QCOMPARE(note->text(), saved);
        QCOMPARE(note->toolTip(), QDir::toNativeSeparators(fromUtf8(prefix + ".png")));
        const QRect room = note->contentsRect();
        const QRect needed = note->fontMetrics().boundingRect(room, int(note->alignment()) | Qt::TextWordWrap, saved);
        QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(), "the note is cut");
        rig.window->onClockTick();
        QCOMPARE(note->text(), saved);
        QTRY_COMPARE_WITH_TIMEOUT(note->text(), QStringLiteral("07:08:09 UTC"), 6000);
        QVERIFY(shown.elapsed() >= 3000);
        const auto& log = rig.station.statusLog();
        QCOMPARE(log.line(log.size() - 1), prefix + ".png" + std::string(texts::kScreenshotConverted));

        // A folder that is not there: reported in the log, no caption.
        WindowRig missing(validConfig() + "IMAGE_PATH=/nonexistent/folder/\r\n");
        missing.window->takeScreenshot();
        QVERIFY(missing.station.statusLog().line(0).find("screenshot failed") != std::string::npos);
        QCOMPARE(missing.find<QLabel>("Label1")->text(), QStringLiteral("UTC"));
    }

    // Every enabled text of the window reads at least 4.5 : 1 against what it stands on (WCAG 2).
    void enabledTextHasEnoughContrast() {
        WindowRig rig(validConfig());
        rig.live(housekeepingFrame(0x5E, 41));
        rig.window->show();
        const auto luminance = [](const QColor& c) {
            const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
        };
        const auto ratio = [&](const QColor& a, const QColor& b) {
            const double la = luminance(a), lb = luminance(b);
            return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
        };
        QCOMPARE(qRound(ratio(QColor(128, 128, 128), QColor(240, 240, 240)) * 10), 35); // the grey that was too light
        int checked = 0;
        for (QWidget* w : rig.window->findChildren<QWidget*>()) {
            if (!w->isVisible() || !w->isEnabled()) continue;
            const QPalette& p = w->palette();
            std::optional<std::pair<QColor, QColor>> colours; // text, background
            if (qobject_cast<ui::GroupFrame*>(w))
                colours = {ui::GroupFrame::captionColor(), p.color(QPalette::Window)};
            else if (qobject_cast<QLabel*>(w) && !static_cast<QLabel*>(w)->text().isEmpty())
                colours = {p.color(QPalette::WindowText), p.color(QPalette::Window)};
            else if (qobject_cast<QLineEdit*>(w) || qobject_cast<ui::LogBox*>(w))
                colours = {p.color(QPalette::Text), p.color(QPalette::Base)};
            if (!colours) continue;
            ++checked;
            const double r = ratio(colours->first, colours->second);
            QVERIFY2(r >= 4.5, qPrintable(QStringLiteral("%1: %2 : 1").arg(w->objectName()).arg(r, 0, 'f', 2)));
        }
        QVERIFY(checked > 40);
    }

    void csvExportIsWholeOrReported() {
        WindowRig rig(validConfig());
        rig.live(housekeepingFrame(0x5E, 41));
        const auto csv = rig.folder / "history.csv";
        rig.window->exportCsvTo(qpath(csv));
        const ByteVector bytes = readFile(csv);
        const QByteArray text(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
        QCOMPARE(text.count('\n'), 2);
        QCOMPARE(text.split('\n')[1].trimmed().split(',')[15], QByteArray("20.5")); // "." whatever the locale

        rig.window->exportCsvTo(QStringLiteral("/nonexistent/folder/h.csv"));
        QVERIFY(rig.station.statusLog().line(0).find("could not be exported") != std::string::npos);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
