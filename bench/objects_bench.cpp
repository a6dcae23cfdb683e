// "Analyse all" on 300 objects, each a dark disc of its own on a 1200 × 900 picture with the
// window's default model ("Center point"): at the defaults (32 points, 100 iterations) on one
// thread and on every core, and at 64 points × 400 iterations on one and on two threads, so
// that the speed-up of a second thread shows beside the time a screen frame allows (16 ms).
// And the search for objects: labelling a 2000 × 2000 picture with 300 discs and seeding an
// object on each, with the global or the local threshold, split or not; and Analyse all on
// 150 touching pairs with the contours kept apart or each alone.
#include "document/find_objects.h"
#include "document/objects.h"

#include <benchmark/benchmark.h>
#include <thread>

namespace orvik::bench {
namespace {

constexpr int kColumns = 20, kRows = 15, kSpacing = 60, kDisc = 18;

const GreyImage& picture() {
    static const GreyImage image = [] {
        GreyImage g;
        g.ImageWidth = kColumns * kSpacing;
        g.ImageHeight = kRows * kSpacing;
        g.GreyData = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(g.ImageWidth) *
                                                      static_cast<std::size_t>(g.ImageHeight));
        for (int y = 0; y < g.ImageHeight; ++y)
            for (int x = 0; x < g.ImageWidth; ++x) {
                const int dx = x % kSpacing - kSpacing / 2, dy = y % kSpacing - kSpacing / 2;
                g.GreyData[static_cast<std::size_t>(y) * g.ImageWidth + x] =
                    dx * dx + dy * dy < kDisc * kDisc ? 30 : 210;
            }
        return g;
    }();
    return image;
}

ObjectList objects(int points, int iterations) {
    ObjectList list;
    for (int row = 0; row < kRows; ++row)
        for (int column = 0; column < kColumns; ++column) {
            ControlValues v;
            const int cx = column * kSpacing + kSpacing / 2, cy = row * kSpacing + kSpacing / 2;
            setBox(v.fields, {cx - 10, cy - 10, cx + 10, cy + 10});
            at(v.fields, Field::Radius) = kDisc;
            at(v.fields, Field::Points) = points;
            at(v.fields, Field::Iterations) = iterations;
            list.add(v);
        }
    return list;
}

void analyseAll(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    const int iterations = static_cast<int>(state.range(1));
    const int threads = static_cast<int>(state.range(2));
    ObjectList list = objects(points, iterations);
    for (auto _ : state)
        list.analyseAll(picture(), "discs.bmp", threads);
    state.counters["objects"] = static_cast<double>(list.size());
    state.counters["threads"] = threads;
}

// 300 discs of radius 30 on a 2000 × 2000 picture with a little texture.
const GreyImage& largePicture() {
    static const GreyImage image = [] {
        GreyImage g;
        g.ImageWidth = g.ImageHeight = 2000;
        g.GreyData = std::make_unique<std::uint8_t[]>(2000u * 2000u);
        for (int y = 0; y < 2000; ++y)
            for (int x = 0; x < 2000; ++x) {
                const int column = x / 100, row = y / 100;
                const int dx = x % 100 - 50, dy = y % 100 - 50;
                const bool disc = row * 20 + column < 300 && dx * dx + dy * dy < 30 * 30;
                g.GreyData[static_cast<std::size_t>(y) * 2000 + x] =
                    static_cast<std::uint8_t>(disc ? 40 + (x ^ y) % 16 : 190 + (x * y) % 16);
            }
        return g;
    }();
    return image;
}

// 150 pairs of touching discs of radius 30 (centres 52 pixels apart) on 2000 × 2000, textured.
const GreyImage& pairsPicture() {
    static const GreyImage image = [] {
        GreyImage g;
        g.ImageWidth = g.ImageHeight = 2000;
        g.GreyData = std::make_unique<std::uint8_t[]>(2000u * 2000u);
        for (int y = 0; y < 2000; ++y)
            for (int x = 0; x < 2000; ++x) {
                const int column = x / 160, row = y / 130;
                const int dx = x % 160 - 54, dy = y % 130 - 65;
                const bool pair =
                    row * 12 + column < 150 && column < 12 && row < 15 &&
                    (dx * dx + dy * dy < 900 || (dx - 52) * (dx - 52) + dy * dy < 900);
                g.GreyData[static_cast<std::size_t>(y) * 2000 + x] =
                    static_cast<std::uint8_t>(pair ? 40 + (x ^ y) % 16 : 190 + (x * y) % 16);
            }
        return g;
    }();
    return image;
}

// Find objects on the 300 discs: the global threshold or the local one, split or not.
void findObjects(benchmark::State& state) {
    const bool local = state.range(0) != 0, split = state.range(1) != 0;
    const GreyImage& image = state.range(2) != 0 ? pairsPicture() : largePicture();
    std::size_t count = 0;
    for (auto _ : state) {
        ObjectList list;
        const ControlValues base;
        FindOptions options{.threshold = otsuThreshold(image)};
        options.localThreshold = local;
        options.split = split;
        for (const Region& region : findRegions(image, options))
            list.add(seedValues(region, base));
        count = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["objects"] = static_cast<double>(count);
}

// Analyse all on the 150 touching pairs, found with the split, coupled or each alone.
void analyseTouching(benchmark::State& state) {
    const bool couple = state.range(0) != 0;
    const GreyImage& image = pairsPicture();
    FindOptions options{.threshold = otsuThreshold(image)};
    options.split = true;
    ObjectList list;
    for (const Region& region : findRegions(image, options))
        list.add(seedValues(region, ControlValues{}));
    list.setCoupling(couple);
    for (auto _ : state)
        list.analyseAll(image, "pairs", 1);
    std::size_t flagged = 0;
    for (const PictureObject& o : list.objects())
        flagged += !o.overlapping.empty();
    state.counters["objects"] = static_cast<double>(list.size());
    state.counters["overlap"] = static_cast<double>(flagged);
}

} // namespace
} // namespace orvik::bench

BENCHMARK(orvik::bench::findObjects)
    ->ArgNames({"local", "split", "pairs"})
    ->Args({0, 0, 0})
    ->Args({1, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 1, 0})
    ->Args({1, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(orvik::bench::analyseTouching)
    ->ArgNames({"coupled"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(orvik::bench::analyseAll)
    ->ArgNames({"points", "iterations", "threads"})
    ->Args({32, 100, 1})
    ->Args({32, 100, static_cast<long>(std::max(1u, std::thread::hardware_concurrency()))})
    ->Args({64, 400, 1})
    ->Args({64, 400, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
