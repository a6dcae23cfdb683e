// Byte-level writer of Windows bitmap files for the robustness tests.
#include "bmp_craft.h"

#include <stdexcept>

namespace orvik::robustness {

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

} // namespace orvik::robustness
