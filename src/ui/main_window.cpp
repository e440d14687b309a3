// The main window's lifecycle and handlers; the controls are built in
// main_window_layout.cpp.

#include "ui/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <utility>

#include "base/compat_texts.h"
#include "base/configuration.h"
#include "base/qt_text.h"
#include "intake/tcp_link.h"
#include "ui/about_window.h"
#include "ui/chart_series.h"
#include "ui/fit_text.h"
#include "ui/link_indicator.h"
#include "ui/log_box.h"
#include "ui/pictures.h"
#include "ui/qt_value_chart.h"
#include "ui/slot_tool_tip.h"
#include "ui/status_window.h"

namespace varne4::ui {

namespace {

constexpr QColor kUnselected(255, 255, 255);
constexpr QColor kSelected(255, 255, 192);
// An import delivers frames far faster than anyone can read a chart.
constexpr int kChartRefreshMs = 100;
// How long a note in place of the clock stands at least.
constexpr int kClockNoteMs = 3000;

void setBase(QLineEdit* box, const QColor& color) {
    QPalette p = box->palette();
    if (p.color(QPalette::Base) == color) return;
    p.setColor(QPalette::Base, color);
    box->setPalette(p);
}

// A value box shows its whole text: the font shrinks when the text needs it.
void setIfChanged(QLineEdit* box, const QString& text, const QFont& font) {
    if (box->text() == text) return;
    box->setText(text);
    fitValueBox(box, font);
    box->setCursorPosition(0); // should a text still be wider than its box, its beginning shows
}

void setIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

} // namespace

MainWindow::MainWindow(Station& station, StationOptions options, ErrorPresenter showError, QWidget* parent)
    : QMainWindow(parent), station_(station), showError_(std::move(showError)) {
    if (!showError_) {
        // Not a blocking box: the event loop, and with it the link, keeps running.
        showError_ = [this](const QString& title, const QString& text) {
            auto* box = new QMessageBox(QMessageBox::Critical, title,
                                        QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")),
                                        QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            QTimer::singleShot(0, box, [box] { box->open(); });
        };
    }
    buildWindow();
    clockFont_ = clockLabel_->font();
    valueFont_ = uptimeBox_->font();
    linkCaptionFont_ = linkCaption_->font();
    connectStation();
    setUpImport();

    clockTimer_.setObjectName(QStringLiteral("Timer1"));
    clockTimer_.setInterval(1000);
    connect(&clockTimer_, &QTimer::timeout, this, &MainWindow::onClockTick);
    clockTimer_.start();

    panelTimer_.setSingleShot(true);
    panelTimer_.setInterval(0);
    connect(&panelTimer_, &QTimer::timeout, this, &MainWindow::flushPanel);

    chartTimer_.setSingleShot(true);
    chartTimer_.setInterval(kChartRefreshMs);
    connect(&chartTimer_, &QTimer::timeout, this, [this] { RefreshValueChart(selectedSlot_); });

    startUp(options);
}

MainWindow::~MainWindow() {
    // The small windows have no owner; they must not outlive the station they read.
    delete statusWindow_.data();
    delete aboutWindow_.data();
}

ValueChartView& MainWindow::chart() { return *valueChart_; }

void MainWindow::connectStation() {
    // Lines logged before the window existed.
    const StatusLog& log = station_.statusLog();
    for (std::size_t i = log.size(); i-- > 0;)
        statusLog_->prependLine(fromUtf8(log.line(i)));
    for (const std::string& hex : station_.hexMonitor())
        hexMonitor_->appendLine(fromUtf8(hex));
    counterLine_->setText(fromUtf8(station_.pipeline().counterLineText()));

    connect(&station_, &Station::statusLine, this, [this](const QString& line, bool top) {
        if (top)
            statusLog_->prependLine(line);
        else
            statusLog_->appendOldest(line);
    });
    connect(&station_, &Station::hexMonitorLine, hexMonitor_, &LogBox::appendLine);
    // Applied once per pass of the event loop: an import decodes thousands of
    // beacons between two passes, and laying out text for each would dominate it.
    connect(&station_, &Station::panelUpdated, this, [this](BeaconType beaconType) {
        if (beaconType == BeaconType::Message) ++pendingMessages_;
        if (beaconType == BeaconType::Housekeeping) statusDirty_ = true;
        panelDirty_ = true;
        if (!panelTimer_.isActive()) panelTimer_.start();
    });
    connect(&station_, &Station::chartRefreshRequested, this, &MainWindow::requestChartRefresh);
    connect(&station_, &Station::counterLineUpdated, this, [this](const QString& line) {
        pendingCounterLine_ = line;
        if (!panelTimer_.isActive()) panelTimer_.start();
    });
    connect(&station_, &Station::transferStatesChanged, this, &MainWindow::showTransferStates);
    // The run goes on without (or with a new) database; the operator must know.
    connect(&station_, &Station::databaseProblem, this,
            [this](const QString& text) { showError_(latin1(texts::kOpenErrorTitle), text); });
    // Connected or refused shows at once, not at the next tick.
    connect(&station_, &Station::linkStateChanged, this, &MainWindow::showLinkState);
}

void MainWindow::startUp(const StationOptions& options) {
    uploadAllowedBox_->setChecked(options.uploadAllowed);
    station_.setUploadAllowed(uploadAllowedBox_->isChecked());

    // The captions belong to the window, not to the run: a failed start-up must
    // not leave a panel of "Option1" buttons.
    InitPanelCaptions();
    const std::optional<ConfigError> error = station_.startUp(options);
    // A withdrawn screenshot button cannot be used; the setting counts even when a
    // later step of start-up fails.
    screenshotButton_->setVisible(station_.config().screenshotOffered.value_or(true));
    if (error) {
        showError_(latin1(texts::kOpenErrorTitle), fromUtf8(openErrorText(*error)));
        return;
    }
    screenshotSurface_->hide();
    fitScreenshotSurface();
    selectChartSlot(14);
    startedUp_ = true;
}

void MainWindow::InitPanelCaptions() {
    for (int i = 0; i < kHousekeepingSlots; ++i) {
        chartOptions_[static_cast<std::size_t>(i)]->setText(latin1(slotLabel(i)));
        unitLabels_[static_cast<std::size_t>(i)]->setText(latin1(slotUnit(i)));
    }
    for (std::size_t k = 0; k < memCheckLabels_.size(); ++k)
        memCheckLabels_[k]->setText(latin1(slotLabel(21 + static_cast<int>(k))));
    shrinkCaptionsToFit(client_);
    showSlotToolTips();
}

void MainWindow::flushPanel() {
    panelTimer_.stop();
    if (pendingCounterLine_) {
        setIfChanged(counterLine_, *pendingCounterLine_);
        pendingCounterLine_.reset();
    }
    if (!panelDirty_) return;
    panelDirty_ = false;
    showSlotToolTips();
    if (statusWindow_ && std::exchange(statusDirty_, false))
        statusWindow_->showState(fromUtf8(station_.pipeline().panel().slotText[4]), newestBeaconTime());
    const PanelState& panel = station_.pipeline().panel();
    for (std::size_t i = 0; i < valueBoxes_.size(); ++i)
        setIfChanged(valueBoxes_[i], fromUtf8(panel.slotText[i]), valueFont_);
    setIfChanged(beaconTypeLine_, fromUtf8(panel.beaconLine));
    setIfChanged(uptimeBox_, fromUtf8(panel.uptimeText), valueFont_);
    setIfChanged(timeLine_, fromUtf8(panel.timeLine));

    // The newest messages since the last pass; message lines are bytes of a single-byte code page.
    const auto& messages = panel.messages;
    const std::size_t fresh = std::min(pendingMessages_, messages.size());
    for (std::size_t i = messages.size() - fresh; i < messages.size(); ++i)
        messageLog_->appendLine(latin1(messages[i]));
    pendingMessages_ = 0;
}

void MainWindow::showSlotToolTips() {
    const ValueHistory& history = station_.pipeline().history();
    const auto& memoryCheck = station_.pipeline().panel().memoryCheckSeconds;
    for (int slot = 0; slot < kPanelSlots; ++slot) {
        const auto i = static_cast<std::size_t>(slot);
        std::optional<double> value;
        if (slot < kHousekeepingSlots && !history.empty()) value = history.newest().values[i];
        if (slot >= kHousekeepingSlots && memoryCheck) value = (*memoryCheck)[i - kHousekeepingSlots];
        const QString tip = slotToolTip(slot, value);
        valueBoxes_[i]->setToolTip(tip);
        if (slot < kHousekeepingSlots)
            chartOptions_[i]->setToolTip(tip);
        else
            memCheckLabels_[i - kHousekeepingSlots]->setToolTip(tip);
    }
}

void MainWindow::selectChartSlot(int slot) {
    selectedSlot_ = slot;
    for (int i = 0; i < kHousekeepingSlots; ++i) {
        if (i == slot) continue;
        setBase(valueBoxes_[static_cast<std::size_t>(i)], kUnselected);
        chartOptions_[static_cast<std::size_t>(i)]->setChecked(false);
    }
    if (slot < 0 || slot >= kHousekeepingSlots) return;
    setBase(valueBoxes_[static_cast<std::size_t>(slot)], kSelected);
    // The operator's choice is drawn at once, not at the import's pace.
    chartTimer_.stop();
    RefreshValueChart(slot);
}

void MainWindow::RefreshValueChart(int slot) {
    if (slot < 0 || slot >= kHousekeepingSlots) return;
    const auto i = static_cast<std::size_t>(slot);
    valueChart_->setTitle(chartTitle(chartOptions_[i]->text(), unitLabels_[i]->text()));
    valueChart_->setToolTip(latin1(slotMeaning(slot)));
    valueChart_->setSeries(buildChartSeries(station_.pipeline().history(), slot, valueChart_->rowLabelRoom()));
}

void MainWindow::requestChartRefresh() {
    if (!chartTimer_.isActive()) chartTimer_.start();
}

void MainWindow::flushChartRefresh() {
    flushPanel();
    if (!chartTimer_.isActive()) return;
    chartTimer_.stop();
    RefreshValueChart(selectedSlot_);
}

void MainWindow::showTransferStates() {
    transferStatesList_->clear();
    transferStatesList_->addItems(station_.transferStates());
}

void MainWindow::showClockNote(const QString& text, const QString& toolTip) {
    clockLabel_->setFont(clockFont_);
    clockLabel_->setWordWrap(true); // a long file name may take a second line
    clockLabel_->setText(text);
    clockLabel_->setToolTip(toolTip);
    shrinkToFit(clockLabel_);
    clockNoteUntil_ = QDeadlineTimer(kClockNoteMs);
}

void MainWindow::onClockTick() {
    // A note stands long enough to be read; the clock waits for it.
    const bool noteStands = clockNoteUntil_ && !clockNoteUntil_->hasExpired();
    if (!noteStands) {
        if (clockNoteUntil_) {
            clockNoteUntil_.reset();
            clockLabel_->setWordWrap(false);
            clockLabel_->setFont(clockFont_);
            clockLabel_->setToolTip({});
        }
        clockLabel_->setText(fromUtf8(clockText(station_.clock().utcNow())));
    }
    showLinkState();
}

void MainWindow::showLinkState() {
    TcpLink& link = station_.link();
    // Green means connected and nothing else: a link that keeps trying is not up.
    const bool up = link.phase() == TcpLink::Phase::Connected;
    linkUpIcon_->setVisible(up);
    linkDownIcon_->setVisible(!up);
    const QString caption = linkCaption(link.kindName(), link.phase(), link.reconnectRemainingMs());
    if (linkCaption_->accessibleName() != caption) showLinkCaption(linkCaption_, caption, linkCaptionFont_);
    const QString tip = linkToolTip(link.kindName(), link.peer(), station_.lastLiveFrame(), station_.clock().utcNow());
    for (QWidget* w : {static_cast<QWidget*>(linkCaption_), static_cast<QWidget*>(linkUpIcon_),
                       static_cast<QWidget*>(linkDownIcon_)})
        w->setToolTip(tip);
}

namespace {
// The small windows live without an owner; a second request brings the open one forward.
template <typename Window, typename Make> void showSingle(QPointer<Window>& window, Make make) {
    if (!window) {
        window = make();
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowIcon(programIcon());
    }
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

QString MainWindow::newestBeaconTime() const {
    const ValueHistory& history = station_.pipeline().history();
    if (history.empty()) return {};
    const std::string_view stamp = history.newest().timestampText();
    return QString::fromLatin1(stamp.data(), static_cast<qsizetype>(stamp.size()));
}

void MainWindow::openStatusWindow() {
    const bool opening = !statusWindow_;
    // The panel's state, not the box: the box may be a pass of the event loop behind.
    showSingle(statusWindow_, [this] {
        return new StatusWindow(fromUtf8(station_.pipeline().panel().slotText[4]), newestBeaconTime());
    });
    if (opening) {
        const QScreen* screen = this->screen();
        const QRect room = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), frameGeometry().size());
        statusWindow_->move(besideWindow(frameGeometry(), statusWindow_->frameGeometry().size(), room));
    }
}

void MainWindow::openAboutWindow() {
    showSingle(aboutWindow_, [] { return new AboutWindow; });
}

void MainWindow::exitProgram() {
    station_.closeKissLog();
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!shutDownDone_) shutDown();
    event->accept();
}

void MainWindow::shutDown() {
    // Transfers still under way are given up before the station stops.
    station_.cancelTransfers();
    shutDownDone_ = true;
    clockTimer_.stop();
    chartTimer_.stop();
    station_.shutDown();
    if (statusWindow_) statusWindow_->close();
    if (aboutWindow_) aboutWindow_->close();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    fitScreenshotSurface();
}

void MainWindow::fitScreenshotSurface() {
    // The screenshot surface always covers the whole client area.
    if (screenshotSurface_ && client_) screenshotSurface_->setGeometry(client_->rect());
}

} // namespace varne4::ui
