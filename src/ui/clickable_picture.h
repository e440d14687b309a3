#pragma once
// A picture that reports a click, as the status picture of the panel does.

#include <QLabel>
#include <QMouseEvent>

namespace varne4::ui {

class ClickablePicture : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
        QLabel::mouseReleaseEvent(event);
    }
};

} // namespace varne4::ui
