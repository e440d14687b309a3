#pragma once
// The satellite's state word in plain words. The main window hands it each new
// housekeeping beacon's state while it is open, with the beacon's time: a window
// that showed a state hours old without saying so would mislead.
//
//   objectName             member or function
//   ---------------------  ----------------------------------------------
//   Form4                  StatusWindow
//   Label1                 the title
//   Text1                  stateBox_, stateText()
//   AsOf                   asOfLabel_, asOf(): the time of the beacon shown
//   Image1                 the satellite picture
//   Label2_0 .. Label2_6   lineLabels_, line(); their texts are statusLinesFor()

#include <QPoint>
#include <QRect>
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

// Where a window of `size` opens beside a window whose frame is `beside`: to its
// right, else to its left, else at the screen's edge on the roomier side; always on the `screen`.
QPoint besideWindow(const QRect& beside, const QSize& size, const QRect& screen);

class StatusWindow : public QWidget {
    Q_OBJECT
public:
    // `beaconTime`: the UTC time stamp of the beacon the state comes from; empty before the first.
    explicit StatusWindow(const QString& stateText, const QString& beaconTime = {}, QWidget* parent = nullptr);

    // A newer beacon's state.
    void showState(const QString& stateText, const QString& beaconTime);

    QString stateText() const;
    QString line(int index) const;
    QString asOf() const;

private:
    QLineEdit* stateBox_;
    QLabel* asOfLabel_;
    std::array<QLabel*, kStatusLines> lineLabels_{};
};

} // namespace varne4::ui
