// Loads a picture file into the grey buffer and the 24-bit display bitmap, and rewrites the
// display from the grey buffer.
#include "grey_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSize>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <initializer_list>
#include <new>
#include <optional>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVIK_HAVE_SSSE3_PATH 1
#endif

namespace orvik {
namespace {

const char* const NotValidText = "Bitmap image is not valid";
const char* const OutOfMemoryText = "Image too large for the available memory";

[[noreturn]] void fail(const QString& text) {
    throw ImageLoadError(text.toStdString());
}

// The reader's allocation limit is process-wide; a load raises it for its own duration only,
// so pictures read elsewhere (icons, the intro screen) keep the toolkit's default.
class AllocationLimitScope {
public:
    explicit AllocationLimitScope(int megabytes) : previous_(QImageReader::allocationLimit()) {
        QImageReader::setAllocationLimit(megabytes);
    }
    ~AllocationLimitScope() { QImageReader::setAllocationLimit(previous_); }
    AllocationLimitScope(const AllocationLimitScope&) = delete;
    AllocationLimitScope& operator=(const AllocationLimitScope&) = delete;

private:
    int previous_;
};

// The reader format named by the file's extension, compared without regard to case.
QByteArray readerFormatFor(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    const QByteArray format = extension.toLower().toUtf8();
    if (format.isEmpty() || !QImageReader::supportedImageFormats().contains(format))
        fail(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
    return format;
}

void openForReading(QFile& file) {
    // Only regular files: opening a FIFO would block the window until someone writes to it.
    const QFileInfo info(file.fileName());
    if ((info.exists() && !info.isFile()) || !file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot open file %1").arg(file.fileName()));
}

// Refuses sizes the store can't hold. The memory test comes first: a header claiming a
// gigantic picture is corrupt rather than merely large, and is refused as such.
void checkPictureSize(QSize size) {
    const qint64 width = size.width();
    const qint64 height = size.height();
    // Both sides fit in 31 bits, so their product can't overflow; four times it could.
    const qint64 limitPixels = (qint64{ImageAllocationLimitMB} << 20) / 4;
    if (width * height > limitPixels) fail(QString::fromLatin1(NotValidText));
    if (width > MaxImageSide || height > MaxImageSide)
        fail(QStringLiteral("Image too large: %1 x %2 pixels (at most %3 in each direction)")
                 .arg(width)
                 .arg(height)
                 .arg(MaxImageSide));
}

// Bitmap structure the reader leaves to luck, checked here before it decodes anything.
// Its run-length decoder clamps a run past the end of the first row but lets runs on the
// other rows spill into the next row, clamps a jump beyond the image onto the last pixel
// and draws on from there, and it reads pixel data from any offset, even beyond the end of
// the file (then every pixel is left undefined).
namespace bitmap {

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

// Checks a bitmap's headers: pixel data that would start at or beyond the end of the file is
// refused. A run-length picture comes back as the file's bytes with its stream clipped to
// the picture; any other picture as nothing, to be read from the file as it is. Headers the
// reader itself refuses are left to it.
std::optional<QByteArray> checkedBitmap(QFile& file) {
    const qint64 fileSize = file.size();
    const QByteArray head = file.peek(FileHeaderSize + 40);
    if (head.size() < FileHeaderSize + 16 || !head.startsWith("BM")) return std::nullopt;
    const qint64 dataOffset = u32(head, 10);
    if (dataOffset >= fileSize) fail(QString::fromLatin1(NotValidText));

    const std::uint32_t headerSize = u32(head, 14);
    if (headerSize < 40 || head.size() < FileHeaderSize + 40) return std::nullopt; // no RLE
    const std::int64_t width = std::int32_t(u32(head, 18));
    const std::int64_t height = std::int32_t(u32(head, 22));
    const int bits = u16(head, 28);
    const std::uint32_t compression = u32(head, 30);
    const bool runLength = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    if (!runLength || width <= 0 || height == 0) return std::nullopt;
    checkPictureSize(QSize(int(std::min<std::int64_t>(width, INT32_MAX)),
                           int(std::min<std::int64_t>(std::abs(height), INT32_MAX))));

    // The stream follows the palette, or starts at the data offset when that lies further on.
    const std::uint32_t colorsUsed = u32(head, 46);
    const qint64 colours = colorsUsed ? qint64(colorsUsed) : qint64(1) << bits;
    if (colours > 256) return std::nullopt;
    const qint64 streamStart =
        std::max(dataOffset, FileHeaderSize + qint64(headerSize) + 4 * colours);
    if (streamStart >= fileSize) fail(QString::fromLatin1(NotValidText));

    QByteArray bytes = file.read(streamStart);
    if (bytes.size() != streamStart) fail(QString::fromLatin1(NotValidText));
    bytes.append(RunLengthClipper(file, bits, width, std::abs(height)).clipped());
    return bytes;
}

} // namespace bitmap

// A pixel index beyond the palette is black, whatever the depth; the toolkit's conversions
// would make it black at 8 bits but white at 1 bit.
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

QImage readPicture(const QString& path) {
    const QByteArray format = readerFormatFor(path);
    QFile file(path);
    openForReading(file);

    const AllocationLimitScope limit(ImageAllocationLimitMB);
    // A run-length bitmap is decoded from its clipped copy, every other picture from the file.
    const std::optional<QByteArray> clipped =
        format == "bmp" ? bitmap::checkedBitmap(file) : std::nullopt;
    QBuffer clippedBuffer;
    if (clipped) {
        clippedBuffer.setData(*clipped);
        clippedBuffer.open(QIODevice::ReadOnly);
    }
    QImageReader reader(clipped ? static_cast<QIODevice*>(&clippedBuffer) : &file, format);
    // The extension alone picks the decoder; content that doesn't match it is not valid.
    reader.setAutoDetectImageFormat(false);
    const QSize claimed = reader.size();
    if (claimed.isValid()) checkPictureSize(claimed);

    // Pixels that a file leaves undefined (skipped by RLE deltas, missing from a short file)
    // are never written by the decoder. It decodes into a picture of the right size and
    // format that it is given, so hand it a zeroed one: those pixels become colour 0 instead
    // of whatever the memory held before. At most 4 bytes a pixel, as the check allowed.
    QImage picture;
    const QImage::Format decodedFormat = reader.imageFormat();
    if (!claimed.isEmpty() && decodedFormat != QImage::Format_Invalid &&
        QImage::toPixelFormat(decodedFormat).bitsPerPixel() <= 32) {
        picture = QImage(claimed, decodedFormat);
        if (picture.isNull()) fail(QString::fromLatin1(OutOfMemoryText));
        picture.fill(0);
    }
    if (!reader.read(&picture) || picture.isNull()) fail(QString::fromLatin1(NotValidText));
    checkPictureSize(picture.size());
    completePalette(picture);
    return picture;
}

GreyImage buildGreyImage(const QString& path) {
    QImage display = readPicture(path).convertToFormat(QImage::Format_BGR888);
    // The decoded picture is gone by now; a null result here means the copy found no memory.
    if (display.isNull()) fail(QString::fromLatin1(OutOfMemoryText));

    const std::size_t pixelCount = std::size_t(display.width()) * std::size_t(display.height());
    auto grey = std::make_unique_for_overwrite<std::uint8_t[]>(pixelCount);
    fillGreyAndDisplay(display, grey.get());

    GreyImage store;
    store.GreyData = std::move(grey);
    store.ImageWidth = display.width();
    store.ImageHeight = display.height();
    store.Display = std::move(display);
    return store;
}

// Writes the grey buffer's pixels into the display's three channels, row by row; width and
// height are those of the part both have.
using SpreadImage = void (*)(const std::uint8_t* grey, std::int32_t greyWidth, QImage& display,
                             int width, int height);

void spreadImagePlain(const std::uint8_t* grey, std::int32_t greyWidth, QImage& display, int width,
                      int height) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* greyRow = grey + std::size_t(y) * std::size_t(greyWidth);
        std::uint8_t* pixel = display.scanLine(y);
        for (int x = 0; x < width; ++x, pixel += 3) {
            pixel[0] = greyRow[x];
            pixel[1] = greyRow[x];
            pixel[2] = greyRow[x];
        }
    }
}

#ifdef ORVIK_HAVE_SSSE3_PATH
// Sixteen grey bytes become 48 display bytes through three byte shuffles.
__attribute__((target("ssse3"))) inline void spreadBlockSsse3(const std::uint8_t* grey,
                                                              std::uint8_t* pixel) {
    const __m128i first = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i second = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i third =
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixel), _mm_shuffle_epi8(values, first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixel + 16), _mm_shuffle_epi8(values, second));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixel + 32), _mm_shuffle_epi8(values, third));
}

