// Engine internals shared by its source files and its tests: the constants of the forces,
// wrapped pixel offsets and the per-point updates that the four steps loop over.
#pragma once

#include "kontur.h"

#include <cstdint>
#include <numbers>

namespace orvik {

// 1 / (255·√2): the largest gradient magnitude of 8-bit grey levels, inverted.
inline constexpr double kEdgeScale = 0.0027729677693590099;

// The full turn used for the point directions.
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Smallest distance, chord length, shape divisor and radius the steps work with.
inline constexpr float kFloor = 0.2f;

// Largest radius of the centre point model.
inline constexpr float kMaxRadius = 10000.0f;

// A pixel coordinate moved by d, wrapping like the 32-bit registers it models: a diverged
// contour can hand over any 32-bit value, and Sample treats the result as unsigned anyway.
inline std::int32_t shiftedPixel(std::int32_t v, std::int32_t d) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) + static_cast<std::uint32_t>(d));
}

// One point's share of a step: reads the current level (Iteration's low bit) and the
// point's own older value, writes the point's new value(s) into the older level (x before
// y), and returns the point's term of the energy sum. Points may be updated in any order.
// UpdateOpenedPoint takes the movable points 1 .. N - 2 only.
double UpdateCenterPoint(KONTUR& k, std::int32_t i);
double UpdateStandardPoint(KONTUR& k, std::int32_t i);
double UpdateBalloonPoint(KONTUR& k, std::int32_t i);
double UpdateOpenedPoint(KONTUR& k, std::int32_t i);

} // namespace orvik
