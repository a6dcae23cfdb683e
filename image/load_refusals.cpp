// The reasons a picture file is refused: bitmaps with their fixed text, every other format
// with the file's name and the cause.
#include "load_refusals.h"

#include <QFile>
#include <QImageReader>
#include <QtGlobal>

namespace orvik {
namespace {

bool isBitmap(const PictureFile& file) {
    return file.format == "bmp";
}

// The name a user knows a format by: "PNG", "JPEG" for .jpg, "TIFF" for .tif.
QString formatName(const QByteArray& format) {
    if (format == "jpg") return QStringLiteral("JPEG");
    if (format == "tif") return QStringLiteral("TIFF");
    return QString::fromLatin1(format).toUpper();
}

[[noreturn]] void refuseFile(const PictureFile& file, const QString& reason) {
    orvik::refuseFile(file.path, reason);
}

// What the content is, by its first bytes, as the reader's plugins recognise them; empty
// when none does.
QByteArray recognisedFormat(const QString& path) {
    QFile content(path);
    if (!content.open(QIODevice::ReadOnly)) return {};
    return QImageReader::imageFormat(&content);
}

} // namespace

void refuseFile(const QString& path, const QString& reason) {
    refuse(QStringLiteral("Cannot read file %1: %2").arg(path, reason));
}

void refuseContent(const PictureFile& file) {
    if (isBitmap(file)) refuseAsNotValid();
    const QString expected = formatName(file.format);
    if (QFile(file.path).size() == 0) refuseFile(file, QStringLiteral("the file is empty"));
    const QByteArray found = recognisedFormat(file.path);
    if (found.isEmpty())
        refuseFile(file,
                   QStringLiteral("its content is not a picture in the %1 format").arg(expected));
    if (formatName(found) != expected)
        refuseFile(file, QStringLiteral("it holds a picture in the %1 format, not %2 as its "
                                        "extension says")
                             .arg(formatName(found), expected));
    refuseFile(file, QStringLiteral("the %1 picture in it is damaged or cut short").arg(expected));
}

void checkPictureSize(QSize size, const PictureFile& file) {
    const qint64 width = size.width();
    const qint64 height = size.height();
    // Both sides fit in 31 bits, so their product can't overflow; four times it could.
    const qint64 limitPixels = (qint64{ImageAllocationLimitMB} << 20) / 4;
    if (width * height > limitPixels) {
        if (isBitmap(file)) refuseAsNotValid();
        refuseFile(file, QStringLiteral("the picture is too large, %1 x %2 pixels where at most "
                                        "%3 pixels (%4 MB at 4 bytes each) can be read")
                             .arg(width)
                             .arg(height)
                             .arg(limitPixels)
                             .arg(ImageAllocationLimitMB));
    }
    if (width > MaxImageSide || height > MaxImageSide)
        refuse(QStringLiteral("Image too large: %1 x %2 pixels (at most %3 in each direction)")
                   .arg(width)
                   .arg(height)
                   .arg(MaxImageSide));
}

} // namespace orvik
