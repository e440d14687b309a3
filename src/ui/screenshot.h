#pragma once
// The screenshot of the main window: the panel groups and the chart, cropped,
// reduced to a palette of at most 256 colours with the window colour transparent,
// saved as PNG. Done in-process, so no external converter is needed.

#include <QImage>
#include <QString>

#include <string>

#include "base/utc_time.h"

namespace varne4::ui {

// The part of the client area that holds the four groups and the chart.
inline constexpr int kCropX = 1, kCropY = 37, kCropWidth = 707, kCropHeight = 540;
inline constexpr QRgb kWindowColour = 0xFFF0F0F0; // 240, 240, 240

// Crops and converts; the window colour is palette entry 0, fully transparent.
QImage screenshotImage(const QImage& clientArea);

struct ScreenshotResult {
    QString bitmapName; // <prefix>varne4_<DDMMYYYY>.bmp, the name the captions use
    QString pngPath;    // the file written: the same name with .png
    QString error;      // empty on success
};

// Converts and writes the PNG; nothing is written under the bitmap name.
ScreenshotResult saveScreenshot(const QImage& clientArea, const std::string& prefix, const DateTime& localNow);

} // namespace varne4::ui
