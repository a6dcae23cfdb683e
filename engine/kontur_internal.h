// Engine internals shared by its source files and its tests: wrapped pixel offsets, the
// arithmetic the steps are written in, the edge force, the per-point updates of the reference
// steps, and the entry points that run steps.
#pragma once

#include "checked_float.h"
#include "grey_view.h"
#include "kontur.h"
#include "step_constants.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace orvik {

// A pixel coordinate moved by d, wrapping like the 32-bit registers it models: a diverged
// contour can hand over any 32-bit value, and Sample treats the result as unsigned anyway.
inline std::int32_t shiftedPixel(std::int32_t v, std::int32_t d) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) + static_cast<std::uint32_t>(d));
}

// Two quotients formed side by side.
struct Quotients {
    double first;
    double second;
};

// The arithmetic the steps are written in: every stored value goes through store, every
// real-to-integer conversion through trunc, every division whose divisor may be zero
// through divide.
//
// CheckedArithmetic raises the floating-point errors where they occur; divide tests for a
// zero divisor, and the pair form divides the first pair before the second.
struct CheckedArithmetic {
    static float store(double v) { return toSingleChecked(v); }
    // The square root of a float, computed in double and stored.
    static float root(float v) { return store(std::sqrt(static_cast<double>(v))); }
    static std::int32_t trunc(double v) { return truncChecked(v); }
    static double divide(double num, double den) { return divideChecked(num, den); }
    static Quotients divide(double num1, double den1, double num2, double den2) {
        const double first = divide(num1, den1);
        return {first, divide(num2, den2)};
    }
};

// PlainArithmetic gives the same bits as CheckedArithmetic but tests nothing. The fast path
// reads the picture with it (the edge force and the pixel under a point), where its inputs
// are known to keep every value far inside the ranges (see StepParameters::weightsInRange in
// step_paths.h); the steps themselves run in the kernels of step_kernels.cpp.
struct PlainArithmetic {
    static float store(double v) { return static_cast<float>(v); }
    static std::int32_t trunc(double v) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(v)));
    }
};

// The view of the image bound now (BindImage).
GreyView currentGreyView();

// Gradient magnitude from two whole-number differences, squared and summed as integers.
inline float gradientMagnitude(int along, int across) {
    const std::int32_t sum = along * along + across * across;
    return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

// The edge force at pixel (x, y): the central difference of the gradient magnitudes at the
// four neighbours, weighted by `weight` and scaled so that it never exceeds |weight|.
template <typename Arithmetic>
void edgeForce(const GreyView& image, float weight, std::int32_t x, std::int32_t y, float& fx,
               float& fy);

// A zero weight takes no samples; the common case, so it is decided inline.
template <typename Arithmetic>
inline void edgeForceOrZero(const GreyView& image, float weight, std::int32_t x, std::int32_t y,
                            float& fx, float& fy) {
    if (weight == 0.0f) {
        fx = Arithmetic::store(kEdgeScale * 0.0f);
        fy = fx;
        return;
    }
    edgeForce<Arithmetic>(image, weight, x, y, fx, fy);
}

template <typename Arithmetic>
void edgeForce(const GreyView& image, float weight, std::int32_t x, std::int32_t y, float& fx,
               float& fy) {
    float ax = 0;
    float ay = 0;
    if (weight != 0.0f) {
        int c, l2, r2, u2, d2, ul, dl, ur, dr;
        if (holdsNeighbourhood(image, x, y)) {
            // Well inside the image: the nine pixels straight from the buffer.
            const std::ptrdiff_t row = image.width;
            const std::uint8_t* p = image.grey + static_cast<std::ptrdiff_t>(y) * row + x;
            c = p[0];
            l2 = p[-2];
            r2 = p[2];
            u2 = p[-2 * row];
            d2 = p[2 * row];
            ul = p[-row - 1];
            dl = p[row - 1];
            ur = p[-row + 1];
            dr = p[row + 1];
        } else {
            c = greyLevel(image, x, y);
            l2 = greyLevel(image, shiftedPixel(x, -2), y);
            r2 = greyLevel(image, shiftedPixel(x, 2), y);
            u2 = greyLevel(image, x, shiftedPixel(y, -2));
            d2 = greyLevel(image, x, shiftedPixel(y, 2));
            ul = greyLevel(image, shiftedPixel(x, -1), shiftedPixel(y, -1));
            dl = greyLevel(image, shiftedPixel(x, -1), shiftedPixel(y, 1));
            ur = greyLevel(image, shiftedPixel(x, 1), shiftedPixel(y, -1));
            dr = greyLevel(image, shiftedPixel(x, 1), shiftedPixel(y, 1));
        }
        // Magnitudes at the four 4-neighbours, each from a difference along the line to
        // (x, y) and one across it, both spanning two pixels.
        const float up = gradientMagnitude(u2 - c, ur - ul);
        const float down = gradientMagnitude(d2 - c, dr - dl);
        const float left = gradientMagnitude(l2 - c, dl - ul);
        const float right = gradientMagnitude(r2 - c, dr - ur);
        ax = Arithmetic::store((static_cast<double>(right) - left) * weight + ax);
        ay = Arithmetic::store((static_cast<double>(down) - up) * weight + ay);
    }
    fx = Arithmetic::store(kEdgeScale * ax);
    fy = Arithmetic::store(kEdgeScale * ay);
}

// One point's share of a step, with every check: reads the current level (Iteration's low
// bit) and the point's own older value, writes the point's new value(s) into the older
// level (x before y), and returns the point's term of the energy sum. Points may be updated
// in any order. UpdateOpenedPoint takes the movable points 1 .. N - 2 only.
double UpdateCenterPoint(KONTUR& k, std::int32_t i);
double UpdateStandardPoint(KONTUR& k, std::int32_t i);
double UpdateBalloonPoint(KONTUR& k, std::int32_t i);
double UpdateOpenedPoint(KONTUR& k, std::int32_t i);

// One step of the model k.ModelKind names; nothing before Init.
void StepModel(KONTUR& k, StepScratch& scratch);

// `count` steps of the model k.ModelKind names, leaving what `count` calls of StepModel leave
// (the same points, Energy and Iteration, and the same error where one fails), without
// writing the points and the energy back between steps where nothing can fail. `continuing`
// says that they carry on steps of the same model in the same Run, with nothing in between
// that could rewrite the picture: what the scratch remembers of it may still hold.
// Otherwise it is read afresh.
void StepModelRepeatedly(KONTUR& k, StepScratch& scratch, std::int64_t count,
                         bool continuing = false);

// One step of the model k.ModelKind names on the reference path: every point in turn with
// every check, as the fast path must match it. Needs no scratch.
void StepReference(KONTUR& k);

} // namespace orvik
