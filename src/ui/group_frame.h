#pragma once
// A group frame whose caption is bold and grey, while the controls inside keep
// the window's own font and colours (a font or palette set on the frame itself
// would pass on to them).

#include <QColor>
#include <QGroupBox>

namespace varne4::ui {

class GroupFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit GroupFrame(QWidget* parent = nullptr);
    GroupFrame(const QString& title, QWidget* parent);

    // Grey, but dark enough to read on the window's face (5.9 : 1).
    static QColor captionColor() { return {96, 96, 96}; }

    // Gives every control inside the frame the regular weight of the frame's
    // font; call once the frame is filled.
    void keepChildrenRegular();

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace varne4::ui
