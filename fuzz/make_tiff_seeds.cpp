// Writes the seed corpus of the TIFF fuzzer into a folder: small files of every layout and
// arrangement the reader takes (8- and 16-bit grey, colour, strips, tiles, separate planes,
// compressed, several pages, calibrated), and a hand-made one that claims its size.
//   make_tiff_seeds OUTPUT_FOLDER
#include "tiff_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <tiffio.h>

using namespace orvik::test;

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2 || !QDir().mkpath(argv[1])) {
        std::fprintf(stderr, "usage: make_tiff_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(argv[1]);
    TiffPage grey16 = patternPage(20, 18, 16, 1, 1000, 2000);
    TiffPage tiled = grey16;
    tiled.tiled = true;
    tiled.compression = COMPRESSION_LZW;
    TiffPage colour = patternPage(6, 5, 8, 3, 0, 256);
    colour.separatePlanes = true;
    TiffPage calibrated = patternPage(7, 3, 8, 1, 0, 256);
    calibrated.xResolution = 4;
    calibrated.description = "ImageJ=1.54f\nimages=1\nunit=micron\nspacing=0.5\n";
    TiffPage deflated = patternPage(9, 9, 8, 3, 0, 256);
    deflated.compression = COMPRESSION_ADOBE_DEFLATE;

    writeTiff(out.filePath("grey8.tif"), {patternPage(5, 4, 8, 1, 0, 256)});
    writeTiff(out.filePath("grey16-pages.tif"), {grey16, tiled});
    writeTiff(out.filePath("colour-planes.tif"), {colour});
    writeTiff(out.filePath("calibrated.tif"), {calibrated});
    writeTiff(out.filePath("deflated.tif"), {deflated});
    QFile claiming(out.filePath("claiming.tif"));
    if (!claiming.open(QIODevice::WriteOnly) || claiming.write(tiffClaiming(8, 4, 32)) < 0)
        return 1;
    std::printf("make_tiff_seeds: 6 seeds in %s\n", argv[1]);
    return 0;
}
