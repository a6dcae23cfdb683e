// Guards the toolkit's bitmap decoder: header checks before it decodes, run-length streams
// clipped to the picture, and palettes completed with black.
//
// The reader's run-length decoder clamps a run past the end of the first row but lets runs on
// the other rows spill into the next row, clamps a jump beyond the image onto the last pixel
// and draws on from there, and it reads pixel data from any offset, even beyond the end of
// the file (then every pixel is left undefined). So the structure is checked here before it
// decodes anything.
#include "bmp_guard.h"

#include "load_refusals.h"

#include <QList>
#include <QSize>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <vector>

namespace orvik {
namespace {

constexpr qint64 FileHeaderSize = 14;

std::uint32_t u32(const QByteArray& bytes, qsizetype at) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + at;
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::uint16_t u16(const QByteArray& bytes, qsizetype at) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + at;
    return std::uint16_t(b[0] | b[1] << 8);
}

// Rewrites a run-length stream so that every pixel it draws lies in the picture: runs and
// literal pixels beyond the end of their row are dropped, a jump past the end of the row
// stops at the row's end, a jump above the top row ends the picture, and a stream that
// ends early gets its end marker. A well-formed stream comes out unchanged.
class RunLengthClipper {
public:
    RunLengthClipper(QFile& file, int bitsPerPixel, std::int64_t width, std::int64_t height)
        : file_(file), bits_(bitsPerPixel), width_(width), height_(height) {}

    QByteArray clipped() {
        while (y_ < height_) {
            std::uint8_t count = 0, value = 0;
            if (!next(count) || !next(value)) break;
            if (count > 0) {
                run(count, value);
            } else if (value == 0) { // end of line
                put({0, 0});
                x_ = 0;
                ++y_;
            } else if (value == 1) { // end of picture
                break;
            } else if (value == 2) {
                if (!jump()) break;
            } else if (!literal(value)) {
                break;
            }
        }
        put({0, 1});
        return out_;
    }

private:
    bool next(std::uint8_t& byte) {
        char c = 0;
        if (!file_.getChar(&c)) return false;
        byte = std::uint8_t(c);
        return true;
    }

    void put(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes)
            out_.append(char(b));
    }

    std::int64_t room() const { return width_ - x_; }

    void run(std::uint8_t count, std::uint8_t value) {
        const auto kept = std::uint8_t(std::min<std::int64_t>(count, room()));
        if (kept > 0) put({kept, value});
        x_ += kept;
    }

    bool jump() {
        std::uint8_t right = 0, up = 0;
        if (!next(right) || !next(up)) return false;
        if (y_ + up >= height_) return false; // above the top row: nothing more to draw
        const auto kept = std::uint8_t(std::min<std::int64_t>(right, room()));
        if (kept > 0 || up > 0) put({0, 2, kept, up});
        x_ += kept;
        y_ += up;
        return true;
    }

    // `count` literal pixels, stored in whole bytes padded to an even length.
    bool literal(std::uint8_t count) {
        const int bytes = bits_ == 8 ? count : (count + 1) / 2;
        std::vector<std::uint8_t> pixels;
        for (int i = 0; i < bytes + bytes % 2; ++i) {
            std::uint8_t b = 0;
            if (!next(b)) return false;
            if (i >= bytes) continue;
            if (bits_ == 8) {
                pixels.push_back(b);
            } else {
                pixels.push_back(b >> 4);
                pixels.push_back(b & 15);
            }
        }
        pixels.resize(std::size_t(std::min<std::int64_t>(count, room())));
        x_ += std::int64_t(pixels.size());
        if (pixels.size() < 3) { // a literal holds at least 3 pixels; fewer become runs of one
            for (std::uint8_t p : pixels)
                put({1, std::uint8_t(bits_ == 8 ? p : p << 4)});
            return true;
        }
        put({0, std::uint8_t(pixels.size())});
        QByteArray data;
        for (std::size_t i = 0; i < pixels.size(); i += bits_ == 8 ? 1 : 2) {
            if (bits_ == 8)
                data.append(char(pixels[i]));
            else
                data.append(char(pixels[i] << 4 | (i + 1 < pixels.size() ? pixels[i + 1] : 0)));
        }
        if (data.size() % 2) data.append('\0');
        out_.append(data);
        return true;
    }

    QFile& file_;
    int bits_;
    std::int64_t width_, height_;
    std::int64_t x_ = 0, y_ = 0;
    QByteArray out_;
};

} // namespace

std::optional<QByteArray> checkedBitmap(QFile& file) {
    const qint64 fileSize = file.size();
    const QByteArray head = file.peek(FileHeaderSize + 40);
    if (head.size() < FileHeaderSize + 16 || !head.startsWith("BM")) return std::nullopt;
    const qint64 dataOffset = u32(head, 10);
    if (dataOffset >= fileSize) refuseAsNotValid();

    const std::uint32_t headerSize = u32(head, 14);
    if (headerSize < 40 || head.size() < FileHeaderSize + 40) return std::nullopt; // no RLE
    const std::int64_t width = std::int32_t(u32(head, 18));
    const std::int64_t height = std::int32_t(u32(head, 22));
    const int bits = u16(head, 28);
    const std::uint32_t compression = u32(head, 30);
    const bool runLength = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    if (!runLength || width <= 0 || height == 0) return std::nullopt;
    checkPictureSize(QSize(int(std::min<std::int64_t>(width, INT32_MAX)),
                           int(std::min<std::int64_t>(std::abs(height), INT32_MAX))),
                     PictureFile{file.fileName(), "bmp"});

    // The stream follows the palette, or starts at the data offset when that lies further on.
    const std::uint32_t colorsUsed = u32(head, 46);
    const qint64 colours = colorsUsed ? qint64(colorsUsed) : qint64(1) << bits;
    if (colours > 256) return std::nullopt;
    const qint64 streamStart =
        std::max(dataOffset, FileHeaderSize + qint64(headerSize) + 4 * colours);
    if (streamStart >= fileSize) refuseAsNotValid();

    QByteArray bytes = file.read(streamStart);
    if (bytes.size() != streamStart) refuseAsNotValid();
    bytes.append(RunLengthClipper(file, bits, width, std::abs(height)).clipped());
    return bytes;
}

void completePalette(QImage& picture) {
    if (picture.format() != QImage::Format_Indexed8 && picture.format() != QImage::Format_Mono &&
        picture.format() != QImage::Format_MonoLSB)
        return;
    const int entries = 1 << picture.depth();
    if (picture.colorCount() >= entries) return;
    QList<QRgb> palette = picture.colorTable();
    palette.resize(entries, qRgb(0, 0, 0));
    picture.setColorTable(palette);
}

} // namespace orvik
