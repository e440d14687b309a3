#include "ui/status_window.h"

#include <QLabel>
#include <QLineEdit>

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

QString pick(int bit, int expected, const char* holds, const char* otherwise) {
    if (bit < 0) return QStringLiteral("?");
    return QString::fromLatin1(bit == expected ? holds : otherwise);
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
    lines[0] = (b7 == 0 && b6 == 1) ? QStringLiteral("NOMINAL Mode") : QStringLiteral("?");
    lines[1] = QStringLiteral("reserved");
    lines[2] = pick(bitAt(s, 3), 0, "ADCS off", "ADCS on");
    lines[3] = pick(bitAt(s, 4), 0, "Radio B active", "Radio A active");
    lines[4] = pick(bitAt(s, 5), 1, "Power Path B on Bus", "Power Path B NOT on Bus");
    lines[5] = pick(bitAt(s, 6), 1, "Power Path A on Bus", "Power Path A NOT on Bus");
    lines[6] = pick(bitAt(s, 7), 0, "MCU A active", "MCU B active");
    return lines;
}

StatusWindow::StatusWindow(const QString& stateText, QWidget* parent)
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

    text1_ = new QLineEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setGeometry(twipsRect(240, 480, 2775, 405));
    text1_->setReadOnly(true);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    text1_->setFont(sized(mono, 15.75, true));

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(twipsRect(3240, 360, 960, 960));
    image->setPixmap(satellitePicture(64));

    const StatusLines lines = statusLinesFor(stateText);
    for (int i = 0; i < kStatusLines; ++i) {
        auto* label = new QLabel(lines[static_cast<std::size_t>(i)], this);
        label->setObjectName(QStringLiteral("Label2_%1").arg(i));
        label->setGeometry(twipsRect(240, 1080 + 240 * i, 5535, 255));
        label->setFont(sized(base, 8.25, true));
        label->setAutoFillBackground(true);
        label->setPalette(pal);
        label2_[static_cast<std::size_t>(i)] = label;
    }
    // The window shows the state text unchanged; a blank one leaves the box empty.
    if (!stateText.trimmed().isEmpty()) text1_->setText(stateText);
}

QString StatusWindow::stateText() const { return text1_->text(); }

QString StatusWindow::line(int index) const {
    if (index < 0 || index >= kStatusLines) return {};
    return label2_[static_cast<std::size_t>(index)]->text();
}

} // namespace varne4::ui
