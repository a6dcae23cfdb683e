// TIFF files for the tests and the fuzzer's seeds, written with libtiff, and a patch for the
// header values libtiff would not write.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
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
    int compression = 1;                  // COMPRESSION_NONE
    float xResolution = 0;                // 0: no resolution tags
    int resolutionUnit = 1;               // RESUNIT_NONE
    std::string description{};            // ImageDescription, none when empty
    std::vector<std::uint32_t> samples{}; // width × height × channels, row by row
};

// The page with samples that run from `low` up to below `low + span` in a pattern that shifts
// every row.
TiffPage patterned(TiffPage page, std::uint32_t low, std::uint32_t span);

// A 16-bit movie, 120 × 100: dark discs (1000) on a light ground (3000), of radius 14 at
// (35 + 2t, 40) on frame t and of radius 12 at (85, 60); each page with `description`.
std::vector<TiffPage> discMovie(int frames, const std::string& description = {},
                                float xResolution = 0);

// Writes the pages as one file and returns its bytes; stops the program when it can't.
QByteArray writeTiff(const QString& path, const std::vector<TiffPage>& pages);

// Writes a large 16-bit grey stack page by page, each page one strip, uncompressed as ImageJ
// writes stacks unless `compression` names another: `fill(frame, samples)` writes the width ×
// height samples of each frame. Only one frame is held at a time, so stacks larger than memory
// can be written. Stops the program when it can't.
void writeStack16(const QString& path, int width, int height, int frames,
                  const std::function<void(int frame, std::uint16_t* samples)>& fill,
                  int compression = 1);

// Sets the one-value LONG or SHORT tag of the first page of a little-endian file to `value`;
// with `count`, sets the tag's count of values instead (fewer strip offsets than strips).
QByteArray withTag(QByteArray tiff, std::uint16_t tag, std::uint32_t value, bool count = false);

// The little-endian file with every page's one strip pointing at the first page's strip:
// pages that share their data, as a hostile file may have them.
QByteArray sharingFirstStrip(QByteArray tiff);

} // namespace orvik::test
