// Opens picture files and reads them through the toolkit's reader, within the loader's limits.
#include "picture_reader.h"

#include "bmp_guard.h"
#include "load_refusals.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QSize>
#include <mutex>
#include <optional>

namespace orvik {
namespace {

// The reader's allocation limit is process-wide; loads raise it for their own duration only,
// so pictures read elsewhere (icons, the intro screen) keep the toolkit's default. Frames of a
// folder are decoded on several threads at once: the first load in raises the limit and the
// last one out puts the default back, so that none of them writes it while another reads.
class AllocationLimitScope {
public:
    explicit AllocationLimitScope(int megabytes) {
        const std::lock_guard lock(mutex());
        if (inside()++ == 0) {
            previous() = QImageReader::allocationLimit();
            QImageReader::setAllocationLimit(megabytes);
        }
    }
    ~AllocationLimitScope() {
        const std::lock_guard lock(mutex());
        if (--inside() == 0) QImageReader::setAllocationLimit(previous());
    }
    AllocationLimitScope(const AllocationLimitScope&) = delete;
    AllocationLimitScope& operator=(const AllocationLimitScope&) = delete;

private:
    static std::mutex& mutex() {
        static std::mutex shared;
        return shared;
    }
    static int& inside() {
        static int loads = 0;
        return loads;
    }
    static int& previous() {
        static int limit = 0;
        return limit;
    }
};

} // namespace

bool isTiffName(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    return extension == QLatin1String("tif") || extension == QLatin1String("tiff");
}

QByteArray readerFormatFor(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    const QByteArray format = extension.toLower().toUtf8();
    if (format.isEmpty() || !QImageReader::supportedImageFormats().contains(format))
        refuse(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
    return format;
}

void openForReading(QFile& file) {
    // Only regular files: opening a FIFO would block the window until someone writes to it.
    const QFileInfo info(file.fileName());
    if ((info.exists() && !info.isFile()) || !file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("Cannot open file %1").arg(file.fileName()));
}

QImage readPicture(const QString& path) {
    const QByteArray format = readerFormatFor(path);
    const PictureFile source{path, format};
    QFile file(path);
    openForReading(file);

    const AllocationLimitScope limit(ImageAllocationLimitMB);
    // A run-length bitmap is decoded from its clipped copy, every other picture from the file.
    const std::optional<QByteArray> clipped = format == "bmp" ? checkedBitmap(file) : std::nullopt;
    QBuffer clippedBuffer;
    if (clipped) {
        clippedBuffer.setData(*clipped);
        clippedBuffer.open(QIODevice::ReadOnly);
    }
    QImageReader reader(clipped ? static_cast<QIODevice*>(&clippedBuffer) : &file, format);
    // The extension alone picks the decoder; content that doesn't match it is not valid.
    reader.setAutoDetectImageFormat(false);
    const QSize claimed = reader.size();
    if (claimed.isValid()) checkPictureSize(claimed, source);

    // Pixels that a file leaves undefined (skipped by RLE deltas, missing from a short file)
    // are never written by the decoder. It decodes into a picture of the right size and
    // format that it is given, so hand it a zeroed one: those pixels become colour 0 instead
    // of whatever the memory held before. At most 4 bytes a pixel, as the check allowed.
    QImage picture;
    const QImage::Format decodedFormat = reader.imageFormat();
    if (!claimed.isEmpty() && decodedFormat != QImage::Format_Invalid &&
        QImage::toPixelFormat(decodedFormat).bitsPerPixel() <= 32) {
        picture = QImage(claimed, decodedFormat);
        if (picture.isNull()) refuse(QString::fromLatin1(OutOfMemoryText));
        picture.fill(0);
    }
    if (!reader.read(&picture) || picture.isNull()) refuseContent(source);
    checkPictureSize(picture.size(), source);
    completePalette(picture);
    return picture;
}

} // namespace orvik
