// Engine internals shared by its source files and its tests: the constants of the forces,
// wrapped pixel offsets, the arithmetic the steps are written in, the image as a step sees
// it, the edge force, and the per-point updates that the four steps loop over.
#pragma once

#include "checked_float.h"
#include "kontur.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// PlainArithmetic gives the same bits as CheckedArithmetic but tests nothing. A step uses it
// only when its inputs are known to keep every value far inside the ranges (see
// StepParameters::inRange in steps.cpp). It also computes faster where the result is the same:
// - root takes the square root in float: a double carries more than twice the digits of a
//   float, so its root rounded to float equals the correctly rounded float root;
// - the pair form of divide runs both divisions in one instruction where the processor has
//   one for two doubles, each half rounding exactly like a lone division.
struct PlainArithmetic {
    static float store(double v) { return static_cast<float>(v); }
    static float root(float v) { return std::sqrt(v); }
    static std::int32_t trunc(double v) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(v)));
    }
    static double divide(double num, double den) { return num / den; }
    static Quotients divide(double num1, double den1, double num2, double den2) {
#if defined(__SSE2__)
        const __m128d q = _mm_div_pd(_mm_set_pd(num2, num1), _mm_set_pd(den2, den1));
        return {_mm_cvtsd_f64(q), _mm_cvtsd_f64(_mm_unpackhi_pd(q, q))};
#else
        return {num1 / den1, num2 / den2};
#endif
    }
};

// The image as the sampling rule sees it at one moment: the bound grey buffer, its size and
// the outside value of the selected polarity. A step takes one view when it starts, since
// nothing can load an image or change the polarity while a step runs.
struct GreyView {
    const std::uint8_t* grey = nullptr;
    std::uint32_t width = 0; // 0 (and height 0) while no image is bound
    std::uint32_t height = 0;
    int outside = 255; // 255 for "Black on white", 0 for "White on black"

    // Grey level of pixel (x, y), or the outside value; negative coordinates turn into huge
    // unsigned values, so one test per axis covers both ends of the image.
    int sample(std::int32_t x, std::int32_t y) const {
        if (static_cast<std::uint32_t>(x) < width && static_cast<std::uint32_t>(y) < height)
            return grey[static_cast<std::size_t>(y) * width + static_cast<std::uint32_t>(x)];
        return outside;
    }

    // True when the 5 × 5 pixels centred on (x, y) all lie inside the image.
    bool holdsNeighbourhood(std::int32_t x, std::int32_t y) const {
        return width >= 5 && height >= 5 && static_cast<std::uint32_t>(x) - 2u <= width - 5u &&
               static_cast<std::uint32_t>(y) - 2u <= height - 5u;
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
        if (image.holdsNeighbourhood(x, y)) {
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
            c = image.sample(x, y);
            l2 = image.sample(shiftedPixel(x, -2), y);
            r2 = image.sample(shiftedPixel(x, 2), y);
            u2 = image.sample(x, shiftedPixel(y, -2));
            d2 = image.sample(x, shiftedPixel(y, 2));
            ul = image.sample(shiftedPixel(x, -1), shiftedPixel(y, -1));
            dl = image.sample(shiftedPixel(x, -1), shiftedPixel(y, 1));
            ur = image.sample(shiftedPixel(x, 1), shiftedPixel(y, -1));
            dr = image.sample(shiftedPixel(x, 1), shiftedPixel(y, 1));
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
void StepModel(KONTUR& k);

// `count` steps of the model k.ModelKind names, leaving what `count` calls of StepModel leave
// (the same points, Energy and Iteration, and the same error where one fails), without
// writing the points and the energy back between steps where nothing can fail. `continuing`
// says that they carry on steps of the same Run, with nothing in between that could rewrite
// the picture: what the points remember of it still holds. Otherwise they read it afresh.
void StepModelRepeatedly(KONTUR& k, std::int64_t count, bool continuing = false);

} // namespace orvik
