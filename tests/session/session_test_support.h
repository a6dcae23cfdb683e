// Helpers of the session tests: contour results built from plain point lists.
#pragma once

#include "result.h"

#include <vector>

namespace orvik::test {

// A "Standard" (closed) or "Opened" result on a width × height image with these points.
inline ContourResult resultWith(std::vector<ContourPoint> contour, bool closed = true,
                                std::int32_t width = 100, std::int32_t height = 80) {
    ContourResult r;
    r.context.imageFile = "/pictures/cells 1.bmp";
    r.context.width = width;
    r.context.height = height;
    r.context.model = closed ? ModelChoice::Standard : ModelChoice::Opened;
    r.context.box = Box{10, 20, 60, 70};
    r.closed = closed;
    for (const ContourPoint& p : contour) {
        r.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y)});
        r.vertices.push_back({static_cast<std::int32_t>(p.x), static_cast<std::int32_t>(p.y)});
    }
    r.contour = std::move(contour);
    return r;
}

} // namespace orvik::test
