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

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("MnuFile"));
    QAction* import = file->addAction(QStringLiteral("Import KISS file"));
    import->setObjectName(QStringLiteral("MnuImport"));
    connect(import, &QAction::triggered, this, &MainWindow::MnuImport_Click);
    mnuImport_ = import;
    QAction* exportCsv = file->addAction(QStringLiteral("Export history as CSV"));
    exportCsv->setObjectName(QStringLiteral("MnuExportCsv"));
    connect(exportCsv, &QAction::triggered, this, &MainWindow::MnuExportCsv_Click);
    QAction* exit = file->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("MnuExit"));
    connect(exit, &QAction::triggered, this, &MainWindow::MnuExit_Click);

    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("MnuOptions"));
    QAction* debug = options->addAction(QStringLiteral("write debug file"));
    debug->setObjectName(QStringLiteral("MnuDebug"));
    connect(debug, &QAction::triggered, this, &MainWindow::MnuDebug_Click);

    QMenu* info = bar->addMenu(QStringLiteral("&Info"));
    info->setObjectName(QStringLiteral("MnuInfo"));
    QAction* about = info->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("MnuAbout"));
    connect(about, &QAction::triggered, this, &MainWindow::MnuAbout_Click);
}

void MainWindow::buildTopRow(QWidget* client) {
    // Both link icons share one place; the clock tick shows exactly one of them.
    image3_ = label(client, "Image3", {}, twipsRect(120, 0, 300, 300));
    image3_->setPixmap(linkIcon(false));
    image2_ = label(client, "Image2", {}, twipsRect(120, 0, 300, 300));
    image2_->setPixmap(linkIcon(true));
    image2_->hide();

    label(client, "Label3", QStringLiteral("AGW connection"), twipsRect(480, 120, 1335, 255));
    label5_ = label(client, "Label5", {}, twipsRect(2400, 120, 6015, 255), Qt::AlignRight | Qt::AlignVCenter);
    label5_->setFont(withBold(font()));

    label1_ = label(client, "Label1", QStringLiteral("UTC"), twipsRect(8640, 120, 1935, 375),
                    Qt::AlignRight | Qt::AlignVCenter);
    QFont clockFont = withBold(font());
    clockFont.setPointSizeF(9.75);
    label1_->setFont(clockFont);
    setColor(label1_, QPalette::WindowText, QColor(0, 64, 64));

    line(client, "Line1", QRect(px(120), px(480), px(10560) - px(120), 1));
}

void MainWindow::addSlot(QWidget* frame, int slot, QRect option, QRect box, QRect unit) {
    const auto i = static_cast<std::size_t>(slot);
    auto* button = new QRadioButton(QStringLiteral("Option1"), frame);
    button->setObjectName(QStringLiteral("Option1_%1").arg(slot));
    button->setGeometry(option);
    // One mark across the three groups: Option1_Click keeps it, not the toolkit.
    button->setAutoExclusive(false);
    connect(button, &QRadioButton::clicked, this, [this, button, slot] {
        button->setChecked(true);
        Option1_Click(slot);
    });
    option1_[i] = button;
    // As laid out, the first option carries the mark; start-up's selection clears it.
    if (slot == 0) button->setChecked(true);

    text1_[i] = valueBox(frame, QStringLiteral("Text1_%1").arg(slot), box);

    auto* unitLabel = new QLabel(frame);
    unitLabel->setObjectName(QStringLiteral("Label2_%1").arg(slot));
    unitLabel->setGeometry(unit);
    label2_[i] = unitLabel;
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
        QLabel* unit = label2_[static_cast<std::size_t>(slot)];
        unit->setParent(client);
        unit->setGeometry(outsideUnit(slot));
    }

    label(frame, "Label6", QStringLiteral("since boot"), twipsRect(360, 1080, 855, 255));
    text4_ = valueBox(frame, QStringLiteral("Text4"), twipsRect(1440, 1080, 1695, 285));

    picture1_ = new ClickablePicture(frame);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->setGeometry(twipsRect(1440, 1800, 255, 255));
    picture1_->setPixmap(statusPicture());
    picture1_->setAlignment(Qt::AlignCenter);
    picture1_->setCursor(Qt::PointingHandCursor);
    picture1_->setToolTip(QStringLiteral("System status"));
    connect(picture1_, &ClickablePicture::clicked, this, &MainWindow::Picture1_Click);
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
        memLabels_[static_cast<std::size_t>(k)] =
            label(frame, QStringLiteral("Label%1").arg(slot).toLatin1().constData(), {},
                  twipsRect(c.labelLeft, top, c.labelWidth, 255));
        text1_[static_cast<std::size_t>(slot)] =
            valueBox(frame, QStringLiteral("Text1_%1").arg(slot), twipsRect(c.boxLeft, top, 1455, 285));
    }
}

