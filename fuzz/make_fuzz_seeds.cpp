// Writes the seed corpus of the loading fuzzer into a folder: a small picture in every
// format the reader can also write, bitmaps of the encodings the writer doesn't produce
// (run-length, 16-bit, bit fields, top-down), the crafted hostile bitmaps of the robustness
// tests, and every picture file found under the folders named after the output folder.
// Each seed is the selector byte of its extension followed by the file's bytes.
//   make_fuzz_seeds OUTPUT_FOLDER [PICTURE_FOLDER...]
#include "bmp_file.h"
#include "hostile_bmps.h"
#include "load_image_formats.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <cstdio>
#include <string>

namespace {

using namespace orvik::test;
using orvik::fuzzing::selectorFor;

int written = 0;

// Seeds are named after their content, so writing the same one twice keeps one file.
void writeSeed(const QDir& out, std::string_view extension, const QByteArray& content) {
    QByteArray seed(1, char(selectorFor(extension)));
    seed.append(content);
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(seed, QCryptographicHash::Sha1).toHex().left(16));
    QFile file(out.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(seed) != seed.size()) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    ++written;
}

QImage samplePicture(int width, int height, QImage::Format format) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x * y) % 256));
    return picture.convertToFormat(format);
}

void writeEveryFormat(const QDir& out) {
    const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    for (std::string_view extension : orvik::fuzzing::OtherExtensions) {
        const QByteArray format =
            QByteArray(extension.data(), qsizetype(extension.size())).toLower();
        if (!writable.contains(format) || orvik::fuzzing::isExcluded(extension)) continue;
        for (const QImage& picture : {samplePicture(13, 7, QImage::Format_RGB32),
                                      samplePicture(8, 8, QImage::Format_Grayscale8),
                                      samplePicture(5, 3, QImage::Format_Indexed8),
                                      samplePicture(1, 1, QImage::Format_RGB32)}) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            if (QImageWriter(&buffer, format).write(picture)) writeSeed(out, extension, bytes);
        }
    }
    // The bitmap writer's own encodings: 1, 8, 24 and 32 bits.
    for (QImage::Format format : {QImage::Format_Mono, QImage::Format_Indexed8,
                                  QImage::Format_RGB888, QImage::Format_RGB32}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (samplePicture(11, 6, format).save(&buffer, "BMP")) writeSeed(out, "bmp", bytes);
    }
}

void writeOtherBitmapEncodings(const QDir& out) {
    constexpr int W = 9, H = 5;
    auto index = [](int x, int y) { return std::uint32_t((x + 2 * y) % 16); };
    {
        RleStream s(8);
        for (int y = 0; y < H; ++y)
            s.run(4, std::uint8_t(y)).literal({1, 2, 3}).run(2, 7).endOfLine();
        BmpFields f{
            .width = W, .height = H, .bitCount = 8, .compression = BiRle8, .palette = greyRamp(16)};
        f.pixels = s.endOfBitmap().bytes();
        writeSeed(out, "bmp", craftBmp(f));
        f.pixels = RleStream(8).run(3, 1).delta(2, 1).run(2, 5).endOfLine().endOfBitmap().bytes();
        writeSeed(out, "bmp", craftBmp(f));
    }
    {
        RleStream s(4);
        for (int y = 0; y < H; ++y)
            s.run(5, 0x12).literal({3, 4, 5, 6}).endOfLine();
        BmpFields f{
            .width = W, .height = H, .bitCount = 4, .compression = BiRle4, .palette = greyRamp(16)};
        f.pixels = s.endOfBitmap().bytes();
        writeSeed(out, "bmp", craftBmp(f));
    }
    for (int bits : {1, 4, 8}) {
        BmpFields f{.width = W,
                    .height = -H,
                    .bitCount = std::uint16_t(bits),
                    .palette = greyRamp(1 << bits)};
        f.pixels = storedRows(W, H, bits, index);
        writeSeed(out, "bmp", craftBmp(f));
    }
    {
        BmpFields f{.width = W, .height = H, .bitCount = 16};
        f.pixels =
            storedRows(W, H, 16, [](int x, int y) { return std::uint32_t(x * 1000 + y * 77); });
        writeSeed(out, "bmp", craftBmp(f));
        f.compression = BiBitfields;
        f.masks = {0xf800, 0x07e0, 0x001f};
        writeSeed(out, "bmp", craftBmp(f));
    }
    {
        BmpFields f{.width = W,
                    .height = H,
                    .bitCount = 32,
                    .compression = BiBitfields,
                    .masks = {0xff000000u, 0x00ff0000u, 0x0000ff00u}};
        f.pixels = storedRows(W, H, 32, [](int x, int y) { return std::uint32_t(x * 0x1020 + y); });
        writeSeed(out, "bmp", craftBmp(f));
    }
}

void writeHostile(const QDir& out) {
    for (const HostileBmp& bmp : hostileBmps())
        writeSeed(out, "bmp", bmp.bytes);
}

void writeFilesUnder(const QDir& out, const QString& folder) {
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const std::string extension = QFileInfo(path).suffix().toLower().toStdString();
        if (extension != "bmp" && selectorFor(extension) == 0) continue; // not a picture
        if (orvik::fuzzing::isExcluded(extension)) continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray content = file.readAll();
        if (content.size() > (1 << 20)) continue; // big seeds only slow the fuzzer down
        writeSeed(out, extension, content);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTPUT_FOLDER [PICTURE_FOLDER...]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot create %s\n", argv[1]);
        return 1;
    }
    writeEveryFormat(out);
    writeOtherBitmapEncodings(out);
    writeHostile(out);
    for (int i = 2; i < argc; ++i)
        writeFilesUnder(out, QString::fromLocal8Bit(argv[i]));
    std::printf("make_fuzz_seeds: %d seeds in %s\n", written, argv[1]);
    return 0;
}
