// The self-crossing rule of the measurements on long outlines, as ROIs read from a file bring
// them, beside the routine it replaced (kept here for the comparison):
//  - Traced: a closed outline of unit steps round a 1:3 upright box, as pixel tracing gives,
//    N points in all; its long vertical runs are what the old x-range sweep tested pair by pair.
//  - Freehand: an open chain of N points down a wavy line 3 px wide, as a hand draws it.
//  - Sweep: crossesItself(), the Shamos–Hoey sweep; Old: the x-range sweep it replaced.
//  - Measure: measure() of the whole outline on an 8200 × 24600 picture (flags, pixels
//    inside without grey values).
// Neither outline crosses itself, so both routines go all the way.
#include "core/measurements.h"
#include "core/self_crossing.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orvik::bench {
namespace {

std::vector<ContourPoint> traced(int n) {
    const int w = n / 8, h = 3 * n / 8; // 2w + 2h = n
    std::vector<ContourPoint> p;
    for (int y = 0; y < h; ++y)
        p.push_back({10, 10.0 + y});
    for (int x = 0; x < w; ++x)
        p.push_back({10.0 + x, 10.0 + h});
    for (int y = h; y > 0; --y)
        p.push_back({10.0 + w, 10.0 + y});
    for (int x = w; x > 0; --x)
        p.push_back({10.0 + x, 10});
    return p;
}

std::vector<ContourPoint> freehand(int n) {
    std::vector<ContourPoint> p;
    for (int i = 0; i < n; ++i)
        p.push_back({100 + 1.5 * std::sin(i / 40.0), 10 + 0.1 * i});
    return p;
}

// The routine the sweep replaced: edges sorted by their left end, each tested against those
// whose x range overlaps its own.
double orientation(const ContourPoint& a, const ContourPoint& b, const ContourPoint& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}
bool oppositeSides(double s, double t) {
    return (s > 0 && t < 0) || (s < 0 && t > 0);
}
bool crossProperly(const ContourPoint& a, const ContourPoint& b, const ContourPoint& c,
                   const ContourPoint& d) {
    return oppositeSides(orientation(a, b, c), orientation(a, b, d)) &&
           oppositeSides(orientation(c, d, a), orientation(c, d, b));
}
bool oldCrossesItself(const std::vector<ContourPoint>& p, bool closed) {
    struct EdgeSpan {
        double left, right;
        std::size_t edge;
    };
    const std::size_t n = p.size();
    const std::size_t edges = closed ? n : n - 1;
    if (n < 4) return false;
    std::vector<EdgeSpan> spans(edges);
    for (std::size_t e = 0; e < edges; ++e) {
        const double x0 = p[e].x, x1 = p[(e + 1) % n].x;
        spans[e] = {std::min(x0, x1), std::max(x0, x1), e};
    }
    std::sort(spans.begin(), spans.end(),
              [](const EdgeSpan& l, const EdgeSpan& r) { return l.left < r.left; });
    const auto neighbours = [&](std::size_t i, std::size_t j) {
        const std::size_t gap = i > j ? i - j : j - i;
        return gap == 1 || (closed && gap == n - 1);
    };
    for (std::size_t s = 0; s < edges; ++s) {
        const EdgeSpan& a = spans[s];
        for (std::size_t t = s + 1; t < edges && spans[t].left <= a.right; ++t) {
            const std::size_t i = a.edge, j = spans[t].edge;
            if (!neighbours(i, j) && crossProperly(p[i], p[(i + 1) % n], p[j], p[(j + 1) % n]))
                return true;
        }
    }
    return false;
}

template <bool Closed, bool Old>
void crossing(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<ContourPoint> p = Closed ? traced(n) : freehand(n);
    for (auto _ : state) {
        const bool crosses = Old ? oldCrossesItself(p, Closed) : crossesItself(p, Closed);
        if (crosses) state.SkipWithError("the outline crosses itself");
        benchmark::DoNotOptimize(crosses);
    }
}

template <bool Closed>
void measureOutline(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    ContourResult r;
    r.closed = Closed;
    r.contour = Closed ? traced(n) : freehand(n);
    r.context.width = 8200;
    r.context.height = 24600;
    for (auto _ : state)
        benchmark::DoNotOptimize(measure(r, GreyBufferView{nullptr, 8200, 24600}));
}

constexpr int k16 = 16384, k64 = 65536;
BENCHMARK(crossing<true, false>)
    ->Name("Outline/traced sweep")
    ->Arg(k16)
    ->Arg(k64)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(crossing<true, true>)
    ->Name("Outline/traced old")
    ->Arg(k16)
    ->Arg(k64)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(crossing<false, false>)
    ->Name("Outline/freehand sweep")
    ->Arg(k16)
    ->Arg(k64)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(crossing<false, true>)
    ->Name("Outline/freehand old")
    ->Arg(k16)
    ->Arg(k64)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(measureOutline<true>)
    ->Name("Outline/measure traced")
    ->Arg(k16)
    ->Arg(k64)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(measureOutline<false>)
    ->Name("Outline/measure freehand")
    ->Arg(k16)
    ->Arg(k64)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orvik::bench

BENCHMARK_MAIN();
