#pragma once
// The satellite's state word in plain words, read once from the panel's state
// text when the window opens.
//
//   objectName             member or function
//   ---------------------  ----------------------------------------------
//   Form4                  StatusWindow
//   Label1                 the title
//   Text1                  stateBox_, stateText()
//   Image1                 the satellite picture
//   Label2_0 .. Label2_6   lineLabels_, line(); their texts are statusLinesFor()

#include <QString>
#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;

namespace varne4::ui {

inline constexpr int kStatusLines = 7;
using StatusLines = std::array<QString, kStatusLines>;

// The seven lines for a state text (bit 7 first). A blank text leaves the
// "bit 7" ... "bit 1" captions; a character that is not a binary digit, or one
// that is missing, shows "?" on its line.
StatusLines statusLinesFor(const QString& stateText);
StatusLines blankStatusLines();

class StatusWindow : public QWidget {
    Q_OBJECT
public:
    explicit StatusWindow(const QString& stateText, QWidget* parent = nullptr);

    QString stateText() const;
    QString line(int index) const;

private:
    QLineEdit* stateBox_;
    std::array<QLabel*, kStatusLines> lineLabels_{};
};

} // namespace varne4::ui
