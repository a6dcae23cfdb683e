// Refused picture files of other formats than BMP, and a writer of large PNG files.
#include "bad_pictures.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>
#include <cstdint>

namespace orvik::test {
namespace {

std::uint32_t crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const char* type, const QByteArray& data) {
    const QByteArray typed = QByteArray(type) + data;
    return bigEndian(std::uint32_t(data.size())) + typed + bigEndian(crc32(typed));
}

} // namespace

QByteArray blackPng(int width, int height) {
    QByteArray header = bigEndian(std::uint32_t(width)) + bigEndian(std::uint32_t(height));
    header +=
        QByteArray("\x01\x00\x00\x00\x00", 5); // 1 bit, grey, deflate, no filter, no interlace
    // Every row: filter type 0, then the row's bits, all 0.
    const QByteArray rows(qsizetype(height) * (1 + (width + 7) / 8), '\0');
    const QByteArray zlibStream = qCompress(rows, 9).mid(4); // without Qt's length prefix
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", zlibStream) + pngChunk("IEND", {});
}

QByteArray encodedPicture(int width, int height, const char* format) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x * 7, y * 5, (x ^ y) * 3));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format);
    return bytes;
}

std::vector<BadPicture> badPictures() {
    const QByteArray png = encodedPicture(40, 30, "PNG");
    const QByteArray jpeg = encodedPicture(40, 30, "JPEG");
    return {
        {"empty.png", QByteArray(""), "the file is empty"},
        {"text.png", "not a picture at all\n", "its content is not a picture in the PNG format"},
        {"cut-short.png", png.left(60), "the PNG picture in it is damaged or cut short"},
        {"cut-short.jpg", jpeg.left(120), "the JPEG picture in it is damaged or cut short"},
        {"bitmap.png", encodedPicture(4, 3, "BMP"),
         "it holds a picture in the BMP format, not PNG as its extension says"},
        {"png.jpeg", png, "it holds a picture in the PNG format, not JPEG as its extension says"},
        // A picture the reader could decode, were it not beyond the memory a load may take.
        {"over-the-limit.png", blackPng(12000, 12000),
         "the picture is too large, 12000 x 12000 pixels where at most 134217728 pixels "
         "(512 MB at 4 bytes each) can be read"},
    };
}

QString unreadableMessage(const QString& path, const BadPicture& picture) {
    return QStringLiteral("Cannot read file %1: %2").arg(path, picture.cause);
}

} // namespace orvik::test
