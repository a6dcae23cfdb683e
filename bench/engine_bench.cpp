// Run of every contour model on a 640 × 480 picture of a dark disc, with the window's
// default fields: at the default size (32 points, 100 iterations) and at the largest one
// the fields allow (200 points, 32760 iterations), each without and with the edge force
// ("Gradient = 20"), and a balloon that grows out of the picture. Reports nanoseconds per
// point-iteration.
#include "bench_scene.h"
#include "checked_float.h"

#include <benchmark/benchmark.h>
#include <string>

namespace orvik::bench {
namespace {

struct ModelCase {
    ModelChoice model;
    const char* name;
};

constexpr ModelCase kModels[] = {
    {ModelChoice::CenterPoint, "center"},
    {ModelChoice::Standard, "standard"},
    {ModelChoice::Balloon, "balloon"},
    {ModelChoice::Opened, "opened"},
};

struct SizeCase {
    int points;
    int iterations;
    int gradient;  // the "Gradient =" field; -1 keeps the window's default
    int threshold; // the "Threshold =" field; -1 keeps the window's default
    const char* name;
};

constexpr SizeCase kSizes[] = {
    {32, 100, -1, -1, "defaults"},
    {200, 32760, -1, -1, "maximum"},
    // The default gradient weight is 0, which skips the edge force altogether; these cases
    // pay for it as well.
    {32, 100, 20, -1, "defaults_edge"},
    {200, 32760, 20, -1, "maximum_edge"},
};

// A balloon whose threshold lies above every grey level of the picture is pushed outward
// everywhere inside it: it grows out over the border and spends most of its steps with its
// points outside, where every pixel reads the same value.
constexpr SizeCase kOutside[] = {
    {200, 2000, -1, 1020, "outside"},
    {200, 2000, 20, 1020, "outside_edge"},
};

const GreyPicture& picture() {
    static const GreyPicture disc = enginePicture();
    return disc;
}

void runBenchmark(benchmark::State& state, ModelChoice model, SizeCase size) {
    picture().bind();
    ControlValues values = windowDefaults(picture(), model, size.points, size.iterations);
    if (size.gradient >= 0) at(values.fields, Field::Gradient) = size.gradient;
    if (size.threshold >= 0) at(values.fields, Field::Threshold) = size.threshold;
    const InitialState initial(values);
    KONTUR k;
    initial.init(k);
    StepScratch scratch;
    SetRunHooks({});
    try {
        for (auto _ : state) {
            // Every repetition is a whole analysis: Init, untimed, then Run. (Putting the
            // points back without Init would keep what the engine's scratch held before Init
            // emptied it, which no analysis sees.)
            state.PauseTiming();
            initial.init(k);
            state.ResumeTiming();
            Run(k, scratch);
            // Run lives in another library and writes through k, so nothing is optimised
            // away. (DoNotOptimize on a double is miscompiled by this GCC.)
            benchmark::ClobberMemory();
        }
    } catch (const FloatingPointError& error) {
        state.SkipWithError(error.what());
        return;
    }
    const double pointIterations =
        static_cast<double>(initial.pointIterations()) * static_cast<double>(state.iterations());
    // Seconds per point-iteration, shown with an SI prefix ("n" for nanoseconds).
    state.counters["per_point_iteration"] = benchmark::Counter(
        pointIterations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["point_iterations"] = static_cast<double>(initial.pointIterations());
    state.counters["energy"] = k.Energy;
}

void registerRun(const ModelCase& m, const SizeCase& s) {
    const std::string name = std::string("Run/") + m.name + "/" + s.name;
    benchmark::RegisterBenchmark(name.c_str(), runBenchmark, m.model, s)
        ->Unit(s.iterations > 1000 ? benchmark::kMillisecond : benchmark::kMicrosecond)
        ->UseRealTime();
}

[[maybe_unused]] const bool registered = [] {
    for (const ModelCase& m : kModels) {
        for (const SizeCase& s : kSizes)
            registerRun(m, s);
    }
    for (const SizeCase& s : kOutside)
        registerRun(kModels[2], s);
    return true;
}();

} // namespace
} // namespace orvik::bench

BENCHMARK_MAIN();
