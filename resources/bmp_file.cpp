// Writes Windows bitmap files: the byte-level crafter, and the common encodings on top of it.
#include "bmp_file.h"

#include <cstddef>
#include <stdexcept>

namespace orvik::test {

namespace {

void putU16(QByteArray& out, std::uint16_t v) {
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void putU32(QByteArray& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((v >> shift) & 0xff));
}

} // namespace

QByteArray craftBmp(const BmpFields& f) {
    constexpr std::uint32_t FileHeaderSize = 14, InfoHeaderSize = 40;
    QByteArray tables;
    for (std::uint32_t mask : f.masks)
        putU32(tables, mask);
    for (const Rgb& c : f.palette) {
        tables.append(char(c.blue));
        tables.append(char(c.green));
        tables.append(char(c.red));
        tables.append('\0');
    }
    const auto naturalOffset = std::uint32_t(FileHeaderSize + InfoHeaderSize + tables.size());
    const auto naturalSize = std::uint32_t(naturalOffset + f.pixels.size());

    QByteArray out;
    out.append("BM", 2);
    putU32(out, f.fileSize.value_or(naturalSize));
    putU32(out, 0); // reserved
    putU32(out, f.dataOffset.value_or(naturalOffset));
    putU32(out, InfoHeaderSize);
    putU32(out, std::uint32_t(f.width));
    putU32(out, std::uint32_t(f.height));
    putU16(out, f.planes);
    putU16(out, f.bitCount);
    putU32(out, f.compression);
    putU32(out, f.sizeImage.value_or(std::uint32_t(f.pixels.size())));
    putU32(out, 2835); // 72 dots per inch
    putU32(out, 2835);
    putU32(out, f.colorsUsed.value_or(std::uint32_t(f.palette.size())));
    putU32(out, 0); // all colours important
    out.append(tables);
    out.append(f.pixels);
    return out;
}

QByteArray storedRows(int width, int height, int bitCount,
                      const std::function<std::uint32_t(int x, int y)>& value) {
    const int stride = (width * bitCount + 31) / 32 * 4;
    QByteArray out;
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        auto* bytes = reinterpret_cast<std::uint8_t*>(row.data());
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            switch (bitCount) {
            case 1:
                bytes[x / 8] |= std::uint8_t((v & 1) << (7 - x % 8));
                break;
            case 4:
                bytes[x / 2] |= std::uint8_t((v & 15) << (x % 2 == 0 ? 4 : 0));
                break;
            case 8:
                bytes[x] = std::uint8_t(v);
                break;
            case 16:
                bytes[2 * x] = std::uint8_t(v);
                bytes[2 * x + 1] = std::uint8_t(v >> 8);
                break;
            case 24:
            case 32:
                bytes[x * bitCount / 8] = std::uint8_t(v);           // blue
                bytes[x * bitCount / 8 + 1] = std::uint8_t(v >> 8);  // green
                bytes[x * bitCount / 8 + 2] = std::uint8_t(v >> 16); // red
                break;
            default:
                throw std::invalid_argument("storedRows: unsupported bit count");
            }
        }
        out.append(row);
    }
    return out;
}

RleStream& RleStream::run(std::uint8_t count, std::uint8_t value) {
    bytes_.append(char(count));
    bytes_.append(char(value));
    return *this;
}

RleStream& RleStream::literal(const std::vector<std::uint8_t>& indices) {
    if (indices.size() < 3 || indices.size() > 255)
        throw std::invalid_argument("RleStream::literal: 3 to 255 pixels");
    bytes_.append('\0');
    bytes_.append(char(indices.size()));
    QByteArray data;
    if (bits_ == 8) {
        for (std::uint8_t v : indices)
            data.append(char(v));
    } else {
        for (std::size_t i = 0; i < indices.size(); i += 2) {
            const std::uint8_t low = i + 1 < indices.size() ? indices[i + 1] & 15 : 0;
            data.append(char(((indices[i] & 15) << 4) | low));
        }
    }
    if (data.size() % 2) data.append('\0'); // literal runs end on a 16-bit boundary
    bytes_.append(data);
    return *this;
}

RleStream& RleStream::endOfLine() {
    bytes_.append("\0\0", 2);
    return *this;
}

RleStream& RleStream::delta(std::uint8_t right, std::uint8_t up) {
    bytes_.append("\0\2", 2);
    bytes_.append(char(right));
    bytes_.append(char(up));
    return *this;
}

RleStream& RleStream::endOfBitmap() {
    bytes_.append("\0\1", 2);
    return *this;
}