// A row's last block overlaps the one before it rather than falling back to single pixels.
__attribute__((target("ssse3"))) void spreadImageSsse3(const std::uint8_t* grey,
                                                       std::int32_t greyWidth, QImage& display,
                                                       int width, int height) {
    if (width < 16) {
        spreadImagePlain(grey, greyWidth, display, width, height);
        return;
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* greyRow = grey + std::size_t(y) * std::size_t(greyWidth);
        std::uint8_t* pixel = display.scanLine(y);
        for (int x = 0; x + 16 <= width; x += 16)
            spreadBlockSsse3(greyRow + x, pixel + 3 * x);
        if (width % 16 != 0) spreadBlockSsse3(greyRow + width - 16, pixel + 3 * (width - 16));
    }
}
#endif

SpreadImage chooseSpreadImage() {
#ifdef ORVIK_HAVE_SSSE3_PATH
    if (__builtin_cpu_supports("ssse3")) return spreadImageSsse3;
#endif
    return spreadImagePlain;
}

// The grey pass: each display pixel's grey value goes to the grey buffer and back into its
// three channels. Rows are padded to 4 bytes, so each is fetched on its own.
using GreyPass = void (*)(QImage& display, std::uint8_t* grey);

void greyPixels(std::uint8_t* pixel, std::uint8_t* greyRow, int count) {
    for (int x = 0; x < count; ++x, pixel += 3) {
        const std::uint8_t value = greyValue(pixel[0], pixel[1], pixel[2]);
        greyRow[x] = value;
        pixel[0] = value;
        pixel[1] = value;
        pixel[2] = value;
    }
}

