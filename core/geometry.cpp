// The outline of a level of the contour model and a polygon's centroid.
#include "core/geometry.h"

#include <algorithm>
#include <numbers>

namespace orvik {

std::vector<ContourPoint> levelOutline(const KONTUR& k, std::int32_t level) {
    std::vector<ContourPoint> outline;
    outline.reserve(static_cast<std::size_t>(std::max(k.PointCount, 0)));
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        if (k.ModelKind == 1) {
            const float r = pointX(k, i, level); // model 1 keeps the radius in the x slot
            const Direction d = pointDirection(i, k.PointCount);
            outline.push_back({static_cast<double>(r) * d.cos + k.CenterX,
                               static_cast<double>(r) * d.sin + k.CenterY});
        } else {
            outline.push_back({pointX(k, i, level), pointY(k, i, level)});
        }
    }
    return outline;
}

ContourPoint polygonCentroid(const std::vector<ContourPoint>& p) {
    const std::size_t n = p.size();
    if (n == 0) return {};
    const double ox = p[0].x, oy = p[0].y;
    double twiceArea = 0, cx = 0, cy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const ContourPoint& a = p[i];
        const ContourPoint& b = p[(i + 1) % n];
        const double ax = a.x - ox, ay = a.y - oy, bx = b.x - ox, by = b.y - oy;
        const double cross = ax * by - bx * ay;
        twiceArea += cross;
        cx += (ax + bx) * cross;
        cy += (ay + by) * cross;
    }
    if (twiceArea != 0) return {ox + cx / (3 * twiceArea), oy + cy / (3 * twiceArea)};
    double sx = 0, sy = 0;
    for (const ContourPoint& q : p) {
        sx += q.x;
        sy += q.y;
    }
    return {sx / static_cast<double>(n), sy / static_cast<double>(n)};
}

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Angles are padded by far more than atan2's rounding, so that an edge whose ends a ray passes
// within rounding of is still among its candidates; the exact test decides.
constexpr double kAngleMargin = 1e-7;

// The angle buckets a ray or an edge falls into: `count` of equal width round the circle.
class AngleBuckets {
public:
    explicit AngleBuckets(std::size_t count) : edges_(std::max<std::size_t>(count, 1)) {}
    std::size_t of(double angle) const {
        const double turn = (angle + std::numbers::pi) / kTwoPi;
        const double at =
            std::floor((turn - std::floor(turn)) * static_cast<double>(edges_.size()));
        return std::min(static_cast<std::size_t>(std::max(at, 0.0)), edges_.size() - 1);
    }
    // Files `edge` under every bucket that the arc from `start` over `length` radians touches.
    void add(std::size_t edge, double start, double length) {
        const std::size_t n = edges_.size();
        const double width = kTwoPi / static_cast<double>(n);
        const std::size_t covered =
            length >= kTwoPi ? n : std::min(n, static_cast<std::size_t>(length / width) + 2);
        const std::size_t first = of(start);
        for (std::size_t k = 0; k < covered; ++k)
            edges_[(first + k) % n].push_back(edge);
    }
    const std::vector<std::size_t>& at(std::size_t bucket) const { return edges_[bucket]; }

private:
    std::vector<std::vector<std::size_t>> edges_;
};

} // namespace

std::vector<double> rayExits(ContourPoint from, const std::vector<ContourPoint>& polygon,
                             std::int32_t count, const std::vector<double>& fallback) {
    const std::size_t edges = polygon.size();
    AngleBuckets buckets(static_cast<std::size_t>(std::max(count, 1)));
    for (std::size_t e = 0; e < edges; ++e) {
        const ContourPoint a = polygon[e], b = polygon[(e + 1) % edges];
        const double angleA = std::atan2(a.y - from.y, a.x - from.x);
        const double angleB = std::atan2(b.y - from.y, b.x - from.x);
        // The edge as seen from `from` spans the shorter arc between its ends; one that passes
        // through `from`, or nearly, may hold a ray of any direction.
        const double sweep = std::remainder(angleB - angleA, kTwoPi);
        const bool nearFrom = std::hypot(a.x - from.x, a.y - from.y) < 1e-6 ||
                              std::hypot(b.x - from.x, b.y - from.y) < 1e-6;
        if (nearFrom || !std::isfinite(sweep) || std::abs(sweep) > std::numbers::pi - 1e-3)
            buckets.add(e, 0, kTwoPi);
        else
            buckets.add(e, std::min(angleA, angleA + sweep) - kAngleMargin,
                        std::abs(sweep) + 2 * kAngleMargin);
    }
    std::vector<double> exits(static_cast<std::size_t>(std::max(count, 0)));
    for (std::int32_t i = 0; i < count; ++i) {
        const Direction d = pointDirection(i, count);
        double farthest = -1;
        for (const std::size_t e : buckets.at(buckets.of(std::atan2(d.sin, d.cos))))
            farthest =
                std::max(farthest, rayCrossing(from, d, polygon[e], polygon[(e + 1) % edges]));
        const std::size_t at = static_cast<std::size_t>(i);
        exits[at] = farthest > 0 ? farthest : fallback[at];
    }
    return exits;
}

} // namespace orvik
