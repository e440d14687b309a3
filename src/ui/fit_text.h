#pragma once
// The layout's widths were made for a narrow font; with a wider one a caption
// or a value shrinks a little rather than losing its end.

#include <QString>

class QFont;
class QLabel;
class QLineEdit;
class QWidget;

namespace varne4::ui {

// Shrinks the font of one label or button until its caption fits its width (a
// label that wraps: its width and height).
void shrinkToFit(QWidget* control);
// The same for every label, option button and check box inside `root`.
void shrinkCaptionsToFit(QWidget* root);

// The width a line edit gives its text: inside the frame, the style's margins
// and the text margins.
int textRoom(const QLineEdit* box);
// Gives a value box the largest font, up to `font`, in which its whole text fits.
void fitValueBox(QLineEdit* box, const QFont& font);

} // namespace varne4::ui
