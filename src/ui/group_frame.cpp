#include "ui/group_frame.h"

#include <QStyleOptionGroupBox>
#include <QStylePainter>

namespace varne4::ui {

// The frame's own font is bold so that the caption is measured as it is drawn.
GroupFrame::GroupFrame(QWidget* parent) : QGroupBox(parent) {
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
}

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : GroupFrame(parent) { setTitle(title); }

void GroupFrame::keepChildrenRegular() {
    for (QWidget* child : findChildren<QWidget*>()) {
        QFont regular = child->font();
        regular.setBold(false);
        child->setFont(regular);
    }
}

void GroupFrame::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    option.textColor = captionColor();
    option.palette.setColor(QPalette::WindowText, captionColor());
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
}

} // namespace varne4::ui
