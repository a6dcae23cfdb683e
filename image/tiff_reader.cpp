// Reads every page of a TIFF file into the frame store through libtiff, with the library's
// messages collected instead of printed.
#include "tiff_reader.h"

#include "file_stamp.h"
#include "load_refusals.h"
#include "picture_reader.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <tiffio.h>
#include <vector>

namespace orvik {
namespace {

// ---- the file, its messages and its pages ----

// libtiff reads the QFile through these, so the file opened and checked once is the one read.
tmsize_t readFile(thandle_t file, void* buffer, tmsize_t size) {
    return static_cast<QFile*>(file)->read(static_cast<char*>(buffer), size);
}
tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return 0;
}
toff_t seekFile(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<QFile*>(handle);
    qint64 position = qint64(offset);
    if (whence == SEEK_CUR) position += file->pos();
    if (whence == SEEK_END) position += file->size();
    return position >= 0 && file->seek(position) ? toff_t(position) : toff_t(-1);
}
int closeNothing(thandle_t) {
    return 0;
}
toff_t fileSize(thandle_t file) {
    return toff_t(static_cast<QFile*>(file)->size());
}
int mapNothing(thandle_t, void**, toff_t*) {
    return 0;
}
void unmapNothing(thandle_t, void*, toff_t) {}

// libtiff's errors and warnings about this file, and whether one of them means pixels were
// lost. libtiff goes on after some faults and reads the page regardless: strip offsets
// missing from their tag become offset 0, so the file's header would be read as pixels, and
// byte counts it finds wrong are replaced by guesses.
struct TiffMessages {
    QStringList& notes;
    bool lostData = false;
};

// Whether a warning tells of pixels lost or guessed; the rest (unknown tags, tags out of
// order, a bad value of a tag the reader doesn't use) leave the samples as written.
bool losesData(const char* text) {
    for (const char* sign : {"StripOffsets", "TileOffsets", "StripByteCounts", "TileByteCounts",
                             "Read error", "Seek error", "Premature", "Not enough data"})
        if (std::strstr(text, sign)) return true;
    return false;
}

// Returning 1 keeps the messages from the library's process-wide handlers, which print to the
// standard error. A hostile file can make the library repeat itself, so only the first few
// are kept.
int collectMessage(TiffMessages& messages, bool error, const char* module, const char* format,
                   va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    if (error || losesData(text)) messages.lostData = true;
    if (messages.notes.size() < 20)
        messages.notes.append(QStringLiteral("%1: %2").arg(
            QString::fromUtf8(module ? module : "TIFF"), QString::fromUtf8(text)));
    return 1;
}

int collectError(TIFF*, void* messages, const char* module, const char* format, va_list args) {
    return collectMessage(*static_cast<TiffMessages*>(messages), true, module, format, args);
}

int collectWarning(TIFF*, void* messages, const char* module, const char* format, va_list args) {
    return collectMessage(*static_cast<TiffMessages*>(messages), false, module, format, args);
}

class TiffFile {
public:
    TiffFile(QFile& file, TiffMessages& messages) {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, collectError, &messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options, collectWarning, &messages);
        // The library's own buffers stay within what a whole picture may take.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t{ImageAllocationLimitMB} << 20);
        tiff_ = TIFFClientOpenExt(QFile::encodeName(file.fileName()).constData(), "rm", &file,
                                  readFile, writeNothing, seekFile, closeNothing, fileSize,
                                  mapNothing, unmapNothing, options);
        TIFFOpenOptionsFree(options);
    }
    ~TiffFile() {
        if (tiff_) TIFFClose(tiff_);
    }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;
    TIFF* get() const { return tiff_; }

private:
    TIFF* tiff_ = nullptr;
};

// The refusals of one page, counted from 1.
struct Page {
    const QString& path;
    int number;

    [[noreturn]] void refuse(const QString& reason) const {
        refuseFile(path, QStringLiteral("page %1 %2").arg(number).arg(reason));
    }
    [[noreturn]] void damaged() const {
        refuse(QStringLiteral("of the TIFF picture in it is damaged or cut short"));
    }
};

// ---- what a page holds ----

