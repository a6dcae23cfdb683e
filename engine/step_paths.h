// The two paths a step can take, as the dispatch (steps.cpp) sees them: the reference steps
// (reference_steps.cpp), every point in turn with every check, and the fast path
// (fast_steps.cpp), the same formulas lane by lane across points. Both give the same bits;
// the fast path runs only where nothing can fail.
#pragma once

#include "kontur.h"
#include "kontur_internal.h"
#include "step_kernels.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <span>

namespace orvik {

class DirectionTable;

// Everything one step reads besides the points, taken from the record when the step starts:
// nothing changes them while it runs.
struct StepParameters {
    float* points;
    std::int32_t n;
    // The pinned points (KONTUR::Pinned): none for a contour without a pin, whose steps then
    // run exactly as they did before pins existed.
    std::span<const std::int32_t> pinned;
    GreyView image;
    // Widened once here rather than at every use.
    double tension, rigidity, radius, formWeight, imageWeight, threshold;
    float gradientWeight;
    double centerX, centerY;
    double inertia, viscosity;
    double damping;       // inertia + viscosity, the divisor of the time step
    double radiusSquared; // radius · radius

    explicit StepParameters(const KONTUR& k)
        : points(k.Points.get()), n(k.PointCount), pinned(k.Pinned), image(currentGreyView()),
          tension(k.Tension), rigidity(k.Rigidity), radius(k.Radius), formWeight(k.FormWeight),
          imageWeight(k.ImageWeight), threshold(k.Threshold), gradientWeight(k.GradientWeight),
          centerX(k.CenterX), centerY(k.CenterY), inertia(k.Inertia), viscosity(k.Viscosity),
          damping(inertia + viscosity), radiusSquared(radius * radius) {}

    KernelWeights kernelWeights() const {
        return {tension, rigidity, radius,    formWeight, centerX,
                centerY, inertia,  viscosity, damping,    radiusSquared};
    }

    // True when no operation of a step can raise a floating-point error, so that it may take
    // the fast path. Every coordinate and weight then has a magnitude of at most 2^20, the
    // divisors radius and inertia + viscosity at least 2^-20, and the floors keep the other
    // divisors at 0.2 or more; the largest intermediate, (q / radius)·FormWeight, stays below
    // 2^85 and the time step's quotient below 2^106, far from the float limit (2^128) and
    // from the 2^63 of a truncation. Any state outside these bounds, and point counts below
    // 3 or beyond the kernels' capacity, take the reference path. Here the weights and the
    // count; the coordinates are tested while the fast path reads them (FastRun::widen) and
    // as its kernels make them.
    bool weightsInRange() const {
        if (n < 3 || n > kKernelCapacity || points == nullptr) return false;
        bool small = true;
        for (const double weight :
             {tension, rigidity, radius, formWeight, imageWeight, threshold,
              static_cast<double>(gradientWeight), centerX, centerY, inertia, viscosity})
            small &= std::fabs(weight) <= kLarge; // false for a NaN too
        return small && std::fabs(damping) >= kSmall && std::fabs(radius) >= kSmall;
    }

    // The coordinates' side of the test, on the bits: magnitudes, infinities and NaNs
    // included, order as integers, and adding kRaise sets the top bit exactly for those above
    // 2^20. OR-ing outOfRange over every float leaves the top bit clear when all are in range.
    static std::uint32_t outOfRange(float v) {
        constexpr std::uint32_t kLargeBits =
            std::bit_cast<std::uint32_t>(static_cast<float>(kLarge));
        constexpr std::uint32_t kRaise = 0x7fffffffu - kLargeBits;
        return (std::bit_cast<std::uint32_t>(v) & 0x7fffffffu) + kRaise;
    }

    static constexpr double kLarge = kKernelLimit;
    static constexpr double kSmall = 0x1p-20;
};

// The points a step of `model` moves, first .. last − 1, and the divisor of its energy: every
// point of a closed contour, the N − 2 inner points of "Opened", whose ends stay where Init
// put them.
struct MovablePoints {
    std::int32_t first, last;
    double energyDivisor;
};
inline MovablePoints movablePoints(std::int32_t model, std::int32_t n) {
    if (model == 4) return {1, n - 1, n - 2.0};
    return {0, n, static_cast<double>(n)};
}

// After a step of `model` that read level `read` of the point buffer and wrote the other one:
// each pinned point gets back in the written level the values it had in the read one, so a
// step leaves it where it is (model 1: its radius). The other points' new values read the
// pinned point where it stands, as a step is a simultaneous update, so holding it after the
// step is the same as never moving it. Indices outside the movable points are skipped.
void holdPinned(const StepParameters& parameters, std::int32_t model, std::int32_t read);

// One step of `model` (1 to 4) on the reference path: visits the movable points in
// ascending order with every check, adding their energy terms to k.Energy point by point, so
// that an error leaves the partial sum. Neither divides the energy nor advances Iteration.
// `directions` may be null (the directions are then worked out at each point).
void referenceStep(KONTUR& k, std::int32_t model, const StepParameters& parameters,
                   const DirectionTable* directions);

// Up to `count` steps of `model` (1 to 4) on the fast path, the weights being in range:
// returns how many it did, with the last one's energy sum (undivided) in `energy`. Stops after
// a step whose new values leave the fast path's range, so that the next one takes the
// reference path. Returns 0, having written nothing but the scratch's rows, when a coordinate
// is out of range from the start.
std::int64_t fastSteps(KONTUR& k, std::int32_t model, const StepParameters& parameters,
                       ScratchSpace& space, std::int64_t count, double& energy);

} // namespace orvik
