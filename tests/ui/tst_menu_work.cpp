// The main window's menu work: importing KISS files, the screenshot, the debug
// file and the CSV export of the value history.

#include <QFileDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "kisslog/kiss.h"
#include "sim/sample_recording.h"
#include "ui/screenshot.h"
#include "ui_test_support.h"

using namespace varne4;
using namespace varne4::test;

namespace {

// A log as the station writes it: `frames` frames, every third the satellite's.
std::filesystem::path writeLog(const ScratchFolder& folder, const std::string& name, int frames) {
    ByteVector out;
    for (int i = 0; i < frames; ++i) {
        kiss::appendTimeStampRecord(out, "2024-05-06 07:08:09.010 UTC");
        HousekeepingSample s;
        s.uptime = i;
        kiss::appendFrameRecord(
            out, withPortByte(i % 3 == 0 ? makeHousekeepingFrame(s) : makeStationFrame("CQ", "OK1ABC", "", "hi")));
    }
    const auto path = folder / name;
    writeFile(path, out);
    return path;
}

QString qpath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

bool waitForImport(WindowRig& rig) {
    if (!rig.window->importer().running()) return true;
    QSignalSpy done(&rig.window->importer(), &KissImport::finished);
    return done.wait(20000);
}

} // namespace

class TestMenuWork : public QObject {
    Q_OBJECT
private slots:
    void importRunsEveryChosenFileThroughThePipeline();
    void importMenuIsOffWhileAnImportRuns();
    void cancellingTheDialogImportsNothing();
    void tooManyFilesAreRefused();
    void screenshotWritesACroppedPalettePng();
    void screenshotIntoAMissingFolderIsReported();
    void csvExportIsWholeOrReported();
};

void TestMenuWork::importRunsEveryChosenFileThroughThePipeline() {
    WindowRig rig(validConfig());
    const auto a = writeLog(rig.folder, "a.kss", 10); // 4 satellite frames
    const auto b = writeLog(rig.folder, "b.kss", 4);  // 2 more
    QStringList shown;                                // the progress box names the file being read
    connect(&rig.window->importer(), &KissImport::progress, this,
            [&] { shown << rig.window->importProgress()->labelText().section(QLatin1Char('\n'), 0, 0); });
    rig.window->importFiles({qpath(a), qpath(b)});
    QVERIFY(waitForImport(rig));
    QCOMPARE(rig.find<QLabel>("Label7")->text(), QStringLiteral("KISS packets: 6 | HTTP POST OK: 0"));
    shown.removeDuplicates();
    QCOMPARE(shown, (QStringList{"File 1 of 2: a.kss", "File 2 of 2: b.kss"}));
}

void TestMenuWork::importMenuIsOffWhileAnImportRuns() {
    WindowRig rig(validConfig());
    const auto big = writeLog(rig.folder, "big.kss", 30000);
    auto* menu = rig.find<QAction>("MnuImport");
    rig.window->importer().setSliceMs(1);
    rig.window->importFiles({qpath(big)});
    QVERIFY(!menu->isEnabled());
    QVERIFY(rig.window->importProgress());
    QSignalSpy done(&rig.window->importer(), &KissImport::finished);
    QSignalSpy progress(&rig.window->importer(), &KissImport::progress);
    QVERIFY(progress.wait(5000)); // the file is open; its records follow in slices
    auto* cancelButton = rig.window->importProgress()->findChild<QPushButton*>();
    QVERIFY(cancelButton);
    cancelButton->click();
    QVERIFY(done.wait(10000));
    QCOMPARE(done.first().first().toBool(), true);
    QVERIFY(rig.station.pipeline().rxCounter() < 10000u);
    QVERIFY(menu->isEnabled());
}

void TestMenuWork::cancellingTheDialogImportsNothing() {
    WindowRig rig(validConfig());
    rig.window->chooseImportFiles();
    QFileDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = rig.window->findChild<QFileDialog*>("CommonDialog1")) != nullptr);
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
    QCOMPARE(dialog->nameFilters().first(), QStringLiteral("Log Files (*.kss)"));
    dialog->reject();
    QCoreApplication::processEvents();
    QVERIFY(!rig.window->importer().running());
}

void TestMenuWork::tooManyFilesAreRefused() {
    WindowRig rig(validConfig());
    QStringList files;
    for (int i = 0; i < 40; ++i)
        files << qpath(rig.folder / (std::string(60, 'x') + std::to_string(i) + ".kss"));
    rig.window->importFiles(files);
    QCOMPARE(rig.errors.size(), 1);
    QVERIFY(rig.errors.first().endsWith(QStringLiteral("|too many files selected")));
    QVERIFY(!rig.window->importer().running());
}

void TestMenuWork::screenshotWritesACroppedPalettePng() {
    WindowRig rig(validConfig() + "SCREENSHOT=YES\r\n");
    rig.live(housekeepingFrame(0x5E, 40));
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    rig.window->takeScreenshot();

    const std::string prefix = rig.station.imagePathPrefix() + "varne4_06052024"; // local date of the clock
    QVERIFY(std::filesystem::exists(prefix + ".png"));
    QVERIFY(!std::filesystem::exists(prefix + ".bmp"));
    const QImage png(QString::fromStdString(prefix + ".png"));
    QCOMPARE(png.size(), QSize(707, 540));
    QCOMPARE(png.format(), QImage::Format_Indexed8);
    QVERIFY(png.colorCount() <= 256);
    QVERIFY(png.colorTable().contains(qRgba(240, 240, 240, 0)));
    QCOMPARE(qAlpha(png.pixel(5, 520)), 0); // the window colour below the chart is transparent

    QCOMPARE(rig.find<QLabel>("Label1")->text(), QString::fromStdString(prefix + ".bmp saved"));
    const auto& log = rig.station.statusLog();
    QCOMPARE(log.line(log.size() - 1), prefix + ".png converted and saved");
}

void TestMenuWork::screenshotIntoAMissingFolderIsReported() {
    WindowRig rig(validConfig() + "IMAGE_PATH=/nonexistent/folder/\r\n");
    rig.window->takeScreenshot();
    QVERIFY(rig.station.statusLog().line(0).find("screenshot failed") != std::string::npos);
    QCOMPARE(rig.find<QLabel>("Label1")->text(), QStringLiteral("UTC"));
}

void TestMenuWork::csvExportIsWholeOrReported() {
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

QTEST_MAIN(TestMenuWork)
#include "tst_menu_work.moc"
