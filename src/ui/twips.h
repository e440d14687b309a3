#pragma once
// Layout positions are kept in twips, as the window tables give them, and turned
// into pixels here: 15 twips are one pixel at 96 dots per inch.

#include <QRect>

namespace varne4::ui {

constexpr int px(int twips) { return twips / 15; }

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

} // namespace varne4::ui
