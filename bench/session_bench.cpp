// The measurements the window recomputes after every analysis and preview, on a 4000 × 3000
// grey picture with a 200-point contour of radius 1000 (about 3.1 million pixels inside),
// beside references measured in the same run:
//  - Measure: measure(), the geometry and the grey statistics over the pixels inside.
//  - Box sum: a plain sum of the grey bytes of the contour's bounding box, rows by rows: the
//    memory traffic any pass over the enclosed pixels has to pay.
//  - Pixel test: the same pixels found by testing each pixel centre of the bounding box
//    against every edge, the obvious way the scanline pass replaces.
#include "core/measurements.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace orvik::bench {
namespace {

constexpr std::int32_t kWidth = 4000, kHeight = 3000;
constexpr double kRadius = 1000;

struct Scene {
    Scene() : grey(static_cast<std::size_t>(kWidth) * kHeight) {
        for (std::size_t i = 0; i < grey.size(); ++i)
            grey[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
        result.context.width = kWidth;
        result.context.height = kHeight;
        result.context.model = ModelChoice::Standard;
        for (int i = 0; i < 200; ++i) {
            const double t = 2 * std::numbers::pi * i / 200;
            result.contour.push_back({2000 + kRadius * std::cos(t), 1500 + kRadius * std::sin(t)});
        }
    }
    GreyBufferView view() const { return {grey.data(), kWidth, kHeight}; }
    std::vector<std::uint8_t> grey;
    ContourResult result;
};

const Scene& scene() {
    static const Scene s;
    return s;
}

void measureContour(benchmark::State& state) {
    const Scene& s = scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(measure(s.result, s.view()));
}

void boxSum(benchmark::State& state) {
    const Scene& s = scene();
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (std::int32_t y = 500; y < 2500; ++y) {
            const std::uint8_t* row = s.grey.data() + static_cast<std::size_t>(y) * kWidth;
            for (std::int32_t x = 1000; x < 3000; ++x)
                sum += row[x];
        }
        benchmark::DoNotOptimize(sum);
    }
}

void pixelTest(benchmark::State& state) {
    const Scene& s = scene();
    const std::vector<ContourPoint>& p = s.result.contour;
    for (auto _ : state) {
        std::uint64_t sum = 0, count = 0;
        for (std::int32_t y = 500; y < 2500; ++y)
            for (std::int32_t x = 1000; x < 3000; ++x) {
                const double cx = x + 0.5, cy = y + 0.5;
                bool inside = false;
                for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
                    if ((p[i].y > cy) != (p[j].y > cy) &&
                        cx < p[j].x + (cy - p[j].y) * (p[i].x - p[j].x) / (p[i].y - p[j].y))
                        inside = !inside;
                if (inside) {
                    sum += s.grey[static_cast<std::size_t>(y) * kWidth + x];
                    ++count;
                }
            }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(count);
    }
}

BENCHMARK(measureContour)->Name("Session/measure")->Unit(benchmark::kMillisecond);
BENCHMARK(boxSum)->Name("Session/box sum")->Unit(benchmark::kMillisecond);
BENCHMARK(pixelTest)->Name("Session/pixel test")->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace orvik::bench

BENCHMARK_MAIN();
