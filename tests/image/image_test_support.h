// Helpers of the image tests: an independent grey computation from the toolkit's decode of a
// file, a dirty heap, and a load's error text.
#pragma once

#include "grey_image.h"
#include "grey_pass.h"
#include "store_checks.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace orvik::test {

// The luma of the toolkit's own decode of the file, top row first: what the store must hold
// whatever the decoder does with unusual encodings.
inline std::vector<std::uint8_t> lumaOfDecodedFile(const QString& path) {
    const QImage rgb = QImage(path).convertToFormat(QImage::Format_RGB888);
    std::vector<std::uint8_t> grey;
    for (int y = 0; y < rgb.height(); ++y) {
        const std::uint8_t* pixel = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x, pixel += 3)
            grey.push_back(greyValue(pixel[2], pixel[1], pixel[0]));
    }
    return grey;
}

// Leaves freed blocks full of the given byte on the heap, where a decoder that doesn't
// write every pixel would pick them up.
inline void leaveStaleBytes(std::size_t size, std::uint8_t value) {
    for (const std::size_t blockSize : {size, size * 3, size * 4}) {
        std::vector<std::uint8_t> stale(blockSize, value);
        asm volatile("" : : "g"(stale.data()) : "memory");
    }
}

// Runs the load and returns the error text, or "" when it succeeded.
inline std::string loadError(const QString& path) {
    try {
        (void)loadGreyImage(path);
    } catch (const ImageLoadError& error) {
        return error.what();
    }
    return "";
}

} // namespace orvik::test
