#include "ui/fit_text.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>

namespace varne4::ui {

namespace {

constexpr qreal kSmallestPoints = 6.0;
constexpr qreal kStep = 0.25;
// QLineEdit keeps this many pixels clear on either side of its text.
constexpr int kLineEditMargin = 2;

bool fits(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control); label && label->wordWrap()) {
        const QRect room = label->contentsRect();
        const QRect needed =
            label->fontMetrics().boundingRect(room, int(label->alignment()) | Qt::TextWordWrap, label->text());
        return needed.width() <= room.width() && needed.height() <= room.height();
    }
    return control->sizeHint().width() <= control->width();
}

} // namespace

void shrinkToFit(QWidget* control) {
    QFont f = control->font();
    while (!fits(control) && f.pointSizeF() > kSmallestPoints) {
        f.setPointSizeF(f.pointSizeF() - kStep);
        control->setFont(f);
    }
}

void shrinkCaptionsToFit(QWidget* root) {
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (label->text().isEmpty() || label->wordWrap()) continue;
        shrinkToFit(label);
    }
    // Push buttons are left alone: their size hint carries the style's generous margins.
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!button->text().isEmpty() && (qobject_cast<QRadioButton*>(button) || qobject_cast<QCheckBox*>(button)))
            shrinkToFit(button);
    }
}

int textRoom(const QLineEdit* box) {
    QStyleOptionFrame option;
    option.initFrom(box);
    option.rect = box->rect();
    option.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box);
    const QMargins margins = box->textMargins();
    return contents.width() - margins.left() - margins.right() - 2 * kLineEditMargin;
}

void fitValueBox(QLineEdit* box, const QFont& font) {
    QFont f = font;
    const int room = textRoom(box);
    while (QFontMetrics(f).horizontalAdvance(box->text()) > room && f.pointSizeF() > kSmallestPoints)
        f.setPointSizeF(f.pointSizeF() - kStep);
    if (box->font() != f) box->setFont(f);
}

} // namespace varne4::ui
