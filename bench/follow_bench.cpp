// "Follow through frames" on a 512 × 512 × 100-frame 16-bit stack: 50 ellipses seeded on the
// first frame by "Find objects" (the default model, "Center point", 32 points × 100
// iterations), followed to the last frame, reading the TIFF file included; on one thread and on
// two. And the parts apart: reading the file, mapping every frame onto grey, and following on
// frames mapped beforehand, so that the whole shows where its time goes.
#include "document/find_objects.h"
#include "document/follow.h"
#include "picture_stack.h"
#include "synthetic_movie.h"
#include "tiff_files.h"

#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>
#include <cstring>
#include <unistd.h>

namespace orvik::bench {
namespace {

constexpr int kSide = 512, kFrames = 100, kObjects = 50;

// The movie, written once to a temporary file that is removed at exit.
struct StackFile {
    QString path;
    std::size_t ellipses = 0;
    StackFile() {
        test::MovieScene scene;
        scene.width = scene.height = kSide;
        scene.frames = kFrames;
        scene.count = kObjects;
        scene.minSemiAxis = 8;
        scene.maxSemiAxis = 16;
        scene.gap = 4;
        const test::SyntheticMovie movie = test::drawMovie(scene);
        ellipses = movie.ellipses.front().size();
        path = QDir::temp().filePath(QStringLiteral("orvik-follow-bench-%1.tif").arg(getpid()));
        test::writeStack16(path, kSide, kSide, kFrames, [&](int frame, std::uint16_t* samples) {
            std::memcpy(samples, movie.frames.frame16(frame).get(),
                        movie.frames.samplesPerFrame() * sizeof(std::uint16_t));
        });
    }
    ~StackFile() { QFile::remove(path); }
};

const StackFile& stackFile() {
    static const StackFile file;
    return file;
}

ControlValues findBase() {
    ControlValues base;
    base.blackOnWhite = false; // light cells on a dark ground
    at(base.fields, Field::Points) = 32;
    at(base.fields, Field::Iterations) = 100;
    return base;
}

// Fails the benchmark unless Find objects seeded one object on each ellipse.
bool seededAll(benchmark::State& state, const std::vector<PictureObject>& objects) {
    if (objects.size() == kObjects && stackFile().ellipses == kObjects) return true;
    state.SkipWithError("the stack does not give 50 objects");
    return false;
}

void setFrameRate(benchmark::State& state) {
    state.counters["frames_per_second"] =
        benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void followStack(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const std::string name = stackFile().path.toStdString();
    for (auto _ : state) {
        const PictureStack stack = loadPictureStack(stackFile().path);
        const std::vector<PictureObject> objects =
            test::seedObjects(frameImage(stack, 0), findBase());
        if (!seededAll(state, objects)) break;
        const FollowOutcome outcome = followObjects(
            objects, [&](int f) { return frameImage(stack, f); }, 0, kFrames, name, threads);
        benchmark::DoNotOptimize(outcome.framesDone);
    }
    setFrameRate(state);
}

void readStack(benchmark::State& state) {
    stackFile(); // written before the timing starts
    for (auto _ : state) {
        const PictureStack stack = loadPictureStack(stackFile().path);
        benchmark::DoNotOptimize(stack.range);
    }
    setFrameRate(state);
}

void mapFrames(benchmark::State& state) {
    const PictureStack stack = loadPictureStack(stackFile().path);
    for (auto _ : state)
        for (int f = 0; f < kFrames; ++f) {
            const GreyImage image = frameImage(stack, f);
            benchmark::DoNotOptimize(image.GreyData.get());
        }
    setFrameRate(state);
}

// The grey buffers of every frame, made beforehand; each frame hands over a copy of its
// buffer (no display bitmap), so that only the following is timed.
void followMapped(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const PictureStack stack = loadPictureStack(stackFile().path);
    std::vector<GreyImage> grey;
    for (int f = 0; f < kFrames; ++f)
        grey.push_back(frameImage(stack, f));
    const std::size_t pixels = std::size_t(kSide) * kSide;
    const auto copy = [&](int f) {
        GreyImage image;
        image.ImageWidth = image.ImageHeight = kSide;
        image.GreyData = std::make_unique_for_overwrite<std::uint8_t[]>(pixels);
        std::memcpy(image.GreyData.get(), grey[std::size_t(f)].GreyData.get(), pixels);
        return image;
    };
    const std::vector<PictureObject> objects = test::seedObjects(grey.front(), findBase());
    if (!seededAll(state, objects)) return;
    for (auto _ : state) {
        const FollowOutcome outcome = followObjects(objects, copy, 0, kFrames, "stack", threads);
        benchmark::DoNotOptimize(outcome.framesDone);
    }
    setFrameRate(state);
}

} // namespace
} // namespace orvik::bench

BENCHMARK(orvik::bench::followStack)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(orvik::bench::readStack)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(orvik::bench::mapFrames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(orvik::bench::followMapped)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
