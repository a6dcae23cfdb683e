// The process-wide contour model and Init: parameters, point buffer and the initial shapes.
#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace orvik {

KONTUR Kontur;

namespace {

// Half of |to − from|, halved toward zero, as a float no smaller than 2.
float halfExtent(std::int32_t from, std::int32_t to) {
    const std::int64_t half = std::llabs(std::int64_t{to} - from) / 2;
    return std::max(static_cast<float>(half), 2.0f);
}

// Both levels of point i.
void setPoint(KONTUR& k, std::int32_t i, float x, float y) {
    pointX(k, i, 0) = x;
    pointX(k, i, 1) = x;
    pointY(k, i, 0) = y;
    pointY(k, i, 1) = y;
}

// Distance from the centre to the ellipse with half-axes a (x) and b (y) in direction θ.
// Going through atan of the scaled tangent keeps r = b where tan θ is huge.
float ellipseRadius(float theta, float a, float b) {
    const float phi = static_cast<float>(std::atan(std::tan(static_cast<double>(theta)) * a / b));
    const float cosPhi = static_cast<float>(std::cos(static_cast<double>(phi)));
    const float sinPhi = static_cast<float>(std::sin(static_cast<double>(phi)));
    const float alongX = static_cast<float>(static_cast<double>(a) * cosPhi);
    const float alongY = static_cast<float>(static_cast<double>(b) * sinPhi);
    const float squareX = static_cast<float>(static_cast<double>(alongX) * alongX);
    const float squareY = static_cast<float>(static_cast<double>(alongY) * alongY);
    return static_cast<float>(std::sqrt(static_cast<double>(squareX) + squareY));
}

void buildCenterPoint(KONTUR& k, float a, float b) {
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        const float r = ellipseRadius(pointAngle(i, k.PointCount), a, b);
        setPoint(k, i, r, r);
    }
}

// Point 0 at the bottom of the ellipse, then counter-clockwise on the screen: sine feeds x.
void buildEllipse(KONTUR& k, float a, float b) {
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        const double theta = pointAngle(i, k.PointCount);
        const float x = toSingleChecked(k.CenterX + a * std::sin(theta));
        const float y = toSingleChecked(k.CenterY + b * std::cos(theta));
        setPoint(k, i, x, y);
    }
}

// Evenly spaced from the first corner to the second, both ends exact.
void buildChain(KONTUR& k) {
    const double spanX = static_cast<double>(k.BoxX2) - k.BoxX1;
    const double spanY = static_cast<double>(k.BoxY2) - k.BoxY1;
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        const double t = divideChecked(i, k.PointCount - 1.0);
        const float x = toSingleChecked(k.BoxX1 + t * spanX);
        const float y = toSingleChecked(k.BoxY1 + t * spanY);
        setPoint(k, i, x, y);
    }
}

} // namespace

float pointAngle(std::int32_t i, std::int32_t n) {
    return static_cast<float>(static_cast<double>(i) / n * kTwoPi);
}

Direction pointDirection(std::int32_t i, std::int32_t n) {
    const auto direct = [](std::int32_t i, std::int32_t n) -> Direction {
        const double theta = pointAngle(i, n);
        return {static_cast<float>(std::cos(theta)), static_cast<float>(std::sin(theta))};
    };
    // Drawing, outlines and following ask for the directions of one point count over and over;
    // the last count's on this thread are kept (the same floats, no allocation).
    constexpr std::int32_t kKept = 256;
    thread_local std::array<Direction, kKept> kept;
    thread_local std::int32_t keptCount = 0;
    if (n <= 0 || n > kKept || i < 0 || i >= n) return direct(i, n);
    if (keptCount != n) {
        for (std::int32_t j = 0; j < n; ++j)
            kept[static_cast<std::size_t>(j)] = direct(j, n);
        keptCount = n;
    }
    return kept[static_cast<std::size_t>(i)];
}

void CopyKonturParameters(const KONTUR& from, KONTUR& to) {
    to.ModelKind = from.ModelKind;
    to.PointCount = from.PointCount;
    to.Tension = from.Tension;
    to.Rigidity = from.Rigidity;
    to.Radius = from.Radius;
    to.FormWeight = from.FormWeight;
    to.ImageWeight = from.ImageWeight;
    to.Threshold = from.Threshold;
    to.GradientWeight = from.GradientWeight;
    to.Inertia = from.Inertia;
    to.Viscosity = from.Viscosity;
    to.Iterations = from.Iterations;
    to.CenterX = from.CenterX;
    to.CenterY = from.CenterY;
    to.BoxX1 = from.BoxX1;
    to.BoxY1 = from.BoxY1;
    to.BoxX2 = from.BoxX2;
    to.BoxY2 = from.BoxY2;
}

KONTUR CopyKontur(const KONTUR& from) {
    KONTUR to;
    CopyKonturParameters(from, to);
    to.Iteration = from.Iteration;
    to.Energy = from.Energy;
    to.Pinned = from.Pinned;
    // Before the first Init there is no buffer to copy.
    if (from.Points) {
        const std::size_t floats = pointBufferSize(from.PointCount);
        to.Points = std::make_unique_for_overwrite<float[]>(floats);
        std::copy_n(from.Points.get(), floats, to.Points.get());
    }
    return to;
}

void Init(KONTUR& k, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
          std::int32_t modelKind, std::int32_t pointCount, float tension, float rigidity,
          float radius, float formWeight, float imageWeight, float threshold, float gradientWeight,
          float inertia, float viscosity, std::int32_t iterations) {
    // Acquired first: should it fail, the model keeps its previous contour whole. A negative
    // count gets an empty buffer, which every loop then skips.
    auto points = std::make_unique_for_overwrite<float[]>(pointBufferSize(pointCount));

    k.ModelKind = modelKind;
    k.PointCount = pointCount;
    k.Tension = tension;
    k.Rigidity = rigidity;
    k.Radius = radius;
    k.FormWeight = formWeight;
    k.ImageWeight = imageWeight;
    k.Threshold = threshold;
    k.GradientWeight = gradientWeight;
    k.Inertia = inertia;
    k.Viscosity = viscosity;
    k.Iterations = iterations;
    k.Points = std::move(points);
    k.Pinned.clear();
    k.Iteration = 0;
    // Summed in double so that no corner values can overflow; an odd sum lands on a half pixel.
    k.CenterX = static_cast<float>((static_cast<double>(x1) + x2) * 0.5);
    k.CenterY = static_cast<float>((static_cast<double>(y1) + y2) * 0.5);
    const float a = halfExtent(x1, x2);
    const float b = halfExtent(y1, y2);
    k.BoxX1 = static_cast<float>(x1);
    k.BoxY1 = static_cast<float>(y1);
    k.BoxX2 = static_cast<float>(x2);
    k.BoxY2 = static_cast<float>(y2);
    k.Energy = 0;
    if (k.ModelKind < 1 || k.ModelKind > 4) k.ModelKind = 1;

    switch (k.ModelKind) {
    case 1:
        buildCenterPoint(k, a, b);
        break;
    case 2:
    case 3:
        buildEllipse(k, a, b);
        break;
    default:
        buildChain(k);
        break;
    }
}

} // namespace orvik
