// Writes the seed corpus of the TIFF fuzzer into a folder: small files of every layout and
// arrangement the reader takes (8- and 16-bit grey, colour, strips, tiles, separate planes,
// compressed, several pages, calibrated).
//   make_tiff_seeds OUTPUT_FOLDER
#include "tiff_files.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <string>
#include <tiffio.h>

using namespace orvik::test;

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
    std::printf("make_tiff_seeds: 5 seeds in %s\n", argv[1]);
    return 0;
}
