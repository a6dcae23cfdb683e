// The memory that opening a large 16-bit stack takes: writes a stack of 1024 × 1024 pages, or
// loads one as the window and orvik-cli do and prints the process's peak resident memory
// beside the file's size.
//
//   stack_memory write FILE PAGES   (2 MiB a page: 1000 pages make a 2 GiB file)
//   stack_memory load FILE          run it in a process of its own: the peak is the process's
#include "picture_stack.h"
#include "tiff_files.h"

#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr int kSide = 1024;

// VmHWM of /proc/self/status: the peak resident set so far, in kB.
long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: stack_memory write FILE PAGES | stack_memory load FILE\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) usage();
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[1], "write") == 0 && argc == 4) {
        orvik::test::writeStack16(path, kSide, kSide, std::atoi(argv[3]),
                                  [](int frame, std::uint16_t* samples) {
                                      for (int i = 0; i < kSide * kSide; ++i)
                                          samples[i] = std::uint16_t(1000 + (i + frame * 7) % 3000);
                                  });
        return 0;
    }
    if (std::strcmp(argv[1], "load") != 0 || argc != 3) usage();
    const long before = peakResidentKb();
    const orvik::PictureStack stack = orvik::loadPictureStack(path);
    const long peak = peakResidentKb();
    const double file = double(QFileInfo(path).size());
    std::printf("file %.0f MiB, %d frames of %d x %d; peak resident before loading %ld MiB, "
                "after %ld MiB: %.3f x the file\n",
                file / 1048576, stack.frames.frameCount(), stack.frames.width(),
                stack.frames.height(), before / 1024, peak / 1024, peak * 1024.0 / file);
}
