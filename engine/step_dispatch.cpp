// Picks the kernel set the steps use, once: the newest instruction set the processor runs,
// unless ORVIK_STEP_LEVEL asks for another one. Every set gives the same bits; the variable
// is there to prove it (the golden runs are repeated with each) and to compare their speed.
#include "step_kernels.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <span>

namespace orvik {

namespace {

#if defined(__x86_64__)
bool runsV4() {
#if defined(__clang__)
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
#else
    return __builtin_cpu_supports("x86-64-v4");
#endif
}

bool runsV3() {
#if defined(__clang__)
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
#else
    return __builtin_cpu_supports("x86-64-v3");
#endif
}
#endif

const KernelSet& chooseKernels() {
    const char* wanted = std::getenv("ORVIK_STEP_LEVEL");
    const std::span<const KernelSet* const> sets = runnableKernelSets();
    for (const KernelSet* set : sets)
        if (wanted != nullptr && std::strcmp(wanted, set->name) == 0) return *set;
    return *sets.back();
}

// The sets in the order of runnableKernelSets, and how many there are.
struct RunnableSets {
    std::array<const KernelSet*, 3> sets{&kernelsBaseline};
    std::size_t count = 1;

    RunnableSets() {
#if defined(__x86_64__)
        __builtin_cpu_init();
        const bool v4 = runsV4();
        if (v4 || runsV3()) sets[count++] = &kernelsV3;
        if (v4) sets[count++] = &kernelsV4;
#endif
    }
};

} // namespace

std::span<const KernelSet* const> runnableKernelSets() {
    static const RunnableSets runnable;
    return {runnable.sets.data(), runnable.count};
}

const KernelSet& activeKernels() {
    static const KernelSet& kernels = chooseKernels();
    return kernels;
}

} // namespace orvik
