#include "ui/fit_text.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

namespace varne4::ui {

namespace {

constexpr qreal kSmallestPoints = 6.0;
constexpr qreal kStep = 0.25;

bool fits(QWidget* control) { return control->sizeHint().width() <= control->width(); }

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

} // namespace varne4::ui
