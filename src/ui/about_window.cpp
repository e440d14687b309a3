#include "ui/about_window.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "base/qt_text.h"
#include "base/version.h"
#include "ui/fit_text.h"
#include "ui/pictures.h"
#include "ui/twips.h"

namespace varne4::ui {

QString versionLine() {
    return QStringLiteral("Version ") + latin1(kProgramVersion) + QStringLiteral("    (") + latin1(kReleaseDate) +
           QStringLiteral(")");
}

QString disclaimerText() {
    return QStringLiteral(
        "THIS SOFTWARE IS PROVIDED AS IS, WITHOUT WARRANTY OF ANY KIND. THE AUTHOR DISCLAIMS ALL "
        "WARRANTIES, EXPRESS OR IMPLIED, INCLUDING THE WARRANTIES OF MERCHANTABILITY AND FITNESS FOR A "
        "PARTICULAR PURPOSE. IN NO EVENT SHALL THE AUTHOR BE LIABLE FOR ANY SPECIAL, DIRECT, INDIRECT OR "
        "CONSEQUENTIAL DAMAGES, OR ANY DAMAGES WHATSOEVER RESULTING FROM LOSS OF USE, DATA OR PROFITS, "
        "ARISING OUT OF OR IN CONNECTION WITH THE USE OR PERFORMANCE OF THIS SOFTWARE.");
}

AboutWindow::AboutWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("Info"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(programIcon());
    setFixedSize(px(8205), px(4680));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    QFont base = font();
    base.setPointSizeF(8.25);
    setFont(base);

    // The photograph first, so the texts stand above it where they meet.
    auto* photo = new QLabel(this);
    photo->setObjectName(QStringLiteral("Image1"));
    photo->setGeometry(twipsRect(3720, -720, 4425, 4005));
    photo->setPixmap(aboutPhotograph(photo->size()));

    auto* name = new QLabel(QStringLiteral("VARNE-4 Telemetry Decoder"), this);
    name->setObjectName(QStringLiteral("Label1"));
    name->setGeometry(twipsRect(120, 120, 3495, 375));
    QFont nameFont = base;
    nameFont.setPointSizeF(13.5);
    name->setFont(nameFont);
    shrinkToFit(name);

    auto* edition = new QLabel(QStringLiteral("ONLINE VERSION"), this);
    edition->setObjectName(QStringLiteral("Label12"));
    edition->setGeometry(twipsRect(6240, 120, 1695, 255));
    QFont bold = base;
    bold.setBold(true);
    edition->setFont(bold);
    QPalette cyan = edition->palette();
    cyan.setColor(QPalette::WindowText, QColor(0, 255, 255));
    edition->setPalette(cyan);

    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsRect(120, 1440, 3375, 615));
    frame->setAutoFillBackground(true);
    frame->setPalette(white);

    auto* version = new QLabel(versionLine(), frame);
    version->setObjectName(QStringLiteral("Label2"));
    version->setGeometry(twipsRect(120, 240, 3135, 255));
    version->setAlignment(Qt::AlignCenter);

    auto* modems = new QLabel(QStringLiteral("Input from the AGW Packet Engine or from Soundmodem"), this);
    modems->setObjectName(QStringLiteral("Label9"));
    modems->setGeometry(twipsRect(120, 2880, 3015, 375));
    modems->setWordWrap(true);

    auto* disclaimer = new QLabel(disclaimerText(), this);
    disclaimer->setObjectName(QStringLiteral("Label11"));
    disclaimer->setGeometry(twipsRect(120, 3360, 7935, 1215));
    disclaimer->setWordWrap(true);
    disclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont arial(QStringLiteral("Arial"));
    arial.setStyleHint(QFont::SansSerif);
    arial.setPointSizeF(base.pointSizeF());
    disclaimer->setFont(arial);
    QPalette grey = disclaimer->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    disclaimer->setPalette(grey);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

} // namespace varne4::ui
