// The main window's controls, where the layout tables put them (in twips).

#include <QAction>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "base/compat_texts.h"
#include "base/qt_text.h"
#include "ui/clickable_picture.h"
#include "ui/fit_text.h"
#include "ui/group_frame.h"
#include "ui/log_box.h"
#include "ui/main_window.h"
#include "ui/pictures.h"
#include "ui/qt_value_chart.h"
#include "ui/twips.h"

namespace varne4::ui {

namespace {

constexpr QColor kFormBackground(240, 240, 240);
constexpr QColor kWhite(255, 255, 255);
// Controls beyond the client area's right edge work but are never seen.
constexpr int kOutside = 10800;

void setColor(QWidget* w, QPalette::ColorRole role, const QColor& color) {
    QPalette p = w->palette();
    p.setColor(role, color);
    w->setPalette(p);
}

QFont withBold(QFont f) {
    f.setBold(true);
    return f;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    l->setAlignment(align);
    return l;
}

QLineEdit* valueBox(QWidget* parent, const QString& name, QRect geometry) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    box->setReadOnly(true);
    box->setTextMargins(0, 0, 0, 0);
    setColor(box, QPalette::Base, kWhite);
    return box;
}

QFrame* line(QWidget* parent, const char* name, QRect geometry) {
    auto* l = new QFrame(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    l->setFrameShape(QFrame::NoFrame);
    l->setAutoFillBackground(true);
    setColor(l, QPalette::Window, QColor(160, 160, 160));
    return l;
}

} // namespace

void MainWindow::buildWindow() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("VARNE-4 Online Telemetry Decoder (QX7TR)"));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    QFont base = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    base.setPointSizeF(8.25);
    setFont(base);

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(px(10695), px(11205));
    client_->setAutoFillBackground(true);
    setColor(client_, QPalette::Window, kFormBackground);
    setCentralWidget(client_);

    buildMenus();
    buildTopRow(client_);
    buildStatusFrame(client_);
    buildRowFrame(client_, "Frame4", "Temperatures", twipsRect(3600, 600, 3495, 2175), 14, 20, 240, 2160, 3000);
    buildRowFrame(client_, "Frame3", "Power", twipsRect(7200, 600, 3375, 2775), 5, 13, 120, 2040, 2880);
    buildMemCheckFrame(client_);
    buildBottomRows(client_);
    buildHiddenControls(client_);
    for (GroupFrame* frame : client_->findChildren<GroupFrame*>())
        frame->keepChildrenRegular();
    shrinkCaptionsToFit(client_);

    // Fixed single border: the window is exactly as large as menu bar and client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    QMenu* fileMenu = bar->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("MnuFile"));
    importAction_ = fileMenu->addAction(latin1(texts::kImportTitle));
    importAction_->setObjectName(QStringLiteral("MnuImport"));
    connect(importAction_, &QAction::triggered, this, &MainWindow::chooseImportFiles);
    QAction* exportAction = fileMenu->addAction(QStringLiteral("Export history as CSV"));
    exportAction->setObjectName(QStringLiteral("MnuExportCsv"));
    connect(exportAction, &QAction::triggered, this, &MainWindow::exportCsv);
    QAction* exitAction = fileMenu->addAction(QStringLiteral("&Exit"));
    exitAction->setObjectName(QStringLiteral("MnuExit"));
    connect(exitAction, &QAction::triggered, this, &MainWindow::exitProgram);

    QMenu* optionsMenu = bar->addMenu(QStringLiteral("&Options"));
    optionsMenu->setObjectName(QStringLiteral("MnuOptions"));
    QAction* debugAction = optionsMenu->addAction(QStringLiteral("write debug file"));
    debugAction->setObjectName(QStringLiteral("MnuDebug"));
    connect(debugAction, &QAction::triggered, this, &MainWindow::saveDebugFile);

    QMenu* infoMenu = bar->addMenu(QStringLiteral("&Info"));
    infoMenu->setObjectName(QStringLiteral("MnuInfo"));
    QAction* aboutAction = infoMenu->addAction(QStringLiteral("&About"));
    aboutAction->setObjectName(QStringLiteral("MnuAbout"));
    connect(aboutAction, &QAction::triggered, this, &MainWindow::openAboutWindow);
}

