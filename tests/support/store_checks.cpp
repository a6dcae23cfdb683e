// Checks of a grey image store that tests and fuzzers share.
#include "store_checks.h"

#include <cstddef>

namespace orvik::test {

std::vector<std::uint8_t> greyBuffer(const GreyImage& store) {
    const std::uint8_t* data = store.GreyData.get();
    if (!data) return {};
    return {data, data + std::size_t(store.ImageWidth) * std::size_t(store.ImageHeight)};
}

std::string storeInconsistency(const GreyImage& store) {
    const std::string size =
        std::to_string(store.ImageWidth) + " x " + std::to_string(store.ImageHeight);
    if (!store.GreyData) return "no grey buffer";
    if (store.ImageWidth <= 0 || store.ImageHeight <= 0) return "an empty size, " + size;
    if (store.Display.format() != QImage::Format_BGR888) return "a display that is not 24-bit BGR";
    if (store.Display.width() != store.ImageWidth || store.Display.height() != store.ImageHeight)
        return "a display of another size than the grey buffer's " + size;
    if (store.Display.bytesPerLine() != (3 * store.ImageWidth + 3) / 4 * 4)
        return "display rows not padded to 4 bytes";
    for (int y = 0; y < store.ImageHeight; ++y) {
        const std::uint8_t* pixel = store.Display.constScanLine(y);
        const std::uint8_t* grey = store.GreyData.get() + std::size_t(y) * store.ImageWidth;
        for (int x = 0; x < store.ImageWidth; ++x, pixel += 3)
            if (pixel[0] != grey[x] || pixel[1] != grey[x] || pixel[2] != grey[x])
                return "display pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                       ") does not show its grey value";
    }
    return "";
}

} // namespace orvik::test
