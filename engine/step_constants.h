// The constants of the forces, shared by the reference steps and the kernels of the fast
// path. Plain values only (see grey_view.h on what the kernels may include).
#pragma once

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

} // namespace orvik