void MainWindow::buildTopRow(QWidget* client) {
    // Both link icons share one place; the clock tick shows exactly one of them.
    linkDownIcon_ = label(client, "Image3", {}, twipsRect(120, 0, 300, 300));
    linkDownIcon_->setPixmap(linkIcon(false));
    linkUpIcon_ = label(client, "Image2", {}, twipsRect(120, 0, 300, 300));
    linkUpIcon_->setPixmap(linkIcon(true));
    linkUpIcon_->hide();

    linkCaption_ = label(client, "Label3", QStringLiteral("AGW connection"), twipsRect(480, 120, 1335, 255));
    beaconTypeLine_ = label(client, "Label5", {}, twipsRect(2400, 120, 6015, 255), Qt::AlignRight | Qt::AlignVCenter);
    beaconTypeLine_->setFont(withBold(font()));

    clockLabel_ = label(client, "Label1", QStringLiteral("UTC"), twipsRect(8640, 120, 1935, 375),
                        Qt::AlignRight | Qt::AlignVCenter);
    QFont clockFont = withBold(font());
    clockFont.setPointSizeF(9.75);
    clockLabel_->setFont(clockFont);
    setColor(clockLabel_, QPalette::WindowText, QColor(0, 64, 64));

    line(client, "Line1", QRect(px(120), px(480), px(10560) - px(120), 1));
}

void MainWindow::addSlot(QWidget* frame, int slot, QRect option, QRect box, QRect unit) {
    const auto i = static_cast<std::size_t>(slot);
    auto* button = new QRadioButton(QStringLiteral("Option1"), frame);
    button->setObjectName(QStringLiteral("Option1_%1").arg(slot));
    button->setGeometry(option);
    // One mark across the three groups: selectChartSlot keeps it, not the toolkit.
    button->setAutoExclusive(false);
    connect(button, &QRadioButton::clicked, this, [this, button, slot] {
        button->setChecked(true);
        selectChartSlot(slot);
    });
    chartOptions_[i] = button;
    // As laid out, the first option carries the mark; start-up's selection clears it.
    if (slot == 0) button->setChecked(true);

    valueBoxes_[i] = valueBox(frame, QStringLiteral("Text1_%1").arg(slot), box);

    auto* unitLabel = new QLabel(frame);
    unitLabel->setObjectName(QStringLiteral("Label2_%1").arg(slot));
    unitLabel->setGeometry(unit);
    unitLabels_[i] = unitLabel;
}

void MainWindow::buildStatusFrame(QWidget* client) {
    auto* frame = new GroupFrame(QStringLiteral("Status"), client);
    frame->setObjectName(QStringLiteral("Frame2"));
    frame->setGeometry(twipsRect(120, 600, 3375, 2175));

    // Units of slots 0 to 3 sit beyond the window's edge: they serve the chart title only.
    auto outsideUnit = [](int slot) { return twipsRect(kOutside, 1200 + 300 * slot, 375, 255); };
    addSlot(frame, 0, twipsRect(120, 360, 1815, 255), twipsRect(2040, 360, 1095, 285), {});
    addSlot(frame, 1, twipsRect(120, 600, 1815, 255), twipsRect(2040, 600, 1095, 285), {});
    addSlot(frame, 2, twipsRect(120, 840, 1215, 255), twipsRect(2040, 840, 1095, 285), {});
    addSlot(frame, 3, twipsRect(120, 1320, 1215, 255), twipsRect(1440, 1320, 1695, 285), {});
    addSlot(frame, 4, twipsRect(120, 1800, 1215, 255), twipsRect(1680, 1800, 1455, 285),
            twipsRect(2880, 1560, 375, 255));
    for (int slot = 0; slot < 4; ++slot) {
        QLabel* unit = unitLabels_[static_cast<std::size_t>(slot)];
        unit->setParent(client);
        unit->setGeometry(outsideUnit(slot));
    }

    label(frame, "Label6", QStringLiteral("since boot"), twipsRect(360, 1080, 855, 255));
    uptimeBox_ = valueBox(frame, QStringLiteral("Text4"), twipsRect(1440, 1080, 1695, 285));

    statusPicture_ = new ClickablePicture(frame);
    statusPicture_->setObjectName(QStringLiteral("Picture1"));
    statusPicture_->setGeometry(twipsRect(1440, 1800, 255, 255));
    statusPicture_->setPixmap(statusPicture());
    statusPicture_->setAlignment(Qt::AlignCenter);
    statusPicture_->setCursor(Qt::PointingHandCursor);
    statusPicture_->setToolTip(QStringLiteral("System status"));
    connect(statusPicture_, &ClickablePicture::clicked, this, &MainWindow::openStatusWindow);
}

void MainWindow::buildRowFrame(QWidget* client, const char* name, const char* caption, QRect geometry, int firstSlot,
                               int lastSlot, int optionLeft, int boxLeft, int unitLeft) {
    auto* frame = new GroupFrame(QLatin1String(caption), client);
    frame->setObjectName(QLatin1String(name));
    frame->setGeometry(geometry);
    for (int slot = firstSlot; slot <= lastSlot; ++slot) {
        const int top = 360 + 240 * (slot - firstSlot);
        addSlot(frame, slot, twipsRect(optionLeft, top, 1815, 255), twipsRect(boxLeft, top, 735, 285),
                twipsRect(unitLeft, top, 375, 255));
    }
}

