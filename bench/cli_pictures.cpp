// Writes the inputs of orvik-cli's whole-process figures (bench/cli_bench.sh): the movie that
// follow_bench follows (50 light ellipses on a dark ground, 512 × 512, 16-bit, any number of
// frames) as a TIFF stack, and a 4000 × 4000 8-bit picture of 1,200 dark discs on a light
// ground for --find-objects.
//
//   cli_pictures movie FILE.tif FRAMES
//   cli_pictures discs FILE.png
#include "synthetic_movie.h"
#include "tiff_files.h"

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int writeMovie(const QString& path, int frames) {
    orvik::test::MovieScene scene;
    scene.width = scene.height = 512;
    scene.frames = frames;
    scene.count = 50;
    scene.minSemiAxis = 8;
    scene.maxSemiAxis = 16;
    scene.gap = 4;
    const orvik::test::SyntheticMovie movie = orvik::test::drawMovie(scene);
    orvik::test::writeStack16(path, 512, 512, frames, [&](int frame, std::uint16_t* samples) {
        std::memcpy(samples, movie.frames.frame16(frame).get(),
                    movie.frames.samplesPerFrame() * sizeof(std::uint16_t));
    });
    std::printf("%zu ellipses, %d frames\n", movie.ellipses.front().size(), frames);
    return 0;
}

// 40 × 30 discs of radius 30 to 45 on a grid of 100 pixels, a little texture on both sides.
int writeDiscs(const QString& path) {
    constexpr int kSide = 4000, kColumns = 40, kRows = 30, kSpacing = 100;
    QImage picture(kSide, kSide, QImage::Format_Grayscale8);
    for (int y = 0; y < kSide; ++y) {
        std::uint8_t* line = picture.scanLine(y);
        for (int x = 0; x < kSide; ++x) {
            const int column = x / kSpacing, row = y / kSpacing;
            const int dx = x % kSpacing - kSpacing / 2, dy = y % kSpacing - kSpacing / 2;
            const int radius = 30 + (column * 7 + row * 3) % 16;
            const bool disc =
                column < kColumns && row < kRows && dx * dx + dy * dy < radius * radius;
            line[x] = static_cast<std::uint8_t>(disc ? 40 + (x ^ y) % 16 : 190 + (x * y) % 16);
        }
    }
    return picture.save(path) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "movie") == 0)
        return writeMovie(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "discs") == 0)
        return writeDiscs(QString::fromLocal8Bit(argv[2]));
    std::fprintf(stderr,
                 "usage: cli_pictures movie FILE.tif FRAMES | cli_pictures discs FILE.png\n");
    return 2;
}