enum class Route {
    Direct,      // grey or RGB samples copied as they are
    Wide,        // 16-bit RGB, each sample rounded to 8 bits
    ColourImage, // anything else libtiff's RGBA interface turns into 8-bit colour
};

struct PageShape {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    SampleLayout layout = SampleLayout::Grey8;
    Route route = Route::Direct;
    std::uint16_t bits = 0;
    std::uint16_t samples = 0;   // per pixel in the file
    bool separatePlanes = false; // each sample in planes of its own
    bool minIsWhite = false;     // grey that counts from white
    friend bool operator==(const PageShape&, const PageShape&) = default;
};

QString sampleKind(std::uint16_t sampleFormat) {
    if (sampleFormat == SAMPLEFORMAT_IEEEFP) return QStringLiteral(" floating-point");
    if (sampleFormat == SAMPLEFORMAT_INT) return QStringLiteral(" signed");
    if (sampleFormat == SAMPLEFORMAT_COMPLEXINT || sampleFormat == SAMPLEFORMAT_COMPLEXIEEEFP)
        return QStringLiteral(" complex");
    return {};
}

void checkSize(const Page& page, std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0)
        page.refuse(
            QStringLiteral("declares %1 x %2 pixels, an empty picture").arg(width).arg(height));
    // Both sides fit in 32 bits, so their product can't overflow 64.
    const std::uint64_t limitPixels = (std::uint64_t{ImageAllocationLimitMB} << 20) / 4;
    if (std::uint64_t(width) * height > limitPixels)
        page.refuse(QStringLiteral("is too large, %1 x %2 pixels where at most %3 pixels (%4 MB "
                                   "at 4 bytes each) can be read")
                        .arg(width)
                        .arg(height)
                        .arg(limitPixels)
                        .arg(ImageAllocationLimitMB));
    if (width > std::uint32_t(MaxImageSide) || height > std::uint32_t(MaxImageSide))
        page.refuse(QStringLiteral("is too large, %1 x %2 pixels where at most %3 in each "
                                   "direction can be read")
                        .arg(width)
                        .arg(height)
                        .arg(MaxImageSide));
}

// Colour with an alpha sample goes the way the toolkit's reader takes it (premultiplied, then
// back), so that such a picture keeps the grey it had before TIFF files came here.
bool hasAlpha(TIFF* tiff) {
    std::uint16_t count = 0;
    const std::uint16_t* kinds = nullptr;
    return TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0 && kinds &&
           (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA);
}

PageShape pageShape(TIFF* tiff, const Page& page) {
    PageShape shape;
    std::uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG, sampleFormat = SAMPLEFORMAT_UINT;
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &shape.width) ||
        !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &shape.height) ||
        !TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric))
        page.damaged();
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &shape.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &shape.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    checkSize(page, shape.width, shape.height);
    shape.separatePlanes = planar == PLANARCONFIG_SEPARATE;

    const bool whole = sampleFormat == SAMPLEFORMAT_UINT || sampleFormat == SAMPLEFORMAT_VOID;
    const bool grey =
        photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    char reason[1024] = {};
    if (whole && grey && (shape.bits == 8 || shape.bits == 16) && shape.samples >= 1) {
        shape.layout = shape.bits == 8 ? SampleLayout::Grey8 : SampleLayout::Grey16;
        shape.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
    } else if (whole && photometric == PHOTOMETRIC_RGB && shape.bits == 16 && shape.samples >= 3) {
        shape.layout = SampleLayout::Rgb8;
        shape.route = Route::Wide;
    } else if (whole && photometric == PHOTOMETRIC_RGB && shape.bits == 8 && shape.samples >= 3 &&
               !hasAlpha(tiff)) {
        shape.layout = SampleLayout::Rgb8;
    } else if (whole && shape.bits <= 16 && TIFFRGBAImageOK(tiff, reason)) {
        shape.layout = SampleLayout::Rgb8;
        shape.route = Route::ColourImage;
    } else {
        page.refuse(QStringLiteral("holds %1-bit%2 samples, where only 8- and 16-bit grey and "
                                   "8-bit colour can be read")
                        .arg(shape.bits)
                        .arg(sampleKind(sampleFormat)));
    }
    return shape;
}

