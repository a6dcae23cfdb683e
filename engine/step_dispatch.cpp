// Picks the kernel set the steps use, once: the newest instruction set the processor runs,
// unless ORVIK_STEP_LEVEL asks for another one. Every set gives the same bits; the variable
// is there to prove it (the golden runs are repeated with each) and to compare their speed.
#include "step_kernels.h"

#include <cstdlib>
#include <cstring>

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
    const auto asked = [wanted](const KernelSet& set) {
        return wanted != nullptr && std::strcmp(wanted, set.name) == 0;
    };
    if (asked(kernelsBaseline)) return kernelsBaseline;
#if defined(__x86_64__)
    __builtin_cpu_init();
    const bool v4 = runsV4();
    const bool v3 = v4 || runsV3();
    if (asked(kernelsV3) && v3) return kernelsV3;
    if (v4) return kernelsV4;
    if (v3) return kernelsV3;
#endif
    return kernelsBaseline;
}

} // namespace

const KernelSet& activeKernels() {
    static const KernelSet& kernels = chooseKernels();
    return kernels;
}

} // namespace orvik
