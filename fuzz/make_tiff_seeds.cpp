// Writes the seed corpus of the TIFF fuzzer into a folder: small files of every layout and
// arrangement the reader takes (8- and 16-bit grey, colour, strips, tiles, separate planes,
// compressed, several pages, calibrated), and a stack whose pages all share one deflated strip,
// the small file that decodes to far more than its size.
//   make_tiff_seeds OUTPUT_FOLDER
#include "tiff_files.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tiffio.h>

using namespace orvik::test;

namespace {

void putShort(QByteArray& bytes, std::uint16_t value) {
    bytes.append(char(value & 0xff)).append(char(value >> 8));
}

void putLong(QByteArray& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((value >> shift) & 0xff));
}

// A little-endian TIFF of `pages` 16-bit grey pages of side × side pixels, each one strip, every
// page's strip offset pointing at the same deflated data.
QByteArray sharedStripStack(int side, int pages) {
    QByteArray samples(side * side * 2, '\0');
    for (int i = 0; i < side * side; ++i)
        samples[2 * i + 1] = char(i % 7 == 0 ? 0x40 : 0x10);
    // qCompress puts the length in front of a zlib stream; the strip is the stream alone.
    const QByteArray strip = qCompress(samples, 9).mid(4);
    QByteArray file("II");
    putShort(file, 42);
    const std::uint32_t firstPage = 8 + std::uint32_t(strip.size() + strip.size() % 2);
    putLong(file, firstPage);
    file.append(strip);
    if (file.size() < qsizetype(firstPage)) file.append('\0'); // pages start on a word
    const struct {
        std::uint16_t tag, type;
        std::uint32_t value;
    } entries[] = {{TIFFTAG_IMAGEWIDTH, TIFF_LONG, std::uint32_t(side)},
                   {TIFFTAG_IMAGELENGTH, TIFF_LONG, std::uint32_t(side)},
                   {TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, 16},
                   {TIFFTAG_COMPRESSION, TIFF_SHORT, COMPRESSION_ADOBE_DEFLATE},
                   {TIFFTAG_PHOTOMETRIC, TIFF_SHORT, PHOTOMETRIC_MINISBLACK},
                   {TIFFTAG_STRIPOFFSETS, TIFF_LONG, 8},
                   {TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, 1},
                   {TIFFTAG_ROWSPERSTRIP, TIFF_LONG, std::uint32_t(side)},
                   {TIFFTAG_STRIPBYTECOUNTS, TIFF_LONG, std::uint32_t(strip.size())}};
    const int count = int(sizeof entries / sizeof entries[0]);
    for (int page = 0; page < pages; ++page) {
        putShort(file, std::uint16_t(count));
        for (const auto& entry : entries) {
            putShort(file, entry.tag);
            putShort(file, entry.type);
            putLong(file, 1);
            if (entry.type == TIFF_SHORT) {
                putShort(file, std::uint16_t(entry.value));
                putShort(file, 0);
            } else {
                putLong(file, entry.value);
            }
        }
        putLong(file, page + 1 < pages ? std::uint32_t(file.size() + 4) : 0);
    }
    return file;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2 || !QDir().mkpath(argv[1])) {
        std::fprintf(stderr, "usage: make_tiff_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(argv[1]);
    const std::string imageJ = "ImageJ=1.54f\nimages=1\nunit=micron\nspacing=0.5\n";
    const TiffPage grey16 = patterned({.width = 20, .height = 18, .bits = 16}, 1000, 2000);
    writeTiff(out.filePath("grey8.tif"), {patterned({}, 0, 256)});
    writeTiff(
        out.filePath("grey16-pages.tif"),
        {grey16,
         patterned(
             {.width = 20, .height = 18, .bits = 16, .tiled = true, .compression = COMPRESSION_LZW},
             0, 65535)});
    writeTiff(
        out.filePath("colour-planes.tif"),
        {patterned({.width = 6, .height = 5, .channels = 3, .separatePlanes = true}, 0, 256)});
    writeTiff(
        out.filePath("calibrated.tif"),
        {patterned({.width = 7, .height = 3, .xResolution = 4, .description = imageJ}, 0, 256)});
    writeTiff(out.filePath("deflated.tif"),
              {patterned({.channels = 3, .compression = COMPRESSION_ADOBE_DEFLATE}, 0, 256)});
    QFile shared(out.filePath("shared-strip.tif"));
    if (!shared.open(QIODevice::WriteOnly) || shared.write(sharedStripStack(128, 48)) < 0) {
        std::fprintf(stderr, "make_tiff_seeds: cannot write %s\n", qPrintable(shared.fileName()));
        return 2;
    }
    std::printf("make_tiff_seeds: 6 seeds in %s\n", argv[1]);
    return 0;
}