std::vector<Rgb> greyRamp(int count) {
    std::vector<Rgb> palette;
    for (int i = 0; i < count; ++i)
        palette.push_back({std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
    return palette;
}

// --- Whole pictures in the common encodings ---------------------------------------------------

namespace {

int bitsPerPixel(BmpEncoding encoding) {
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

// The value storedRows wants for pixel (x, y) of an uncompressed encoding.
std::uint32_t storedValue(const BmpPicture& picture, BmpEncoding encoding, int x, int y) {
    if (usesPalette(encoding))
        return picture.indices[std::size_t(y) * std::size_t(picture.width) + std::size_t(x)];
    const Rgb c = picture.colourAt(x, y);
    switch (encoding) {
    case BmpEncoding::Rgb555:
        return std::uint32_t((c.red >> 3) << 10 | (c.green >> 3) << 5 | c.blue >> 3);
    case BmpEncoding::Rgb565:
        return std::uint32_t((c.red >> 3) << 11 | (c.green >> 2) << 5 | c.blue >> 3);
    default:
        return std::uint32_t(c.red) << 16 | std::uint32_t(c.green) << 8 | c.blue;
    }
}

// RLE8: runs of equal indices as (count, index); stretches of three or more differing
// indices in absolute mode; an end-of-line after each row.
QByteArray rle8Rows(const BmpPicture& picture) {
    RleStream out(8);
    for (int y = picture.height - 1; y >= 0; --y) {
        const std::uint8_t* row = picture.indices.data() + std::size_t(y) * picture.width;
        int x = 0;
        while (x < picture.width) {
            int run = 1;
            while (x + run < picture.width && run < 255 && row[x + run] == row[x])
                ++run;
            if (run >= 2) {
                out.run(std::uint8_t(run), row[x]);
                x += run;
                continue;
            }
            int literal = 1;
            while (x + literal < picture.width && literal < 255 &&
                   (x + literal + 1 >= picture.width || row[x + literal] != row[x + literal + 1]))
                ++literal;
            if (literal < 3) {
                out.run(1, row[x]);
                ++x;
                continue;
            }
            out.literal({row + x, row + x + literal});
            x += literal;
        }
        out.endOfLine();
    }
    return out.endOfBitmap().bytes();
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
    return bitsPerPixel(encoding) <= 8;
}

bool isLossy(BmpEncoding encoding) {
    return bitsPerPixel(encoding) == 16;
}

Rgb BmpPicture::colourAt(int x, int y) const {
    const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
    return palette.empty() ? colours[i] : palette[indices[i]];
}

QByteArray writeBmp(const BmpPicture& picture, BmpEncoding encoding, bool topDown) {
    BmpFields fields;
    fields.width = picture.width;
    fields.bitCount = std::uint16_t(bitsPerPixel(encoding));
    if (usesPalette(encoding)) fields.palette = picture.palette;
    if (encoding == BmpEncoding::Rle8) {
        fields.height = picture.height;
        fields.compression = BiRle8;
        fields.pixels = rle8Rows(picture);
        return craftBmp(fields);
    }
    if (encoding == BmpEncoding::Rgb565) {
        fields.compression = BiBitfields;
        fields.masks = {0xf800, 0x07e0, 0x001f};
    }
    // storedRows writes the bottom row first; a top-down file wants the top row there.
    const int last = picture.height - 1;
    fields.height = topDown ? -picture.height : picture.height;
    fields.pixels = storedRows(picture.width, picture.height, fields.bitCount, [&](int x, int y) {
        return storedValue(picture, encoding, x, topDown ? last - y : y);
    });
    return craftBmp(fields);
}

QByteArray rle8File(int width, int height, const std::vector<Rgb>& palette,
                    const QByteArray& stream) {
    BmpFields fields;
    fields.width = width;
    fields.height = height;
    fields.compression = BiRle8;
    fields.palette = palette;
    fields.pixels = stream;
    return craftBmp(fields);
}

QByteArray bmpHeaderClaiming(std::int32_t width, std::int32_t height, std::uint16_t bitCount) {
    // The pixel bytes are there but the headers don't count them: size and offset as though
    // the file ended after its headers.
    BmpFields fields;
    fields.width = width;
    fields.height = height;
    fields.bitCount = bitCount;
    fields.pixels = QByteArray(64, char(0x5a));
    fields.fileSize = 14 + 40;
    fields.sizeImage = 0;
    return craftBmp(fields);
}

} // namespace orvik::test