void greyPassPlain(QImage& display, std::uint8_t* grey) {
    const int width = display.width();
    const int height = display.height();
    for (int y = 0; y < height; ++y)
        greyPixels(display.scanLine(y), grey + std::size_t(y) * std::size_t(width), width);
}

#ifdef ORVIK_HAVE_SSSE3_PATH
// The weighted sums of four pixels (12 bytes of `bytes` from byte `at`, which is 0 or 4) as
// 32-bit lanes: blue and green paired in 16-bit lanes against 114 and 587, red alone against
// 299. The largest sum, 255 000, fits easily.
__attribute__((target("sse4.1"))) inline __m128i weightedSums4(__m128i bytes, int at) {
    const __m128i blueGreen0 =
        _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
    const __m128i red0 = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m128i blueGreen4 =
        _mm_setr_epi8(4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 13, -1, 14, -1);
    const __m128i red4 =
        _mm_setr_epi8(6, -1, -1, -1, 9, -1, -1, -1, 12, -1, -1, -1, 15, -1, -1, -1);
    const __m128i blueGreenWeights = _mm_setr_epi16(114, 587, 114, 587, 114, 587, 114, 587);
    const __m128i redWeights = _mm_setr_epi16(299, 0, 299, 0, 299, 0, 299, 0);
    const __m128i blueGreen = _mm_shuffle_epi8(bytes, at == 0 ? blueGreen0 : blueGreen4);
    const __m128i red = _mm_shuffle_epi8(bytes, at == 0 ? red0 : red4);
    return _mm_add_epi32(_mm_madd_epi16(blueGreen, blueGreenWeights),
                         _mm_madd_epi16(red, redWeights));
}

