// The image store's whole-picture passes on a 4000 × 3000 picture, each beside a plain
// memcpy of the display bitmap's 36 000 000 bytes measured in the same run:
//  - Refresh: refreshDisplay, which rewrites the display bitmap from the grey buffer.
//  - Grey pass: fillGreyAndDisplay, the load's pass from the colour display bitmap to the
//    grey buffer and back into the display, timed on its own.
//  - Load: loadGreyImage of a 24-bit BMP file, paired with a decode of the same file (read
//    and converted to 24 bits as the load does it) without the grey pass. Their difference is
//    the load's grey pass with the grey buffer's allocation, as seen inside a whole load.
#include "grey_image.h"
#include "grey_pass.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace orvik::bench {
namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr std::size_t kDisplayBytes = std::size_t{kWidth} * 3 * kHeight;

// A colourful 24-bit BMP file of kWidth × kHeight in a temporary folder, written once.
class PictureFile {
public:
    PictureFile() {
        if (!dir_.isValid()) fail("cannot create a temporary folder");
        path_ = QDir(dir_.path()).filePath(QStringLiteral("picture.bmp"));
        QImage picture(kWidth, kHeight, QImage::Format_BGR888);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* pixel = picture.scanLine(y);
            for (int x = 0; x < kWidth; ++x, pixel += 3) {
                pixel[0] = static_cast<std::uint8_t>(x ^ y);
                pixel[1] = static_cast<std::uint8_t>((x * 7 + y) >> 3);
                pixel[2] = static_cast<std::uint8_t>(255 - (y >> 4));
            }
        }
        if (!picture.save(path_, "BMP")) fail("cannot write the picture");
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly)) fail("cannot reopen the picture");
        const QByteArray header = file.read(30);
        if (header.size() < 30 || header[28] != 24) fail("the picture is not a 24-bit BMP");
    }
    const QString& path() const { return path_; }

private:
    [[noreturn]] static void fail(const char* what) {
        std::fprintf(stderr, "image_bench: %s\n", what);
        std::exit(1);
    }
    QTemporaryDir dir_;
    QString path_;
};

const PictureFile& pictureFile() {
    static const PictureFile file;
    return file;
}

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kDisplayBytes));
    state.counters["bytes"] = static_cast<double>(kDisplayBytes);
}

// The reference: a plain memcpy of as many bytes as the display bitmap holds, between two
// buffers that have been touched before, like the display bitmap a refresh rewrites.
void Memcpy(benchmark::State& state) {
    const auto from = std::make_unique<std::uint8_t[]>(kDisplayBytes);
    const auto to = std::make_unique<std::uint8_t[]>(kDisplayBytes);
    std::memset(from.get(), 0x5a, kDisplayBytes);
    std::memset(to.get(), 0, kDisplayBytes);
    for (auto _ : state) {
        std::memcpy(to.get(), from.get(), kDisplayBytes);
        benchmark::ClobberMemory();
    }
    setBytes(state);
}

void Refresh(benchmark::State& state) {
    GreyImage store = loadGreyImage(pictureFile().path());
    for (auto _ : state) {
        refreshDisplay(store);
        benchmark::ClobberMemory();
    }
    setBytes(state);
}

// What the load does before its grey pass, step for step: read the file into a zeroed
// picture of the size the header claims, and convert it to 24 bits.
QImage decode(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&file, "bmp");
    reader.setAutoDetectImageFormat(false);
    QImage picture(reader.size(), reader.imageFormat());
    picture.fill(0);
    reader.read(&picture);
    // An rvalue, as in the load: the toolkit may then convert in place.
    return std::move(picture).convertToFormat(QImage::Format_BGR888);
}

// The grey pass on the colourful picture: the display is restored from a pristine colour copy
// outside the timed region before every pass, so each pass sees colours, not the grey left
// by the one before. The grey buffer is allocated and touched once, beforehand.
void GreyPass(benchmark::State& state) {
    const QImage pristine = decode(pictureFile().path());
    if (pristine.isNull() ||
        pristine.sizeInBytes() != qsizetype(kHeight) * pristine.bytesPerLine()) {
        state.SkipWithError("cannot decode the picture");
        return;
    }
    QImage display = pristine.copy();
    const auto grey = std::make_unique<std::uint8_t[]>(std::size_t{kWidth} * kHeight);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(display.bits(), pristine.constBits(), std::size_t(pristine.sizeInBytes()));
        state.ResumeTiming();
        fillGreyAndDisplay(display, grey.get());
        benchmark::ClobberMemory();
    }
    setBytes(state);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Loads and decodes in pairs, in alternating order, so that both halves of a pair meet the
// same disturbances from the rest of the machine; the grey pass is the median of the
// pairs' differences. The benchmark's own time is that of the loads.
void Load(benchmark::State& state) {
    std::vector<double> loads, decodes, differences;
    for (auto _ : state) {
        double loadSeconds = 0, decodeSeconds = 0;
        for (int half = 0; half < 2; ++half) {
            const auto start = std::chrono::steady_clock::now();
            if ((half == 0) == (loads.size() % 2 == 0)) {
                GreyImage store = loadGreyImage(pictureFile().path());
                benchmark::DoNotOptimize(store.GreyData.get());
                loadSeconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            } else {
                const QImage display = decode(pictureFile().path());
                if (display.isNull()) {
                    state.SkipWithError("cannot decode the picture");
                    return;
                }
                benchmark::DoNotOptimize(display.constBits());
                decodeSeconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            }
        }
        loads.push_back(loadSeconds);
        decodes.push_back(decodeSeconds);
        differences.push_back(loadSeconds - decodeSeconds);
        state.SetIterationTime(loadSeconds);
    }
    setBytes(state);
    state.counters["load_ns"] = median(loads) * 1e9;
    state.counters["decode_ns"] = median(decodes) * 1e9;
    state.counters["grey_pass_ns"] = median(differences) * 1e9;
}

} // namespace
} // namespace orvik::bench

BENCHMARK(orvik::bench::Memcpy)->Name("Image/memcpy")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(orvik::bench::Refresh)
    ->Name("Image/refresh")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(orvik::bench::GreyPass)
    ->Name("Image/grey pass")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(orvik::bench::Load)
    ->Name("Image/load")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(15);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    orvik::bench::pictureFile();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
