// TIFF files for the tests and the fuzzer's seeds: pages written with libtiff, and a
// hand-made file whose header claims what libtiff would not write.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace orvik::test {

struct TiffPage {
    int width = 5;
    int height = 4;
    int bits = 8;     // 8, 16 or 32
    int channels = 1; // 1 grey, 3 RGB
    bool floating = false;
    bool tiled = false; // 16 × 16 tiles; otherwise strips of 2 rows
    bool separatePlanes = false;
    int compression = 1;                // COMPRESSION_NONE
    std::vector<std::uint32_t> samples; // width × height × channels, row by row
    float xResolution = 0;              // 0: no resolution tags
    int resolutionUnit = 1;
    std::string description;
};

// A page whose samples run through a pattern that shifts every row, from `low` up to below
// `low + span`.
TiffPage patternPage(int width, int height, int bits, int channels, std::uint32_t low,
                     std::uint32_t span);

// Writes the pages as one file; stops the program when it can't.
void writeTiff(const QString& path, const std::vector<TiffPage>& pages);

// One page of 8-bit grey in one strip, the directory first and then `pixelBytes` bytes of
// pixels, claiming width × height pixels.
QByteArray tiffClaiming(std::uint32_t width, std::uint32_t height, std::uint32_t pixelBytes);

} // namespace orvik::test