// Sixteen pixels (48 bytes) to their grey values, stored at `grey` and spread back into the
// pixels. All 48 bytes are read before any is written.
__attribute__((target("sse4.1"))) inline void greyBlockSse41(std::uint8_t* pixel,
                                                             std::uint8_t* grey) {
    // Four loads of four pixels each; the last starts 4 bytes early to stay within the block.
    const __m128i s0 = weightedSums4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel)), 0);
    const __m128i s1 =
        weightedSums4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 12)), 0);
    const __m128i s2 =
        weightedSums4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 24)), 0);
    const __m128i s3 =
        weightedSums4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 32)), 4);
    // s / 1000 == ((s >> 3) * 33555) >> 22 for every s in 0..255000; s >> 3 fits in 16 bits,
    // so the product's high half (>> 16) is taken and shifted on by 6.
    const __m128i eighths01 = _mm_packus_epi32(_mm_srli_epi32(s0, 3), _mm_srli_epi32(s1, 3));
    const __m128i eighths23 = _mm_packus_epi32(_mm_srli_epi32(s2, 3), _mm_srli_epi32(s3, 3));
    const __m128i factor = _mm_set1_epi16(static_cast<short>(33555));
    const __m128i grey01 = _mm_srli_epi16(_mm_mulhi_epu16(eighths01, factor), 6);
    const __m128i grey23 = _mm_srli_epi16(_mm_mulhi_epu16(eighths23, factor), 6);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(grey), _mm_packus_epi16(grey01, grey23));
    spreadBlockSsse3(grey, pixel);
}

// A row's last block overlaps the one before it. Its overlapping pixels are grey already,
// and a grey pixel's grey value is its own (equal channels keep their value), so they come
// out as they were.
__attribute__((target("sse4.1"))) void greyPassSse41(QImage& display, std::uint8_t* grey) {
    const int width = display.width();
    const int height = display.height();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* pixel = display.scanLine(y);
        std::uint8_t* greyRow = grey + std::size_t(y) * std::size_t(width);
        if (width < 16) {
            greyPixels(pixel, greyRow, width);
            continue;
        }
        for (int x = 0; x + 16 <= width; x += 16)
            greyBlockSse41(pixel + 3 * x, greyRow + x);
        if (width % 16 != 0) greyBlockSse41(pixel + 3 * (width - 16), greyRow + width - 16);
    }
}
#endif

GreyPass chooseGreyPass() {
#ifdef ORVIK_HAVE_SSSE3_PATH
    if (__builtin_cpu_supports("sse4.1")) return greyPassSse41;
#endif
    return greyPassPlain;
}

} // namespace

GreyImage loadGreyImage(const QString& path) {
    // Decoders of hostile files may give up by throwing; the caller sees one of our texts.
    try {
        return buildGreyImage(path);
    } catch (const ImageLoadError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw ImageLoadError(OutOfMemoryText);
    } catch (const std::exception&) {
        throw ImageLoadError(NotValidText);
    }
}

void fillGreyAndDisplay(QImage& display, std::uint8_t* grey) {
    static const GreyPass greyPass = chooseGreyPass();
    greyPass(display, grey);
}

void refreshDisplay(GreyImage& store) {
    if (!store.GreyData || store.Display.format() != QImage::Format_BGR888) return;
    static const SpreadImage spreadImage = chooseSpreadImage();
    // The grey buffer's size bounds the traversal; after a load the display has the same.
    spreadImage(store.GreyData.get(), store.ImageWidth, store.Display,
                std::min(store.ImageWidth, store.Display.width()),
                std::min(store.ImageHeight, store.Display.height()));
}

} // namespace orvik
