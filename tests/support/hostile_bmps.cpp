// The crafted hostile bitmaps and what loading each must give.
#include "hostile_bmps.h"

#include "bmp_file.h"

#include <utility>

namespace orvik::test {

namespace {

constexpr int W = 8, H = 4;

// Four greys 10, 20, 30, 40 at indices 0..3: index 0 (grey 10) is also what a decoder must
// leave in pixels a run-length stream skips or a short file lacks, and a grey of 0 can
// only come from an index beyond the palette.
std::vector<Rgb> fourGreys() {
    return {{10, 10, 10}, {20, 20, 20}, {30, 30, 30}, {40, 40, 40}};
}

// Rows given top row first, as the grey buffer holds them.
std::vector<std::uint8_t> rows(std::initializer_list<std::vector<std::uint8_t>> top_down) {
    std::vector<std::uint8_t> out;
    for (const auto& row : top_down)
        out.insert(out.end(), row.begin(), row.end());
    return out;
}

std::vector<std::uint8_t> row(std::uint8_t v) {
    return std::vector<std::uint8_t>(W, v);
}

HostileBmp refused(std::string name, std::string fault, QByteArray bytes) {
    HostileBmp b;
    b.name = std::move(name);
    b.fault = std::move(fault);
    b.bytes = std::move(bytes);
    b.refused = true;
    return b;
}

HostileBmp loads(std::string name, std::string fault, QByteArray bytes,
                 std::vector<std::uint8_t> grey, int width = W, int height = H) {
    HostileBmp b;
    b.name = std::move(name);
    b.fault = std::move(fault);
    b.bytes = std::move(bytes);
    b.width = width;
    b.height = height;
    b.grey = std::move(grey);
    return b;
}

BmpFields rle8(const RleStream& stream) {
    BmpFields f;
    f.width = W;
    f.height = H;
    f.bitCount = 8;
    f.compression = BiRle8;
    f.palette = fourGreys();
    f.pixels = stream.bytes();
    return f;
}

BmpFields rle4(const RleStream& stream) {
    BmpFields f = rle8(stream);
    f.bitCount = 4;
    f.compression = BiRle4;
    return f;
}

BmpFields plain8(int keepBytes = -1) {
    BmpFields f;
    f.width = W;
    f.height = H;
    f.bitCount = 8;
    f.palette = fourGreys();
    f.pixels = storedRows(W, H, 8, [](int x, int y) { return std::uint32_t((x + y) % 4); });
    if (keepBytes >= 0) f.pixels.truncate(keepBytes);
    return f;
}

// A header claiming width × height pixels, followed by a few bytes of pixel data.
QByteArray claiming(std::int32_t width, std::int32_t height, std::uint16_t bits) {
    BmpFields f;
    f.width = width;
    f.height = height;
    f.bitCount = bits;
    if (bits <= 8) f.palette = greyRamp(2);
    f.pixels = QByteArray(64, '\x55');
    return craftBmp(f);
}

void addAllocationLimit(std::vector<HostileBmp>& out) {
    // 16384 × 8193 × 4 bytes is just over 512 MB; both sides are below the 32767 limit,
    // so only the allocation check stands in the way.
    out.push_back(refused("claims-just-over-512mb", "header claims 16384 x 8193 pixels at 24 bits",
                          claiming(16384, 8193, 24)));
    out.push_back(refused("claims-576mb-top-down", "header claims 12000 x -12000 pixels at 8 bits",
                          claiming(12000, -12000, 8)));
    out.push_back(refused("claims-1-bit-30000-squared",
                          "header claims 30000 x 30000 pixels at 1 bit (112 MB of file data)",
                          claiming(30000, 30000, 1)));
}

void addPaletteIndices(std::vector<HostileBmp>& out) {
    {
        BmpFields f = plain8();
        const std::uint8_t index[W] = {0, 1, 2, 3, 4, 100, 200, 255};
        f.pixels = storedRows(W, H, 8, [&](int x, int) { return index[x]; });
        out.push_back(loads("index-beyond-palette-8bit", "8-bit indices 4..255 with 4 colours",
                            craftBmp(f),
                            rows({{10, 20, 30, 40, 0, 0, 0, 0},
                                  {10, 20, 30, 40, 0, 0, 0, 0},
                                  {10, 20, 30, 40, 0, 0, 0, 0},
                                  {10, 20, 30, 40, 0, 0, 0, 0}})));
    }
    {
        BmpFields f = plain8();
        f.bitCount = 4;
        f.palette = {{50, 50, 50}, {60, 60, 60}};
        f.pixels = storedRows(W, H, 4, [](int x, int) { return std::uint32_t(x * 2); });
        out.push_back(loads("index-beyond-palette-4bit", "4-bit indices 2..14 with 2 colours",
                            craftBmp(f),
                            rows({{50, 0, 0, 0, 0, 0, 0, 0},
                                  {50, 0, 0, 0, 0, 0, 0, 0},
                                  {50, 0, 0, 0, 0, 0, 0, 0},
                                  {50, 0, 0, 0, 0, 0, 0, 0}})));
    }
    {
        BmpFields f = plain8();
        f.bitCount = 1;
        f.palette = {{70, 70, 70}};
        f.pixels = storedRows(W, H, 1, [](int x, int) { return std::uint32_t(x % 2); });
        const std::vector<std::uint8_t> alternate = {70, 0, 70, 0, 70, 0, 70, 0};
        out.push_back(loads("index-beyond-palette-1bit", "1-bit index 1 with 1 colour", craftBmp(f),
                            rows({alternate, alternate, alternate, alternate})));
    }
    {
        const RleStream s = RleStream(8)
                                .run(4, 9)
                                .run(4, 3)
                                .endOfLine()
                                .run(8, 250)
                                .endOfLine()
                                .run(8, 1)
                                .endOfLine()
                                .run(8, 2)
                                .endOfBitmap();
        out.push_back(loads("index-beyond-palette-rle8",
                            "RLE8 runs of indices 9 and 250 with 4 colours", craftBmp(rle8(s)),
                            rows({row(30), row(20), row(0), {0, 0, 0, 0, 40, 40, 40, 40}})));
    }
}

void addRunLength(std::vector<HostileBmp>& out) {
    // Pixels beyond the end of their row are dropped, a jump stops at the row's end, a jump
    // above the top row ends the picture. Most cases draw on the second row or later, where
    // a run that isn't clipped spills into the row below it (the first row of the stream).
    out.push_back(loads("rle8-run-past-first-row", "an RLE8 run of 12 pixels in a row of 8",
                        craftBmp(rle8(RleStream(8).run(12, 1).endOfBitmap())),
                        rows({row(10), row(10), row(10), row(20)})));
    out.push_back(loads("rle8-run-past-later-row", "an RLE8 run of 9 pixels in the second row of 8",
                        craftBmp(rle8(RleStream(8).run(8, 1).endOfLine().run(9, 2).endOfBitmap())),
                        rows({row(10), row(10), row(30), row(20)})));
    out.push_back(
        loads("rle8-run-past-row-in-pieces", "RLE8 runs of 5 and 4 pixels in a row of 8",
              craftBmp(rle8(RleStream(8).run(8, 3).endOfLine().run(5, 1).run(4, 2).endOfBitmap())),
              rows({row(10), row(10), {20, 20, 20, 20, 20, 30, 30, 30}, row(40)})));
    out.push_back(
        loads("rle8-literal-past-row", "an RLE8 literal of 3 pixels at x = 6 of 8",
              craftBmp(rle8(
                  RleStream(8).run(8, 2).endOfLine().run(6, 1).literal({1, 2, 3}).endOfBitmap())),
              rows({row(10), row(10), {20, 20, 20, 20, 20, 20, 20, 30}, row(30)})));
    out.push_back(loads(
        "rle8-jump-past-row", "an RLE8 jump 9 pixels to the right in a row of 8",
        craftBmp(rle8(RleStream(8).delta(9, 0).run(1, 1).endOfLine().run(3, 2).endOfBitmap())),
        rows({row(10), row(10), {30, 30, 30, 10, 10, 10, 10, 10}, row(10)})));
    out.push_back(loads("rle8-jump-past-image", "an RLE8 jump 4 rows up in an image of 4 rows",
                        craftBmp(rle8(RleStream(8).run(2, 1).delta(0, 4).run(1, 2).endOfBitmap())),
                        rows({row(10), row(10), row(10), {20, 20, 10, 10, 10, 10, 10, 10}})));
    out.push_back(loads(
        "rle8-jump-past-image-from-top-row", "an RLE8 jump up from the top row",
        craftBmp(rle8(
            RleStream(8).endOfLine().endOfLine().endOfLine().delta(1, 1).run(1, 2).endOfBitmap())),
        rows({row(10), row(10), row(10), row(10)})));
    out.push_back(
        loads("rle4-run-past-row", "an RLE4 run of 9 pixels in the second row of 8",
              craftBmp(rle4(RleStream(4).run(8, 0x33).endOfLine().run(9, 0x12).endOfBitmap())),
              rows({row(10), row(10), {20, 30, 20, 30, 20, 30, 20, 30}, row(40)})));
    out.push_back(loads("rle4-literal-past-row", "an RLE4 literal of 5 pixels at x = 4 of 8",
                        craftBmp(rle4(RleStream(4)
                                          .run(8, 0x00)
                                          .endOfLine()
                                          .run(4, 0x11)
                                          .literal({1, 2, 3, 1, 2})
                                          .endOfBitmap())),
                        rows({row(10), row(10), {20, 20, 20, 20, 20, 30, 40, 20}, row(10)})));
    out.push_back(loads("rle4-jump-past-image", "an RLE4 jump 200 rows up",
                        craftBmp(rle4(RleStream(4).delta(0, 200).run(2, 0x33).endOfBitmap())),
                        rows({row(10), row(10), row(10), row(10)})));

    // What the format allows: pixels a jump skips and rows a stream leaves out are index 0.
    out.push_back(loads(
        "rle8-jumps-within-image", "RLE8 jumps that skip pixels and rows",
        craftBmp(
            rle8(RleStream(8).run(2, 1).delta(3, 1).run(3, 2).endOfLine().run(8, 3).endOfBitmap())),
        rows({row(10),
              row(40),
              {10, 10, 10, 10, 10, 30, 30, 30},
              {20, 20, 10, 10, 10, 10, 10, 10}})));
    out.push_back(loads("rle8-runs-exactly-to-row-end",
                        "RLE8 runs ending on the last pixel of a row",
                        craftBmp(rle8(RleStream(8)
                                          .run(5, 1)
                                          .run(3, 2)
                                          .endOfLine()
                                          .literal({3, 2, 1})
                                          .run(5, 3)
                                          .endOfBitmap())),
                        rows({row(10),
                              row(10),
                              {40, 30, 20, 40, 40, 40, 40, 40},
                              {20, 20, 20, 20, 20, 30, 30, 30}})));
    out.push_back(
        loads("rle8-ends-without-end-of-bitmap", "an RLE8 stream that stops after one row",
              craftBmp(rle8(RleStream(8).run(8, 2))), rows({row(10), row(10), row(10), row(30)})));
    out.push_back(loads(
        "rle4-jumps-within-image", "RLE4 runs, a literal and a jump",
        craftBmp(rle4(RleStream(4).run(3, 0x12).delta(2, 2).literal({3, 3, 1}).endOfBitmap())),
        rows({row(10),
              {10, 10, 10, 10, 10, 40, 40, 20},
              row(10),
              {20, 30, 20, 10, 10, 10, 10, 10}})));
}

void addDataOffset(std::vector<HostileBmp>& out) {
    {
        BmpFields f = plain8();
        f.dataOffset = 100000;
        out.push_back(refused("data-offset-beyond-file", "pixel data said to start at byte 100000",
                              craftBmp(f)));
    }
    {
        BmpFields f = plain8();
        const QByteArray whole = craftBmp(f);
        f.dataOffset = std::uint32_t(whole.size());
        out.push_back(refused("data-offset-at-end-of-file", "pixel data said to start at the end",
                              craftBmp(f)));
    }
    {
        BmpFields f = plain8();
        f.dataOffset = 0xfffffff0u;
        out.push_back(refused("data-offset-near-4gb", "pixel data said to start at byte 2^32 - 16",
                              craftBmp(f)));
    }
    {
        BmpFields f = rle8(RleStream(8).run(8, 1).endOfBitmap());
        f.dataOffset = 5000;
        out.push_back(refused("rle8-data-offset-beyond-file",
                              "RLE8 data said to start at byte 5000", craftBmp(f)));
    }
}

void addShortData(std::vector<HostileBmp>& out) {
    // One whole row and half of the next: the rows read stay, the missing pixels are
    // index 0 (grey 10), never leftover memory.
    BmpFields f = plain8(12);
    f.pixels = storedRows(W, H, 8, [](int, int y) { return std::uint32_t(y == 3 ? 2 : 3); });
    f.pixels.truncate(12);
    out.push_back(loads("pixel-data-cut-short-8bit", "8-bit pixel data ends in the second row",
                        craftBmp(f),
                        rows({row(10), row(10), {40, 40, 40, 40, 10, 10, 10, 10}, row(30)})));

    BmpFields g;
    g.width = W;
    g.height = H;
    g.bitCount = 24;
    g.pixels = storedRows(W, H, 24, [](int, int) { return 0xffffffu; });
    g.pixels.truncate(24 + 10);
    out.push_back(loads("pixel-data-cut-short-24bit", "24-bit pixel data ends in the second row",
                        craftBmp(g), rows({row(0), row(0), row(0), row(255)})));
}

} // namespace

std::vector<HostileBmp> hostileBmps() {
    std::vector<HostileBmp> out;
    addAllocationLimit(out);
    addPaletteIndices(out);
    addRunLength(out);
    addDataOffset(out);
    addShortData(out);
    return out;
}

} // namespace orvik::test
