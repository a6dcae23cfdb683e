// "Analyse all" on 300 objects, each a dark disc of its own on a 1200 × 900 picture with the
// window's default model ("Center point"): at the defaults (32 points, 100 iterations) on one
// thread and on every core, and at 64 points × 400 iterations on one and on two threads, so
// that the speed-up of a second thread shows beside the time a screen frame allows (16 ms).
#include "objects.h"

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

} // namespace
} // namespace orvik::bench

BENCHMARK(orvik::bench::analyseAll)
    ->ArgNames({"points", "iterations", "threads"})
    ->Args({32, 100, 1})
    ->Args({32, 100, static_cast<long>(std::max(1u, std::thread::hardware_concurrency()))})
    ->Args({64, 400, 1})
    ->Args({64, 400, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
