// The geometry of a contour, written once: the outline of one level of the contour model in
// the picture, and the centroid of the area a polygon encloses.
#pragma once

#include "core/result.h"
#include "kontur.h"

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

} // namespace orvik
