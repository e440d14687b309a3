#include "ui/status_window.h"

#include <QLabel>
#include <QLineEdit>

#include <algorithm>

#include "base/compat_texts.h"
#include "base/qt_text.h"
#include "ui/fit_text.h"
#include "ui/pictures.h"
#include "ui/twips.h"

namespace varne4::ui {

namespace {

// 0 or 1 for a binary digit at `pos` (0-based), nothing otherwise.
int bitAt(const QString& text, qsizetype pos) {
    if (pos >= text.size()) return -1;
    const QChar c = text[pos];
    return c == u'0' ? 0 : c == u'1' ? 1 : -1;
}

QString pick(int bit, int expected, std::string_view holds, std::string_view otherwise) {
    if (bit < 0) return QStringLiteral("?");
    return latin1(bit == expected ? holds : otherwise);
}

QFont sized(QFont f, qreal points, bool bold) {
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace

StatusLines blankStatusLines() {
    StatusLines lines;
    for (int i = 0; i < kStatusLines; ++i)
        lines[static_cast<std::size_t>(i)] = QStringLiteral("bit %1").arg(7 - i);
    return lines;
}

StatusLines statusLinesFor(const QString& stateText) {
    if (stateText.trimmed().isEmpty()) return blankStatusLines();
    const QString& s = stateText;
    const int b7 = bitAt(s, 0), b6 = bitAt(s, 1);
    StatusLines lines;
    lines[0] = (b7 == 0 && b6 == 1) ? QString(latin1(texts::kNominalMode)) : QStringLiteral("?");
    lines[1] = latin1(texts::kReserved);
    lines[2] = pick(bitAt(s, 3), 0, texts::kAdcsOff, texts::kAdcsOn);
    lines[3] = pick(bitAt(s, 4), 0, texts::kRadioB, texts::kRadioA);
    lines[4] = pick(bitAt(s, 5), 1, texts::kPathBOn, texts::kPathBOff);
    lines[5] = pick(bitAt(s, 6), 1, texts::kPathAOn, texts::kPathAOff);
    lines[6] = pick(bitAt(s, 7), 0, texts::kMcuA, texts::kMcuB);
    return lines;
}

QPoint besideWindow(const QRect& beside, const QSize& size, const QRect& screen) {
    constexpr int kGap = 8;
    const int top = std::clamp(beside.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height()));
    if (beside.right() + kGap + size.width() <= screen.right() + 1) return {beside.right() + 1 + kGap, top};
    if (beside.left() - kGap - size.width() >= screen.left()) return {beside.left() - kGap - size.width(), top};
    // No room either side: at the screen's edge on the roomier side, covering as little as it can.
    const int roomRight = screen.right() - beside.right(), roomLeft = beside.left() - screen.left();
    const int left = roomRight >= roomLeft ? screen.right() + 1 - size.width() : screen.left();
    return {std::max(left, screen.left()), top};
}

StatusWindow::StatusWindow(const QString& stateText, const QString& beaconTime, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Status"));
    setFixedSize(px(4395), px(2910));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    QFont base = font();
    base.setPointSizeF(8.25);
    setFont(base);

    auto* title = new QLabel(QStringLiteral("VARNE-4 System Status"), this);
    title->setObjectName(QStringLiteral("Label1"));
    title->setGeometry(twipsRect(240, 120, 3375, 375));
    title->setFont(sized(base, 12, true));
    QPalette titlePal = title->palette();
    titlePal.setColor(QPalette::WindowText, QColor(0, 0, 192));
    title->setPalette(titlePal);
    shrinkToFit(title);

    stateBox_ = new QLineEdit(this);
    stateBox_->setObjectName(QStringLiteral("Text1"));
    stateBox_->setGeometry(twipsRect(240, 480, 2775, 405));
    stateBox_->setReadOnly(true);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    stateBox_->setFont(sized(mono, 15.75, true));

    // In the gap between the state box and the first line: no control of the layout is covered.
    asOfLabel_ = new QLabel(this);
    asOfLabel_->setObjectName(QStringLiteral("AsOf"));
    asOfLabel_->setGeometry(twipsRect(240, 900, 2775, 180));
    asOfLabel_->setFont(sized(base, 7, false));
    QPalette asOfPal = asOfLabel_->palette();
    asOfPal.setColor(QPalette::WindowText, QColor(80, 80, 80));
    asOfLabel_->setPalette(asOfPal);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(twipsRect(3240, 360, 960, 960));
    image->setPixmap(satellitePicture(64));

    for (int i = 0; i < kStatusLines; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Label2_%1").arg(i));
        label->setGeometry(twipsRect(240, 1080 + 240 * i, 5535, 255));
        label->setFont(sized(base, 8.25, true));
        label->setAutoFillBackground(true);
        label->setPalette(pal);
        lineLabels_[static_cast<std::size_t>(i)] = label;
    }
    showState(stateText, beaconTime);
}

void StatusWindow::showState(const QString& stateText, const QString& beaconTime) {
    const StatusLines lines = statusLinesFor(stateText);
    for (int i = 0; i < kStatusLines; ++i)
        lineLabels_[static_cast<std::size_t>(i)]->setText(lines[static_cast<std::size_t>(i)]);
    // The window shows the state text unchanged; a blank one leaves the box empty.
    stateBox_->setText(stateText.trimmed().isEmpty() ? QString() : stateText);
    // Seconds are enough to tell one beacon from the next.
    asOfLabel_->setText(beaconTime.isEmpty() ? QStringLiteral("no housekeeping beacon yet")
                                             : QStringLiteral("as of %1 UTC").arg(beaconTime.left(19)));
}

QString StatusWindow::asOf() const { return asOfLabel_->text(); }

QString StatusWindow::stateText() const { return stateBox_->text(); }

QString StatusWindow::line(int index) const {
    if (index < 0 || index >= kStatusLines) return {};
    return lineLabels_[static_cast<std::size_t>(index)]->text();
}

} // namespace varne4::ui