// ---- reading a page's samples ----

// Copies `rows` × `columns` pixels of a decoded strip or tile (rows `blockStride` bytes apart,
// `blockSamples` samples a pixel) into the frame at `frame` (rows `frameStride` samples apart,
// `channels` a pixel): the block's first `take` samples go to channels `first` on.
template <typename Sample>
void copyBlock(const std::uint8_t* block, std::size_t blockStride, int blockSamples,
               std::uint32_t rows, std::uint32_t columns, Sample* frame, std::size_t frameStride,
               int channels, int first, int take) {
    for (std::uint32_t row = 0; row < rows; ++row) {
        const std::uint8_t* source = block + row * blockStride;
        Sample* target = frame + row * frameStride;
        if (blockSamples == channels && take == channels) {
            std::memcpy(target, source, std::size_t(columns) * channels * sizeof(Sample));
            continue;
        }
        for (std::uint32_t column = 0; column < columns; ++column)
            std::memcpy(target + std::size_t(column) * channels + first,
                        source + std::size_t(column) * blockSamples * sizeof(Sample),
                        std::size_t(take) * sizeof(Sample));
    }
}

template <typename Sample>
void readDirect(TIFF* tiff, const PageShape& shape, const Page& page, Sample* frame) {
    const int channels = shape.layout == SampleLayout::Rgb8 ? 3 : 1;
    // Interleaved samples come as one plane; separate ones as a plane per channel read.
    const int planes = shape.separatePlanes ? channels : 1;
    const int blockSamples = shape.separatePlanes ? 1 : shape.samples;
    const int take = shape.separatePlanes ? 1 : channels;
    const std::size_t frameStride = std::size_t(shape.width) * channels;
    const std::uint64_t pixelBytes = std::uint64_t(blockSamples) * sizeof(Sample);
    const std::uint64_t limit = std::uint64_t{ImageAllocationLimitMB} << 20;

    if (TIFFIsTiled(tiff)) {
        std::uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
        const std::uint64_t rowBytes = TIFFTileRowSize64(tiff);
        const std::uint64_t tileBytes = TIFFTileSize64(tiff);
        if (tileWidth == 0 || tileHeight == 0 || rowBytes < tileWidth * pixelBytes ||
            tileBytes < rowBytes * tileHeight || tileBytes > limit)
            page.damaged();
        std::vector<std::uint8_t> tile(tileBytes);
        for (int plane = 0; plane < planes; ++plane)
            for (std::uint32_t y = 0; y < shape.height; y += tileHeight)
                for (std::uint32_t x = 0; x < shape.width; x += tileWidth) {
                    const std::uint32_t index =
                        TIFFComputeTile(tiff, x, y, 0, std::uint16_t(plane));
                    if (TIFFReadEncodedTile(tiff, index, tile.data(), tmsize_t(tileBytes)) !=
                        tmsize_t(tileBytes))
                        page.damaged();
                    copyBlock(tile.data(), rowBytes, blockSamples,
                              std::min(tileHeight, shape.height - y),
                              std::min(tileWidth, shape.width - x),
                              frame + y * frameStride + std::size_t(x) * channels, frameStride,
                              channels, plane, take);
                }
        return;
    }

    std::uint32_t rowsPerStrip = shape.height;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp(rowsPerStrip, std::uint32_t{1}, shape.height);
    const std::uint64_t rowBytes = TIFFScanlineSize64(tiff);
    const std::uint64_t stripBytes = rowBytes * rowsPerStrip;
    if (rowBytes < shape.width * pixelBytes || stripBytes > limit) page.damaged();
    // Strips whose rows are the frame's rows, byte for byte, are decoded in place.
    const bool inPlace =
        blockSamples == channels && take == channels && rowBytes == frameStride * sizeof(Sample);
    std::vector<std::uint8_t> strip(inPlace ? 0 : stripBytes);
    for (int plane = 0; plane < planes; ++plane)
        for (std::uint32_t y = 0; y < shape.height; y += rowsPerStrip) {
            const std::uint32_t rows = std::min(rowsPerStrip, shape.height - y);
            const tmsize_t wanted = tmsize_t(rows * rowBytes);
            const std::uint32_t index = TIFFComputeStrip(tiff, y, std::uint16_t(plane));
            if (inPlace) {
                // A decoder may report a whole strip and leave its end unwritten (a deflated
                // strip that holds more than the strip), and the frame starts uninitialised.
                std::memset(frame + y * frameStride, 0, std::size_t(wanted));
                if (TIFFReadEncodedStrip(tiff, index, frame + y * frameStride, wanted) != wanted)
                    page.damaged();
                continue;
            }
            if (TIFFReadEncodedStrip(tiff, index, strip.data(), wanted) != wanted) page.damaged();
            copyBlock(strip.data(), rowBytes, blockSamples, rows, shape.width,
                      frame + y * frameStride, frameStride, channels, plane, take);
        }
}

