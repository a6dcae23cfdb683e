// Writes small Windows bitmap files of every common encoding for the image tests.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <string>
#include <vector>

namespace orvik::testing {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

enum class BmpEncoding { Palette1, Palette4, Palette8, Rle8, Rgb555, Rgb565, Rgb24, Rgb32 };

std::string encodingName(BmpEncoding encoding);
bool usesPalette(BmpEncoding encoding);
// 16-bit encodings keep only 5 or 6 bits of a channel, so decoders widen them back in
// slightly different ways.
bool isLossy(BmpEncoding encoding);

// A picture given as palette indices (palette encodings) or as colours (the others),
// top row first.
struct BmpPicture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> palette;
    std::vector<std::uint8_t> indices;
    std::vector<Rgb> colours;

    Rgb colourAt(int x, int y) const;
};

// The complete file. Rows are stored bottom-up unless topDown is set (ignored for RLE8,
// which is bottom-up by definition of the format).
QByteArray writeBmp(const BmpPicture& picture, BmpEncoding encoding, bool topDown = false);

// An 8-bit RLE file with the given palette and compressed pixel stream, taken as it is.
QByteArray rle8File(int width, int height, const std::vector<Rgb>& palette,
                    const QByteArray& stream);

// Only the two headers of a 24-bit file claiming the given size, followed by a few pixel
// bytes: what a corrupt or hostile file looks like.
QByteArray bmpHeaderClaiming(std::int32_t width, std::int32_t height, std::uint16_t bitCount);

} // namespace orvik::testing
