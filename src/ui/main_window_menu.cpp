// The main window's menu work: KISS import, debug file, screenshot, CSV export.

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QSaveFile>

#include <tuple>

#include "base/compat_texts.h"
#include "base/qt_text.h"
#include "station/csv_writer.h"
#include "station/debug_file.h"
#include "ui/main_window.h"
#include "ui/screenshot.h"

namespace varne4::ui {

namespace {
// Room the file dialog gives for the names it returns.
constexpr qsizetype kMaxSelectionChars = 2048;
// An import that takes longer than this shows its progress.
constexpr int kImportProgressDelayMs = 500;

// Length of the dialog's answer: one full path, or the folder and each name after a NUL.
qsizetype selectionLength(const QStringList& files) {
    if (files.size() == 1) return files.front().size();
    qsizetype n = files.isEmpty() ? 0 : QFileInfo(files.front()).absolutePath().size();
    for (const QString& f : files)
        n += 1 + QFileInfo(f).fileName().size();
    return n;
}
} // namespace

void MainWindow::setUpImport() {
    importer_ = new KissImport(station_, this);
    importProgressDelay_.setSingleShot(true);
    importProgressDelay_.setTimerType(Qt::PreciseTimer);
    importProgressDelay_.setInterval(kImportProgressDelayMs);
    connect(&importProgressDelay_, &QTimer::timeout, this, &MainWindow::openImportProgress);
    connect(importer_, &KissImport::progress, this, &MainWindow::showImportProgress);
    connect(importer_, &KissImport::finished, this, &MainWindow::importFinished);
}

void MainWindow::chooseImportFiles() {
    if (importer_->running()) return;
    // Not exec(): the link, uploads and clock go on while the dialog is open.
    auto* dialog = new QFileDialog(this, latin1(texts::kImportTitle));
    dialog->setObjectName(QStringLiteral("CommonDialog1"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setNameFilters(
        {QStringLiteral("Log Files (*.kss)"), QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")});
    connect(dialog, &QFileDialog::filesSelected, this, &MainWindow::importFiles);
    dialog->open();
}

void MainWindow::importFiles(const QStringList& files) {
    if (files.isEmpty() || importer_->running()) return;
    if (selectionLength(files) > kMaxSelectionChars) {
        showError_(latin1(texts::kImportTitle), latin1(texts::kTooManyFiles));
        return;
    }
    importAction_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    // A short import is over before a box could be read: the box comes only for one that takes a while.
    lastImportProgress_.reset();
    importProgressDelay_.start();
    importer_->start(files);
}

void MainWindow::openImportProgress() {
    if (!importer_->running() || importProgress_) return;
    auto* progress = new QProgressDialog(this);
    progress->setObjectName(QStringLiteral("ImportProgress"));
    progress->setWindowTitle(latin1(texts::kImportTitle));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setWindowModality(Qt::NonModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setRange(0, 1000);
    progress->setValue(0);
    connect(progress, &QProgressDialog::canceled, importer_, &KissImport::cancel);
    importProgress_ = progress;
    progress->show();
    if (lastImportProgress_) std::apply([this](auto... p) { showImportProgress(p...); }, *lastImportProgress_);
}

void MainWindow::showImportProgress(int fileIndex, int fileCount, quint64 records, quint64 bytesRead,
                                    quint64 fileSize) {
    lastImportProgress_ = std::tuple(fileIndex, fileCount, records, bytesRead, fileSize);
    if (!importProgress_ || fileCount == 0) return;
    const double fileShare = fileSize ? static_cast<double>(bytesRead) / static_cast<double>(fileSize) : 1.0;
    importProgress_->setValue(static_cast<int>(1000.0 * (fileIndex + fileShare) / fileCount));
    importProgress_->setLabelText(QStringLiteral("File %1 of %2: %3\n%4 records done")
                                      .arg(fileIndex + 1)
                                      .arg(fileCount)
                                      .arg(QFileInfo(importer_->files().value(fileIndex)).fileName())
                                      .arg(QLocale::system().toString(records)));
}

void MainWindow::importFinished() {
    importProgressDelay_.stop();
    QApplication::restoreOverrideCursor();
    importAction_->setEnabled(true);
    if (importProgress_) importProgress_->close();
    // The last rows of an import show at once, not at the next chart tick.
    flushChartRefresh();
}

void MainWindow::saveDebugFile() { writeDebugFile(station_); }

void MainWindow::takeScreenshot() {
    fitScreenshotSurface();
    const ScreenshotResult r =
        saveScreenshot(client_->grab().toImage(), station_.imagePathPrefix(), station_.clock().localNow());
    if (!r.error.isEmpty()) {
        station_.log("screenshot failed: " + utf8(r.error));
        return;
    }
    // The file that was written: the PNG, by its name; the whole path in the tooltip and the log.
    showClockNote(QFileInfo(r.pngPath).fileName() + latin1(texts::kScreenshotSaved),
                  QDir::toNativeSeparators(r.pngPath));
    QString line = r.bitmapName;
    line.replace(QLatin1String("bmp"), QLatin1String("png"));
    station_.statusLog().putRaw(utf8(line) + std::string(texts::kScreenshotConverted), StatusLog::Where::Bottom);
}

void MainWindow::exportCsv() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Export history as CSV"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->setNameFilters({QStringLiteral("CSV files (*.csv)"), QStringLiteral("All Files (*)")});
    dialog->selectFile(QStringLiteral("varne4_history.csv"));
    connect(dialog, &QFileDialog::fileSelected, this, &MainWindow::exportCsvTo);
    dialog->open();
}

void MainWindow::exportCsvTo(const QString& path) {
    const std::string csv = historyCsv(station_.pipeline().history());
    // Written whole or not at all: a failed export never leaves half a file.
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
                    file.commit();
    station_.log((ok ? "value history exported: " : "value history could not be exported: ") + utf8(path) +
                 (ok ? " (" + std::to_string(station_.pipeline().history().size()) + " rows)" : ""));
}

} // namespace varne4::ui