void readColourImage(TIFF* tiff, const PageShape& shape, const Page& page, std::uint8_t* frame) {
    const int width = int(shape.width), height = int(shape.height);
    QImage premultiplied(width, height, QImage::Format_ARGB32_Premultiplied);
    if (premultiplied.isNull()) refuse(QString::fromLatin1(OutOfMemoryText));
    static_assert(sizeof(QRgb) == sizeof(std::uint32_t));
    auto* abgr = reinterpret_cast<std::uint32_t*>(premultiplied.bits());
    if (!TIFFReadRGBAImageOriented(tiff, shape.width, shape.height, abgr, ORIENTATION_TOPLEFT, 1))
        page.damaged();
    for (std::size_t i = 0, n = std::size_t(width) * height; i < n; ++i)
        abgr[i] = qRgba(int(TIFFGetR(abgr[i])), int(TIFFGetG(abgr[i])), int(TIFFGetB(abgr[i])),
                        int(TIFFGetA(abgr[i])));
    const QImage rgb = premultiplied.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) refuse(QString::fromLatin1(OutOfMemoryText));
    for (int y = 0; y < height; ++y)
        std::memcpy(frame + std::size_t(y) * width * 3, rgb.constScanLine(y),
                    std::size_t(width) * 3);
}

// Decodes the page into `samples`, all of them, in its shape's layout.
void readPage(TIFF* tiff, const PageShape& shape, const Page& page, void* samples) {
    const std::size_t count =
        std::size_t(shape.width) * shape.height * (shape.layout == SampleLayout::Rgb8 ? 3 : 1);
    if (shape.layout == SampleLayout::Grey16) {
        auto* frame = static_cast<std::uint16_t*>(samples);
        readDirect(tiff, shape, page, frame);
        if (shape.minIsWhite)
            std::transform(frame, frame + count, frame,
                           [](std::uint16_t value) { return std::uint16_t(65535 - value); });
        return;
    }
    auto* frame = static_cast<std::uint8_t*>(samples);
    if (shape.route == Route::ColourImage) return readColourImage(tiff, shape, page, frame);
    if (shape.route == Route::Wide) {
        std::vector<std::uint16_t> wide(count);
        readDirect(tiff, shape, page, wide.data());
        // The nearest 8-bit value: v × 255 / 65535, rounded.
        std::transform(wide.begin(), wide.end(), frame, [](std::uint16_t value) {
            return std::uint8_t((std::uint32_t(value) * 255 + 32767) / 65535);
        });
        return;
    }
    readDirect(tiff, shape, page, frame);
    if (shape.minIsWhite)
        std::transform(frame, frame + count, frame,
                       [](std::uint8_t value) { return std::uint8_t(255 - value); });
}

// The pages of one file as frames, each decoded again from its directory's place in the file
// with a libtiff handle of its own, so that threads can decode pages at once. Pages whose
// directories share their strips or tiles are each read through their own directory.
class TiffPages : public FrameDecoder {
public:
    TiffPages(QString path, FileStamp stamp) : path_(std::move(path)), stamp_(stamp) {}

