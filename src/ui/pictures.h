#pragma once
// The windows' pictures, drawn in code so the program carries no image files.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace varne4::ui {

// Link indicator, 20 x 20: a green tick while connected, a red cross otherwise.
QPixmap linkIcon(bool up);
// The status window's opener, 16 x 16.
QPixmap statusPicture();
// A small satellite on a dark field, square, for the status window and the icon.
QPixmap satellitePicture(int size);
// The About window's photograph: a starry sky with a small satellite.
QPixmap aboutPhotograph(QSize size);
QIcon programIcon();

} // namespace varne4::ui
