// Writes Windows bitmap files for tests, fuzzer seeds and the sample pictures: byte by byte
// with every header field under the caller's control, or a picture in one of the common
// encodings.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik::test {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The fields of a file with a 40-byte info header. Unset optional fields take the values
// a correct writer would give them.
struct BmpFields {
    std::int32_t width = 0;
    std::int32_t height = 0; // negative: rows stored top-down
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 8;
    std::uint32_t compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    std::vector<Rgb> palette;
    std::optional<std::uint32_t> colorsUsed; // default: palette.size()
    std::vector<std::uint32_t> masks;        // written after the header (bit fields)
    QByteArray pixels;                       // the pixel data exactly as stored
    std::optional<std::uint32_t> dataOffset; // default: right after the palette
    std::optional<std::uint32_t> fileSize;   // default: the real length
    std::optional<std::uint32_t> sizeImage;  // default: pixels.size()
};

enum : std::uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3 };

QByteArray craftBmp(const BmpFields& fields);

// Uncompressed rows, bottom row first, each padded to 4 bytes. `value` gives the stored
// value of pixel (x, y) with y counted from the top: a palette index for 1, 4 and 8 bits,
// 0xRRGGBB for 24 and 32 bits, the raw 16-bit value for 16 bits.
QByteArray storedRows(int width, int height, int bitCount,
                      const std::function<std::uint32_t(int x, int y)>& value);

// A run-length stream for RLE8 or RLE4 (a byte holds two 4-bit pixels, high nibble first).
class RleStream {
public:
    explicit RleStream(int bitsPerPixel) : bits_(bitsPerPixel) {}
    RleStream& run(std::uint8_t count, std::uint8_t value); // value: one index, or two nibbles
    RleStream& literal(const std::vector<std::uint8_t>& indices); // 3..255 pixels, padded
    RleStream& endOfLine();
    RleStream& delta(std::uint8_t right, std::uint8_t up);
    RleStream& endOfBitmap();
    QByteArray bytes() const { return bytes_; }

private:
    int bits_;
    QByteArray bytes_;
};

// A palette of `count` greys 0, 1, 2, …, so that an index and its grey level agree.
std::vector<Rgb> greyRamp(int count);

// --- Whole pictures in the common encodings ---------------------------------------------------

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

} // namespace orvik::test
