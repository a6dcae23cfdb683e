// The threshold preview's tint.
#include "threshold_tint.h"

#include <cstddef>
#include <cstdint>

namespace orvik {

QImage thresholdTint(const GreyImage& image, int threshold, bool blackOnWhite) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    QImage tint(width, height, QImage::Format_ARGB32_Premultiplied);
    const QRgb object = qPremultiply(qRgba(0, 170, 255, 120));
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(tint.scanLine(y));
        const std::uint8_t* grey = image.GreyData.get() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            row[x] = onObjectSide(grey[x], threshold, blackOnWhite) ? object : 0;
    }
    return tint;
}

} // namespace orvik
