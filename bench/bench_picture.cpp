// Writes the engine benchmarks' picture, the 640 × 480 dark disc, as a binary PGM file, so
// that the peer comparison works on exactly the same pixels.
#include "bench_scene.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_picture OUT.pgm\n");
        return 2;
    }
    const orvik::bench::GreyPicture picture = orvik::bench::enginePicture();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out, "P5\n%d %d\n255\n", picture.ImageWidth, picture.ImageHeight);
    const auto size = static_cast<std::size_t>(picture.ImageWidth) * picture.ImageHeight;
    const bool written = std::fwrite(picture.GreyData.get(), 1, size, out) == size;
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
