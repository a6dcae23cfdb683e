// Loads a picture file into the grey buffer and the 24-bit display bitmap, and rewrites the
// display from the grey buffer.
#include "grey_image.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSize>
#include <algorithm>
#include <cstddef>
#include <exception>
#include <new>

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

QImage readPicture(const QString& path) {
    const QByteArray format = readerFormatFor(path);
    QFile file(path);
    openForReading(file);

    const AllocationLimitScope limit(ImageAllocationLimitMB);
    QImageReader reader(&file, format);
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
    return picture;
}

// One pass over the display rows: each pixel's grey value goes to the grey buffer and back
// into its three channels. Rows are padded to 4 bytes, so each is fetched on its own.
void fillGreyAndDisplay(QImage& display, std::uint8_t* grey) {
    const int width = display.width();
    const int height = display.height();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* pixel = display.scanLine(y);
        std::uint8_t* greyRow = grey + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x, pixel += 3) {
            const std::uint8_t value = greyValue(pixel[0], pixel[1], pixel[2]);
            greyRow[x] = value;
            pixel[0] = value;
            pixel[1] = value;
            pixel[2] = value;
        }
    }
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

void refreshDisplay(GreyImage& store) {
    if (!store.GreyData || store.Display.format() != QImage::Format_BGR888) return;
    static const SpreadImage spreadImage = chooseSpreadImage();
    // The grey buffer's size bounds the traversal; after a load the display has the same.
    spreadImage(store.GreyData.get(), store.ImageWidth, store.Display,
                std::min(store.ImageWidth, store.Display.width()),
                std::min(store.ImageHeight, store.Display.height()));
}

} // namespace orvik
