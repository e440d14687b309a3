#pragma once
// The layout's widths were made for a narrow font; with a wider one a caption
// shrinks a little rather than losing its end.

class QWidget;

namespace varne4::ui {

// Shrinks the font of one label or button until its caption fits its width.
void shrinkToFit(QWidget* control);
// The same for every label, option button and check box inside `root`.
void shrinkCaptionsToFit(QWidget* root);

} // namespace varne4::ui
