// The memory and time that opening a large 16-bit stack takes: writes a stack, or loads one as
// the window and orvik-cli do and prints the process's peak resident memory beside the file's
// size, the time of the load, and the time of a pass that asks for every frame again, as
// following does (frames beyond the memory budget are decoded again from the file).
//
//   stack_memory write FILE PAGES [SIDE [zlib]]   (SIDE × SIDE pages, 1024 when not given:
//                                                  1000 pages of 1024 make a 2 GiB file)
//   stack_memory load FILE          run it in a process of its own: the peak is the process's
#include "picture_stack.h"
#include "tiff_files.h"

#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <tiffio.h>

namespace {

// VmHWM of /proc/self/status: the peak resident set so far, in kB.
long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: stack_memory write FILE PAGES [SIDE [zlib]] | stack_memory load FILE\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) usage();
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[1], "write") == 0 && argc >= 4 && argc <= 6) {
        const int side = argc >= 5 ? std::atoi(argv[4]) : 1024;
        const bool zlib = argc == 6 && std::strcmp(argv[5], "zlib") == 0;
        if (side < 1 || (argc == 6 && !zlib)) usage();
        orvik::test::writeStack16(
            path, side, side, std::atoi(argv[3]),
            [side](int frame, std::uint16_t* samples) {
                for (int i = 0; i < side * side; ++i)
                    samples[i] = std::uint16_t(1000 + (i + frame * 7) % 3000);
            },
            zlib ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
        return 0;
    }
    if (std::strcmp(argv[1], "load") != 0 || argc != 3) usage();
    const long before = peakResidentKb();
    const auto start = std::chrono::steady_clock::now();
    const orvik::PictureStack stack = orvik::loadPictureStack(path);
    const double loading = secondsSince(start);
    const long peak = peakResidentKb();
    const auto pass = std::chrono::steady_clock::now();
    std::uint64_t sum = 0;
    for (int f = 0; f < stack.frames.frameCount(); ++f)
        sum += stack.frames.frame16(f)[std::size_t(f)];
    const double again = secondsSince(pass);
    const double file = double(QFileInfo(path).size());
    std::printf("file %.1f MiB, %d frames of %d x %d, %d held; peak resident before loading %ld "
                "MiB, after %ld MiB, after every frame again %ld MiB; load %.2f s, every frame "
                "again %.2f s (%llu)\n",
                file / 1048576, stack.frames.frameCount(), stack.frames.width(),
                stack.frames.height(), stack.frames.framesHeld(), before / 1024, peak / 1024,
                peakResidentKb() / 1024, loading, again, static_cast<unsigned long long>(sum));
}
