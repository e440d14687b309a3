#include "ui/screenshot.h"

#include <QFileInfo>
#include <QHash>
#include <QImageWriter>

#include <algorithm>
#include <vector>

#include "base/compat_texts.h"
#include "base/qt_text.h"

namespace varne4::ui {

QImage screenshotImage(const QImage& clientArea) {
    // Pixels outside the captured area (a smaller window) stay window colour.
    QImage crop(kCropWidth, kCropHeight, QImage::Format_RGB32);
    crop.fill(kWindowColour);
    const QRect source = QRect(kCropX, kCropY, kCropWidth, kCropHeight).intersected(clientArea.rect());
    const QImage rgb = clientArea.convertToFormat(QImage::Format_RGB32);
    for (int y = source.top(); y <= source.bottom(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(crop.scanLine(y - kCropY));
        std::copy(from + source.left(), from + source.right() + 1, to + (source.left() - kCropX));
    }

    // Palette: the window colour first, then the most frequent other colours.
    QHash<QRgb, int> counts;
    for (int y = 0; y < crop.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(crop.constScanLine(y));
        for (int x = 0; x < crop.width(); ++x)
            ++counts[line[x] | 0xFF000000];
    }
    std::vector<std::pair<int, QRgb>> byCount;
    byCount.reserve(static_cast<std::size_t>(counts.size()));
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.key() != kWindowColour) byCount.emplace_back(it.value(), it.key());
    const std::size_t keep = std::min<std::size_t>(255, byCount.size());
    std::partial_sort(byCount.begin(), byCount.begin() + static_cast<long>(keep), byCount.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    QList<QRgb> palette{kWindowColour};
    for (std::size_t i = 0; i < keep; ++i)
        palette.append(byCount[i].second);

    QImage indexed = crop.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither | Qt::AvoidDither);
    QList<QRgb> table = indexed.colorTable();
    table[0] = qRgba(240, 240, 240, 0);
    indexed.setColorTable(table);
    return indexed;
}

ScreenshotResult saveScreenshot(const QImage& clientArea, const std::string& prefix, const DateTime& localNow) {
    ScreenshotResult r;
    r.bitmapName = fromUtf8(prefix + std::string(texts::kScreenshotPrefix) + screenshotDate(localNow) + ".bmp");
    r.pngPath = r.bitmapName.left(r.bitmapName.size() - 4) + ".png";
    if (clientArea.isNull()) {
        r.error = QStringLiteral("the window could not be captured");
        return r;
    }
    QImageWriter writer(r.pngPath, "png");
    if (!writer.write(screenshotImage(clientArea)))
        r.error = QStringLiteral("%1 could not be saved: %2").arg(r.pngPath, writer.errorString());
    return r;
}

} // namespace varne4::ui
