// Tests of the contour's geometry: the rays of a re-centred "Center point" contour leave its
// outline where testing every edge says they do, on outlines of every shape.
#include "core/geometry.h"

#include <gtest/gtest.h>
#include <random>

namespace orvik {
namespace {

// The farthest crossing of every edge, the fallback when there is none.
std::vector<double> everyEdge(ContourPoint from, const std::vector<ContourPoint>& polygon,
                              std::int32_t count, const std::vector<double>& fallback) {
    std::vector<double> exits;
    for (std::int32_t i = 0; i < count; ++i) {
        const Direction d = pointDirection(i, count);
        double farthest = -1;
        for (std::size_t e = 0; e < polygon.size(); ++e)
            farthest = std::max(
                farthest, rayCrossing(from, d, polygon[e], polygon[(e + 1) % polygon.size()]));
        exits.push_back(farthest > 0 ? farthest : fallback[static_cast<std::size_t>(i)]);
    }
    return exits;
}

TEST(Geometry, RaysLeaveTheOutlineWhereEveryEdgeSays) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0, 1);
    // Outlines: wobbly rings about the centre, rings about another point, spirals that wind
    // twice, and points on a coarse grid (repeated points, collinear runs, vertices on rays).
    const auto outline = [&](int kind, int n) {
        std::vector<ContourPoint> points;
        for (int i = 0; i < n; ++i) {
            const double angle = 2 * std::numbers::pi * i / n;
            const double r = kind == 2 ? 5 + 20.0 * i / n : 10 + 4 * unit(random);
            ContourPoint p{r * std::cos(kind == 2 ? 2 * angle : angle),
                           r * std::sin(kind == 2 ? 2 * angle : angle)};
            if (kind == 1) p.x += 12;
            if (kind == 3) p = {std::round(p.x / 4) * 4, std::round(p.y / 4) * 4};
            points.push_back(p);
        }
        return points;
    };
    for (int kind = 0; kind < 4; ++kind)
        for (const int n : {3, 8, 32, 200})
            for (const ContourPoint from : {ContourPoint{0, 0}, ContourPoint{0.37, -1.2},
                                            ContourPoint{30, 2}, outline(kind, n)[0]}) {
                const std::vector<ContourPoint> polygon = outline(kind, n);
                std::vector<double> fallback;
                for (int i = 0; i < n; ++i)
                    fallback.push_back(1000 + i);
                const std::vector<double> fast = rayExits(from, polygon, n, fallback);
                const std::vector<double> slow = everyEdge(from, polygon, n, fallback);
                ASSERT_EQ(fast, slow) << "kind " << kind << ", " << n << " points";
            }
}

} // namespace
} // namespace orvik