void MainWindow::buildMemCheckFrame(QWidget* client) {
    auto* frame = new GroupFrame(QStringLiteral("MEM check"), client);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsRect(120, 3960, 10455, 975));

    struct Column {
        int labelLeft, labelWidth, boxLeft;
    };
    constexpr Column columns[] = {{120, 1455, 1560}, {3240, 1815, 5040}, {6720, 1815, 8520}};
    for (int k = 0; k < 6; ++k) {
        const Column& c = columns[k / 2];
        const int top = (k % 2 == 0) ? 360 : 600;
        const int slot = 21 + k;
        memCheckLabels_[static_cast<std::size_t>(k)] =
            label(frame, QStringLiteral("Label%1").arg(slot).toLatin1().constData(), {},
                  twipsRect(c.labelLeft, top, c.labelWidth, 255));
        valueBoxes_[static_cast<std::size_t>(slot)] =
            valueBox(frame, QStringLiteral("Text1_%1").arg(slot), twipsRect(c.boxLeft, top, 1455, 285));
    }
}

void MainWindow::buildBottomRows(QWidget* client) {
    messageLog_ = new LogBox(PanelState::kMaxMessages, client);
    messageLog_->setObjectName(QStringLiteral("Text6"));
    messageLog_->setGeometry(twipsRect(120, 2880, 6975, 975));
    setColor(messageLog_, QPalette::Base, kWhite);

    timeLine_ = label(client, "Label8", {}, twipsRect(7200, 3600, 3255, 255));
    timeLine_->setFont(withBold(font()));

    valueChart_ = new QtValueChart(twipsRect(120, 240, 10215, 3255), client);
    valueChart_->setGeometry(twipsRect(120, 5040, 10455, 3615));

    screenshotButton_ = new QPushButton(QStringLiteral("S"), client);
    screenshotButton_->setObjectName(QStringLiteral("Command2"));
    screenshotButton_->setGeometry(twipsRect(120, 8760, 255, 195));
    screenshotButton_->setToolTip(QStringLiteral("Save a screenshot"));
    connect(screenshotButton_, &QPushButton::clicked, this, &MainWindow::takeScreenshot);

    uploadAllowedBox_ = new QCheckBox(QStringLiteral("allow data transfer"), client);
    uploadAllowedBox_->setObjectName(QStringLiteral("Check1"));
    uploadAllowedBox_->setGeometry(twipsRect(480, 8760, 2175, 195));
    uploadAllowedBox_->setChecked(true);
    connect(uploadAllowedBox_, &QCheckBox::toggled, this, [this](bool on) { station_.setUploadAllowed(on); });

    counterLine_ = label(client, "Label7", {}, twipsRect(6600, 8760, 3855, 255), Qt::AlignRight | Qt::AlignVCenter);

    line(client, "Line2", QRect(0, px(9120), px(10440), 1));

    statusLog_ = new LogBox(StatusLog::kMaxEntries, client);
    statusLog_->setObjectName(QStringLiteral("Text3"));
    statusLog_->setGeometry(twipsRect(120, 9240, 10335, 1815));
    setColor(statusLog_, QPalette::Base, kFormBackground);
    // Grey on grey as operators know it, dark enough to be read (5.9 : 1, not 3.5 : 1).
    setColor(statusLog_, QPalette::Text, QColor(96, 96, 96));
}

void MainWindow::buildHiddenControls(QWidget* client) {
    engineButton_ = new QPushButton(QStringLiteral("Connect AGW"), client);
    engineButton_->setObjectName(QStringLiteral("Command1"));
    engineButton_->setGeometry(twipsRect(kOutside, 120, 1455, 375));
    connect(engineButton_, &QPushButton::clicked, this, [this] { station_.registerWithEngine(); });

    postButton_ = new QPushButton(QStringLiteral("HTTP POST packet"), client);
    postButton_->setObjectName(QStringLiteral("Post_Packet"));
    postButton_->setGeometry(twipsRect(kOutside, 600, 1455, 375));
    connect(postButton_, &QPushButton::clicked, this, [this] { station_.postCurrentBody(); });

    hexMonitor_ = new LogBox(Station::kMaxHexLines, client);
    hexMonitor_->setObjectName(QStringLiteral("Text2"));
    hexMonitor_->setGeometry(twipsRect(kOutside, 2880, 4500, 1800));
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setPointSizeF(8.25);
    hexMonitor_->setFont(courier);
    // Never seen; hidden, it also skips the layout work of every frame's line.
    hexMonitor_->hide();

    auto list = [client](const char* name, int top) {
        auto* l = new QListWidget(client);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(twipsRect(kOutside, top, 2000, 1200));
        return l;
    };
    // List1 and List2 keep their places in the layout but hold nothing.
    list("List1", 4800);
    list("List2", 6120);
    transferStatesList_ = list("List3", 7440);

    screenshotSurface_ = new QLabel(client);
    screenshotSurface_->setObjectName(QStringLiteral("Picture2"));
    screenshotSurface_->hide();
}

} // namespace varne4::ui
