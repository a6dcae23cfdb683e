// Checks shared by the image tests: the store's own consistency and an independent grey
// computation from the toolkit's decode of a file.
#pragma once

#include "grey_image.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace orvik::testing {

inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

inline std::vector<std::uint8_t> greyBuffer(const GreyImage& store) {
    const std::uint8_t* data = store.GreyData.get();
    return {data, data + std::size_t(store.ImageWidth) * std::size_t(store.ImageHeight)};
}

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

// A loaded store: a 24-bit display of the grey buffer's size, rows padded to 4 bytes, every
// pixel showing its grey value in all three channels.
inline void expectConsistentStore(const GreyImage& store) {
    ASSERT_TRUE(store.GreyData);
    ASSERT_GT(store.ImageWidth, 0);
    ASSERT_GT(store.ImageHeight, 0);
    ASSERT_EQ(store.Display.format(), QImage::Format_BGR888);
    ASSERT_EQ(store.Display.width(), store.ImageWidth);
    ASSERT_EQ(store.Display.height(), store.ImageHeight);
    EXPECT_EQ(store.Display.bytesPerLine(), (3 * store.ImageWidth + 3) / 4 * 4);
    int mismatches = 0;
    for (int y = 0; y < store.ImageHeight; ++y) {
        const std::uint8_t* pixel = store.Display.constScanLine(y);
        const std::uint8_t* grey = store.GreyData.get() + std::size_t(y) * store.ImageWidth;
        for (int x = 0; x < store.ImageWidth; ++x, pixel += 3)
            if (pixel[0] != grey[x] || pixel[1] != grey[x] || pixel[2] != grey[x]) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0) << "display pixels that don't show their grey value";
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

} // namespace orvik::testing