void MainWindow::buildBottomRows(QWidget* client) {
    text6_ = new LogBox(PanelState::kMaxMessages, client);
    text6_->setObjectName(QStringLiteral("Text6"));
    text6_->setGeometry(twipsRect(120, 2880, 6975, 975));
    setColor(text6_, QPalette::Base, kWhite);

    label8_ = label(client, "Label8", {}, twipsRect(7200, 3600, 3255, 255));
    label8_->setFont(withBold(font()));

    chart_ = new QtValueChart(twipsRect(120, 240, 10215, 3255), client);
    chart_->setGeometry(twipsRect(120, 5040, 10455, 3615));

    command2_ = new QPushButton(QStringLiteral("S"), client);
    command2_->setObjectName(QStringLiteral("Command2"));
    command2_->setGeometry(twipsRect(120, 8760, 255, 195));
    command2_->setToolTip(QStringLiteral("Save a screenshot"));
    connect(command2_, &QPushButton::clicked, this, &MainWindow::Command2_Click);

    check1_ = new QCheckBox(QStringLiteral("allow data transfer"), client);
    check1_->setObjectName(QStringLiteral("Check1"));
    check1_->setGeometry(twipsRect(480, 8760, 2175, 195));
    check1_->setChecked(true);
    connect(check1_, &QCheckBox::toggled, this, [this](bool on) { station_.setUploadAllowed(on); });

    label7_ = label(client, "Label7", {}, twipsRect(6600, 8760, 3855, 255), Qt::AlignRight | Qt::AlignVCenter);

    line(client, "Line2", QRect(0, px(9120), px(10440), 1));

    text3_ = new LogBox(StatusLog::kMaxEntries, client);
    text3_->setObjectName(QStringLiteral("Text3"));
    text3_->setGeometry(twipsRect(120, 9240, 10335, 1815));
    setColor(text3_, QPalette::Base, kFormBackground);
    setColor(text3_, QPalette::Text, QColor(128, 128, 128));
}

void MainWindow::buildHiddenControls(QWidget* client) {
    command1_ = new QPushButton(QStringLiteral("Connect AGW"), client);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(twipsRect(kOutside, 120, 1455, 375));
    connect(command1_, &QPushButton::clicked, this, [this] { station_.registerWithEngine(); });

    postPacket_ = new QPushButton(QStringLiteral("HTTP POST packet"), client);
    postPacket_->setObjectName(QStringLiteral("Post_Packet"));
    postPacket_->setGeometry(twipsRect(kOutside, 600, 1455, 375));
    connect(postPacket_, &QPushButton::clicked, this, [this] { station_.postCurrentBody(); });

    text2_ = new LogBox(Station::kMaxHexLines, client);
    text2_->setObjectName(QStringLiteral("Text2"));
    text2_->setGeometry(twipsRect(kOutside, 2880, 4500, 1800));
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setPointSizeF(8.25);
    text2_->setFont(courier);
    // Never seen; hidden, it also skips the layout work of every frame's line.
    text2_->hide();

    auto list = [client](const char* name, int top) {
        auto* l = new QListWidget(client);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(twipsRect(kOutside, top, 2000, 1200));
        return l;
    };
    // List1 and List2 keep their places in the layout but hold nothing.
    list("List1", 4800);
    list("List2", 6120);
    list3_ = list("List3", 7440);

    picture2_ = new QLabel(client);
    picture2_->setObjectName(QStringLiteral("Picture2"));
    picture2_->hide();
}

} // namespace varne4::ui