    // The page numbered `number` (from 1), its directory at `directory`; returns its index.
    int add(int number, toff_t directory, const PageShape& shape) {
        places_.push_back({number, directory, shape});
        return int(places_.size()) - 1;
    }

    void decode(int index, void* samples) const override {
        const Place& place = places_[std::size_t(index)];
        readGuarded(path_, [&] {
            checkUnchanged(path_, stamp_);
            QFile file(path_);
            openForReading(file);
            QStringList notes;
            TiffMessages messages{notes};
            const TiffFile tiff(file, messages);
            const Page page{path_, place.number};
            if (!tiff.get()) refuseChanged(path_);
            if (TIFFCurrentDirOffset(tiff.get()) != place.directory &&
                !TIFFSetSubDirectory(tiff.get(), place.directory))
                page.damaged();
            if (pageShape(tiff.get(), page) != place.shape) refuseChanged(path_);
            readPage(tiff.get(), place.shape, page, samples);
            if (messages.lostData) page.damaged();
        });
    }

private:
    struct Place {
        int number;
        toff_t directory;
        PageShape shape;
    };
    QString path_;
    FileStamp stamp_;
    std::vector<Place> places_;
};

Calibration pageCalibration(TIFF* tiff) {
    float xResolution = 0;
    std::uint16_t unit = RESUNIT_INCH;
    const char* description = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xResolution)) xResolution = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description)) description = nullptr;
    return tiffCalibration(xResolution, unit, QByteArray(description ? description : ""));
}

bool startsLikeTiff(QFile& file) {
    if (!file.seek(0)) return false;
    const QByteArray head = file.peek(4);
    return head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4) ||
           head == QByteArray("II+\0", 4) || head == QByteArray("MM\0+", 4);
}

bool isReducedImage(TIFF* tiff) {
    std::uint32_t subfileType = 0;
    return TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &subfileType) &&
           (subfileType & FILETYPE_REDUCEDIMAGE);
}

} // namespace

PictureStack readTiffStack(const QString& path) {
    QFile file(path);
    openForReading(file);
    const PictureFile source{path, QFileInfo(path).suffix().toLower().toUtf8()};
    const auto pages = std::make_shared<TiffPages>(path, stampOf(path));
    PictureStack stack;
    TiffMessages messages{stack.readerNotes};
    const TiffFile tiff(file, messages);
    if (!tiff.get()) {
        if (startsLikeTiff(file)) Page{path, 1}.damaged();
        refuseContent(source);
    }

    PageShape first;
    int frames = 0;
    for (int number = 1;; ++number) {
        const Page page{path, number};
        if (!isReducedImage(tiff.get())) {
            const PageShape shape = pageShape(tiff.get(), page);
            if (frames == 0) {
                first = shape;
                stack.frames =
                    FrameStack(std::int32_t(shape.width), std::int32_t(shape.height), shape.layout);
                stack.calibration = pageCalibration(tiff.get());
            } else if (shape.width != first.width || shape.height != first.height) {
                page.refuse(QStringLiteral("is %1 x %2 pixels, not %3 x %4 as the first page")
                                .arg(shape.width)
                                .arg(shape.height)
                                .arg(first.width)
                                .arg(first.height));
            } else if (shape.layout != first.layout) {
                page.refuse(QStringLiteral("holds %1, not %2 as the first page")
                                .arg(layoutName(shape.layout), layoutName(first.layout)));
            }
            const FrameOrigin origin{pages,
                                     pages->add(number, TIFFCurrentDirOffset(tiff.get()), shape)};
            const auto read = [&](void* samples) {
                readPage(tiff.get(), shape, page, samples);
                // Faults found while reading this page's directory or its samples.
                if (messages.lostData) page.damaged();
            };
            if (shape.layout == SampleLayout::Grey16)
                stack.frames.addFrame16(read, origin);
            else
                stack.frames.addFrame8(read, origin);
            ++frames;
        }
        if (TIFFLastDirectory(tiff.get())) break;
        if (!TIFFReadDirectory(tiff.get())) Page{path, number + 1}.damaged();
    }
    if (frames == 0) Page{path, 1}.damaged();
    stack.range = autoRange(stack.frames);
    return stack;
}

} // namespace orvik
