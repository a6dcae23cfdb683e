// Writes small Windows bitmap files of every common encoding for the image tests.
#include "bmp_writer.h"

#include <cstddef>
#include <stdexcept>

namespace orvik::testing {
namespace {

constexpr std::uint32_t FileHeaderSize = 14;
constexpr std::uint32_t InfoHeaderSize = 40;
constexpr std::uint32_t CompressionRgb = 0;
constexpr std::uint32_t CompressionRle8 = 1;
constexpr std::uint32_t CompressionBitFields = 3;

void put16(QByteArray& out, std::uint32_t value) {
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

void put32(QByteArray& out, std::uint32_t value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

int bitCount(BmpEncoding encoding) {
    switch (encoding) {
    case BmpEncoding::Palette1:
        return 1;
    case BmpEncoding::Palette4:
        return 4;
    case BmpEncoding::Palette8:
    case BmpEncoding::Rle8:
        return 8;
    case BmpEncoding::Rgb555:
    case BmpEncoding::Rgb565:
        return 16;
    case BmpEncoding::Rgb24:
        return 24;
    case BmpEncoding::Rgb32:
        return 32;
    }
    throw std::logic_error("unknown encoding");
}

void put16BitPixel(QByteArray& row, BmpEncoding encoding, Rgb colour) {
    if (encoding == BmpEncoding::Rgb555)
        put16(row, (colour.red >> 3) << 10 | (colour.green >> 3) << 5 | colour.blue >> 3);
    else
        put16(row, (colour.red >> 3) << 11 | (colour.green >> 2) << 5 | colour.blue >> 3);
}

// One stored row of an uncompressed encoding, padded to a multiple of 4 bytes.
QByteArray packedRow(const BmpPicture& picture, BmpEncoding encoding, int y) {
    QByteArray row;
    const int bits = bitCount(encoding);
    if (usesPalette(encoding)) {
        std::uint32_t accumulator = 0;
        int filled = 0;
        for (int x = 0; x < picture.width; ++x) {
            accumulator = accumulator << bits | picture.indices[std::size_t(y) * picture.width + x];
            filled += bits;
            if (filled == 8) {
                row.append(char(accumulator));
                accumulator = 0;
                filled = 0;
            }
        }
        if (filled > 0) row.append(char(accumulator << (8 - filled)));
    } else {
        for (int x = 0; x < picture.width; ++x) {
            const Rgb colour = picture.colourAt(x, y);
            if (bits == 16) {
                put16BitPixel(row, encoding, colour);
                continue;
            }
            row.append(char(colour.blue));
            row.append(char(colour.green));
            row.append(char(colour.red));
            if (bits == 32) row.append(char(0));
        }
    }
    while (row.size() % 4 != 0)
        row.append(char(0));
    return row;
}

// RLE8: runs of equal indices as (count, index); stretches of three or more differing
// indices in absolute mode, padded to a 16-bit boundary; an end-of-line after each row.
QByteArray rle8Rows(const BmpPicture& picture) {
    QByteArray out;
    for (int y = picture.height - 1; y >= 0; --y) {
        const std::uint8_t* row = picture.indices.data() + std::size_t(y) * picture.width;
        int x = 0;
        while (x < picture.width) {
            int run = 1;
            while (x + run < picture.width && run < 255 && row[x + run] == row[x])
                ++run;
            if (run >= 2) {
                out.append(char(run));
                out.append(char(row[x]));
                x += run;
                continue;
            }
            int literal = 1;
            while (x + literal < picture.width && literal < 255 &&
                   (x + literal + 1 >= picture.width || row[x + literal] != row[x + literal + 1]))
                ++literal;
            if (literal < 3) {
                out.append(char(1));
                out.append(char(row[x]));
                ++x;
                continue;
            }
            out.append(char(0));
            out.append(char(literal));
            for (int i = 0; i < literal; ++i)
                out.append(char(row[x + i]));
            if (literal % 2 != 0) out.append(char(0));
            x += literal;
        }
        out.append(char(0));
        out.append(char(0));
    }
    out.append(char(0));
    out.append(char(1));
    return out;
}

void putHeaders(QByteArray& out, std::int32_t width, std::int32_t height, int bits,
                std::uint32_t compression, std::uint32_t extraBytes, std::uint32_t paletteSize,
                std::uint32_t pixelBytes) {
    const std::uint32_t pixelOffset = FileHeaderSize + InfoHeaderSize + extraBytes;
    out.append("BM");
    put32(out, pixelOffset + pixelBytes);
    put32(out, 0);
    put32(out, pixelOffset);
    put32(out, InfoHeaderSize);
    put32(out, std::uint32_t(width));
    put32(out, std::uint32_t(height));
    put16(out, 1);
    put16(out, std::uint32_t(bits));
    put32(out, compression);
    put32(out, pixelBytes);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, paletteSize);
    put32(out, 0);
}

QByteArray paletteBytes(const std::vector<Rgb>& palette) {
    QByteArray out;
    for (const Rgb& colour : palette) {
        out.append(char(colour.blue));
        out.append(char(colour.green));
        out.append(char(colour.red));
        out.append(char(0));
    }
    return out;
}

} // namespace

std::string encodingName(BmpEncoding encoding) {
    switch (encoding) {
    case BmpEncoding::Palette1:
        return "1-bit palette";
    case BmpEncoding::Palette4:
        return "4-bit palette";
    case BmpEncoding::Palette8:
        return "8-bit palette";
    case BmpEncoding::Rle8:
        return "RLE8";
    case BmpEncoding::Rgb555:
        return "16-bit 5-5-5";
    case BmpEncoding::Rgb565:
        return "16-bit 5-6-5 bit fields";
    case BmpEncoding::Rgb24:
        return "24-bit";
    case BmpEncoding::Rgb32:
        return "32-bit";
    }
    return "?";
}

bool usesPalette(BmpEncoding encoding) {
    return bitCount(encoding) <= 8;
}

bool isLossy(BmpEncoding encoding) {
    return bitCount(encoding) == 16;
}

Rgb BmpPicture::colourAt(int x, int y) const {
    const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
    return palette.empty() ? colours[i] : palette[indices[i]];
}

QByteArray writeBmp(const BmpPicture& picture, BmpEncoding encoding, bool topDown) {
    const int bits = bitCount(encoding);
    QByteArray pixels;
    std::uint32_t compression = CompressionRgb;
    if (encoding == BmpEncoding::Rle8) {
        compression = CompressionRle8;
        topDown = false;
        pixels = rle8Rows(picture);
    } else {
        for (int i = 0; i < picture.height; ++i)
            pixels.append(packedRow(picture, encoding, topDown ? i : picture.height - 1 - i));
    }

    QByteArray extra;
    std::uint32_t paletteSize = 0;
    if (usesPalette(encoding)) {
        paletteSize = std::uint32_t(picture.palette.size());
        extra = paletteBytes(picture.palette);
    } else if (encoding == BmpEncoding::Rgb565) {
        compression = CompressionBitFields;
        put32(extra, 0xf800);
        put32(extra, 0x07e0);
        put32(extra, 0x001f);
    }

    QByteArray out;
    putHeaders(out, picture.width, topDown ? -picture.height : picture.height, bits, compression,
               std::uint32_t(extra.size()), paletteSize, std::uint32_t(pixels.size()));
    out.append(extra);
    out.append(pixels);
    return out;
}

QByteArray rle8File(int width, int height, const std::vector<Rgb>& palette,
                    const QByteArray& stream) {
    QByteArray out;
    putHeaders(out, width, height, 8, CompressionRle8, std::uint32_t(4 * palette.size()),
               std::uint32_t(palette.size()), std::uint32_t(stream.size()));
    out.append(paletteBytes(palette));
    out.append(stream);
    return out;
}

QByteArray bmpHeaderClaiming(std::int32_t width, std::int32_t height, std::uint16_t bitCount) {
    QByteArray out;
    putHeaders(out, width, height, bitCount, CompressionRgb, 0, 0, 0);
    out.append(QByteArray(64, char(0x5a)));
    return out;
}

} // namespace orvik::testing
