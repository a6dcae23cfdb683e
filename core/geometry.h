// The geometry of a contour, written once: the outline of one level of the contour model in
// the picture, and the centroid of the area a polygon encloses.
#pragma once

#include "core/result.h"
#include "kontur.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace orvik {

// The points of `level` in picture coordinates: x and y as stored, or for "Center point" the
// centre plus each radius along the direction Draw takes (radius times cosine plus centre, in
// double).
std::vector<ContourPoint> levelOutline(const KONTUR& k, std::int32_t level);

// The centroid of the area a closed polygon encloses, summed relative to its first point so
// that a polygon far from the origin keeps its digits; the mean of its points when it encloses
// no area. Nothing to say for no points: {0, 0}.
ContourPoint polygonCentroid(const std::vector<ContourPoint>& polygon);

// Where the ray from `from` along `d` crosses the edge a–b: its distance along the ray, or -1
// when it misses the edge, runs parallel to it or meets it behind `from`.
inline double rayCrossing(ContourPoint from, Direction d, ContourPoint a, ContourPoint b) {
    const double ex = b.x - a.x, ey = b.y - a.y;
    const double denominator = double(d.cos) * ey - double(d.sin) * ex;
    if (std::abs(denominator) < 1e-12) return -1;
    const double ax = a.x - from.x, ay = a.y - from.y;
    const double t = (ax * ey - ay * ex) / denominator;
    const double s = (ax * d.sin - ay * d.cos) / denominator;
    return t > 0 && s >= 0 && s <= 1 ? t : -1;
}

// For each point i of `count` in a "Center point" contour, how far from `from` along its own
// direction (pointDirection(i, count)) the ray leaves the closed polygon: the farthest
// crossing of an edge, or fallback[i] when it crosses none. Each ray is tested only against
// the edges whose angle as seen from `from` can hold it, so a contour that is about round
// around `from` costs about count × log(count) rather than count × edges; the distances are
// exactly those of testing every edge.
std::vector<double> rayExits(ContourPoint from, const std::vector<ContourPoint>& polygon,
                             std::int32_t count, const std::vector<double>& fallback);

} // namespace orvik
