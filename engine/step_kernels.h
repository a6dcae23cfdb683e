// The vector halves of a fast step: the per-point arithmetic of the four models run across
// points, several points to a register. A step is a simultaneous update, so the points are
// independent lanes; each lane gives exactly the bits of the reference steps
// (reference_steps.cpp),
// with the same operations in the same order and the same roundings to float.
//
// step_kernels.cpp is compiled once per instruction set (x86-64-v4, v3 and the baseline),
// each copy in a namespace of its own; the step picks one set when the program starts
// (step_dispatch.cpp). This header therefore holds plain data and declarations only: no
// inline function that the copies could compile differently.
#pragma once

#include "grey_view.h"

#include <cstdint>
#include <span>

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

// The places in which a point remembers the pixels it read (KernelRows::readPixel).
inline constexpr std::int32_t kPixelPlaces = 4;
inline constexpr std::int32_t kNoPixelRead = -1;

// What the kernels read and write, a row per quantity, every value a double (the float ones
// hold a float's value exactly). Rows are filled and read back by the scalar parts of a
// step; every index below is the point's index plus kGhosts.
struct KernelRows {
    // Each coordinate has three rows (model 1 uses x alone, for the radius); KernelLevels
    // says which holds the current level, which the older one and which receives the new
    // values. Between steps the three trade places, so the contour stays in the rows for as
    // many steps as the fast path runs.
    alignas(64) double x[3][kRowLength];
    alignas(64) double y[3][kRowLength];
    // Model 1: the direction of each point, and its pixel position.
    alignas(64) double cosTheta[kRowLength];
    alignas(64) double sinTheta[kRowLength];
    alignas(64) double px[kRowLength];
    alignas(64) double py[kRowLength];
    // "Standard": squared distance, floored distance and unit vector from the centre (in
    // floats: the kernels use it only in products with other floats).
    alignas(64) double q[kRowLength];
    alignas(64) double d[kRowLength];
    alignas(64) float ux[kRowLength];
    alignas(64) float uy[kRowLength];
    // From the picture: the image pressure, the edge force, and for "Opened" the grey
    // differences across the pixel.
    alignas(64) double pressure[kRowLength];
    alignas(64) double edgeX[kRowLength];
    alignas(64) double edgeY[kRowLength];
    alignas(64) double gradX[kRowLength];
    alignas(64) double gradY[kRowLength];
    // Each point's term of the energy sum.
    alignas(64) double energy[kRowLength];
    // The pixel each point's pressure, edge force and grey differences above were read at,
    // so that a point that stays on its pixel from one step to the next is not read again.
    // Only the scalar parts of a step use them.
    alignas(64) std::int32_t pixelX[kRowLength];
    alignas(64) std::int32_t pixelY[kRowLength];
    // What each point of a closed contour read at the last pixels it visited: the pixel's
    // index in the picture's frame (grey_view.h), or kNoPixelRead, its image pressure and its
    // edge force, in kPixelPlaces places. A new pixel takes the place of the oldest one;
    // readNext says which that is. A point that settles wanders among a few pixels, so it
    // reads each of them once.
    alignas(64) std::int32_t readPixel[kPixelPlaces][kRowLength];
    alignas(64) float readPressure[kPixelPlaces][kRowLength];
    alignas(64) float readEdgeX[kPixelPlaces][kRowLength];
    alignas(64) float readEdgeY[kPixelPlaces][kRowLength];
    alignas(64) std::int32_t readNext[kRowLength];
};

// Which of a coordinate's three rows plays which part in one step.
struct KernelLevels {
    std::int32_t current; // read, with its ghosts
    std::int32_t older;   // read at the point's own index only
    std::int32_t fresh;   // receives the new values
};

// The largest magnitude a coordinate may have for a step to take the fast path.
inline constexpr double kKernelLimit = 0x1p20;

// The picture as the kernels read it: a picture of at least 8 pixels whose frame (grey_view.h)
// has fewer than 2^31, and the two weights of the image pressure.
struct KernelPicture {
    GreyView image;
    double threshold, imageWeight;
};

// One instruction set's kernels. Each works on the points first .. last − 1. The force
// kernels write the new values and the energy terms, and return true when every new value
// lies within ±kKernelLimit (false for a NaN), so that the next step may take the fast path
// as well.
struct KernelSet {
    const char* name;
    // Model 1: pixel positions from the radii and directions.
    void (*centerPositions)(KernelRows&, const KernelWeights&, KernelLevels, std::int32_t first,
                            std::int32_t last);
    bool (*centerForces)(KernelRows&, const KernelWeights&, KernelLevels, std::int32_t first,
                         std::int32_t last);
    // "Standard": the radial half (distance, unit vector), then the forces.
    void (*standardRadials)(KernelRows&, const KernelWeights&, KernelLevels, std::int32_t first,
                            std::int32_t last);
    bool (*standardForces)(KernelRows&, const KernelWeights&, KernelLevels, std::int32_t first,
                           std::int32_t last);
    bool (*balloonForces)(KernelRows&, const KernelWeights&, KernelLevels, std::int32_t first,
                          std::int32_t last);
    // The image pressure (grey level − threshold)·weight, rounded to float, under the pixel
    // positions xs, ys (truncated toward zero) of the points of a closed contour.
    void (*picturePressure)(KernelRows&, const KernelPicture&, const double* xs, const double* ys,
                            std::int32_t first, std::int32_t last);
    // The image pressure and the edge force under the pixel positions xs, ys (truncated
    // toward zero) of each point of a closed contour that finds its pixel (its index in the
    // picture's frame) in rows.readPixel, or lies beyond the frame, where they are the
    // outside value's pressure and zero; into rows.pressure, edgeX and edgeY. The row indices
    // of the other points go into `missed`, in order; returns how many there are. `missed`
    // has room for eight entries beyond the last point's: a whole block may be written at
    // once.
    std::int32_t (*rememberedPixels)(KernelRows&, const KernelPicture&, const double* xs,
                                     const double* ys, std::int32_t first, std::int32_t last,
                                     std::int32_t* missed);
    // "Opened" also needs the point count: its end points lack a second neighbour.
    bool (*openedForces)(KernelRows&, const KernelWeights&, KernelLevels, std::int32_t first,
                         std::int32_t last, std::int32_t n);
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
// Every set this processor runs, the baseline first.
std::span<const KernelSet* const> runnableKernelSets();

} // namespace orvik
