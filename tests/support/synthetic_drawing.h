// What the synthetic pictures and movies draw with: random numbers that are the same on every
// platform, the pixels near an ellipse, each pixel's cover by an ellipse, and a Gaussian blur.
#pragma once

#include "synthetic_ellipses.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace orvik::test::drawing {

// Uniform and Gaussian numbers from the engine's raw 32-bit output only: the standard
// distributions may differ between libraries, the engine does not.
class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    double uniform(double low, double high) {
        return low + (high - low) * ((engine_() + 0.5) / 4294967296.0);
    }
    double gaussian() { // Box–Muller
        const double u = uniform(0, 1), v = uniform(0, 1);
        return std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * v);
    }

private:
    std::mt19937 engine_;
};

// The pixels whose centre lies in `e` grown by `grow` on each semi-axis, as a callback per
// pixel within the picture.
template <typename Visit>
void forEachPixelNear(const Ellipse& e, double grow, int width, int height, Visit visit) {
    const Ellipse grown{e.x, e.y, e.semiA + grow, e.semiB + grow, e.angle};
    const double reach = std::max(grown.semiA, grown.semiB) + 1;
    const int x1 = std::max(0, static_cast<int>(e.x - reach)),
              x2 = std::min(width - 1, static_cast<int>(e.x + reach));
    const int y1 = std::max(0, static_cast<int>(e.y - reach)),
              y2 = std::min(height - 1, static_cast<int>(e.y + reach));
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x)
            if (grown.contains(x + 0.5, y + 0.5)) visit(static_cast<std::size_t>(y) * width + x);
}

// The share of pixel `i`'s area inside `e`, by 4 × 4 samples.
inline double cover(const Ellipse& e, std::size_t i, int width) {
    const double px = static_cast<double>(i % width), py = static_cast<double>(i / width);
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx)
            inside += e.contains(px + (sx + 0.5) / 4, py + (sy + 0.5) / 4);
    return inside / 16.0;
}

// Rows then columns, each with a normalised Gaussian kernel; the border pixel repeats.
std::vector<double> blurred(const std::vector<double>& grey, int width, int height, double sigma);

} // namespace orvik::test::drawing
