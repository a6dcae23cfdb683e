// The vector halves of a fast step: the per-point arithmetic of the four models run across
// points, several points to a register. A step is a simultaneous update, so the points are
// independent lanes; each lane performs exactly the operations of the scalar formulas in
// steps.cpp, in the same order, with the same roundings to float.
//
// step_kernels.cpp is compiled once per instruction set (x86-64-v4, v3 and the baseline),
// each copy in a namespace of its own; the step picks one set when the program starts
// (step_dispatch.cpp). This header therefore holds plain data and declarations only: no
// inline function that the copies could compile differently.
#pragma once

#include <cstdint>

namespace orvik {

// Points a fast step handles; larger contours take the checked path.
inline constexpr std::int32_t kKernelCapacity = 256;
// Rows hold two copies of the neighbours before the first and after the last point, so that
// the i ± 1 and i ± 2 of a closed contour need no wrapping: point i sits at [i + kGhosts].
inline constexpr std::int32_t kGhosts = 2;
// The last block of lanes may run past the last point, by up to seven lanes.
inline constexpr std::int32_t kRowLength = kKernelCapacity + 2 * kGhosts + 8;

// The parameters of a step, widened to double.
struct KernelWeights {
    double tension, rigidity, radius, formWeight;
    double centerX, centerY;
    double inertia, viscosity;
    double damping;       // inertia + viscosity
    double radiusSquared; // radius · radius
};

// What the kernels read and write, a row per quantity, every value a double (the float ones
// hold a float's value exactly). Rows are filled and read back by the scalar parts of a
// step; every index below is the point's index plus kGhosts.
struct KernelRows {
    alignas(64) double x[kRowLength]; // current level (model 1: the radius), with the ghosts
    alignas(64) double y[kRowLength];
    alignas(64) double olderX[kRowLength]; // older level
    alignas(64) double olderY[kRowLength];
    // Model 1: the direction of each point, and its pixel position.
    alignas(64) double cosTheta[kRowLength];
    alignas(64) double sinTheta[kRowLength];
    alignas(64) double px[kRowLength];
    alignas(64) double py[kRowLength];
    // "Standard": squared distance, floored distance and unit vector from the centre.
    alignas(64) double q[kRowLength];
    alignas(64) double d[kRowLength];
    alignas(64) double ux[kRowLength];
    alignas(64) double uy[kRowLength];
    // From the picture: the image pressure, the edge force, and for "Opened" the grey
    // differences across the pixel.
    alignas(64) double pressure[kRowLength];
    alignas(64) double edgeX[kRowLength];
    alignas(64) double edgeY[kRowLength];
    alignas(64) double gradX[kRowLength];
    alignas(64) double gradY[kRowLength];
    // Results: the new values for the older level and each point's energy term.
    alignas(64) double newX[kRowLength];
    alignas(64) double newY[kRowLength];
    alignas(64) double energy[kRowLength];
};

// One instruction set's kernels. Each works on the points first .. last − 1.
struct KernelSet {
    const char* name;
    // Model 1: pixel positions from the radii and directions.
    void (*centerPositions)(KernelRows&, const KernelWeights&, std::int32_t first,
                            std::int32_t last);
    void (*centerForces)(KernelRows&, const KernelWeights&, std::int32_t first, std::int32_t last);
    // "Standard": the radial half (distance, unit vector), then the forces.
    void (*standardRadials)(KernelRows&, const KernelWeights&, std::int32_t first,
                            std::int32_t last);
    void (*standardForces)(KernelRows&, const KernelWeights&, std::int32_t first,
                           std::int32_t last);
    void (*balloonForces)(KernelRows&, const KernelWeights&, std::int32_t first, std::int32_t last);
    // "Opened" also needs the point count: its end points lack a second neighbour.
    void (*openedForces)(KernelRows&, const KernelWeights&, std::int32_t first, std::int32_t last,
                         std::int32_t n);
};

extern const KernelSet kernelsBaseline;

// The set the steps use: the newest this processor runs, chosen at the first call. The
// environment variable ORVIK_STEP_LEVEL ("x86-64-v4", "x86-64-v3" or "baseline") asks for
// another one; a set the processor cannot run is never chosen.
const KernelSet& activeKernels();
#if defined(__x86_64__)
extern const KernelSet kernelsV3;
extern const KernelSet kernelsV4;
#endif

} // namespace orvik
