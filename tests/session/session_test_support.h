// Helpers of the session tests: contour results built from plain point lists, and grey
// pictures built from a rule.
#pragma once

#include "grey_image.h"
#include "result.h"

#include <cstdint>
#include <functional>
#include <memory>
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

// A width × height grey picture (no display bitmap) whose pixel (x, y) is grey(x, y).
inline GreyImage greyPicture(int width, int height,
                             const std::function<std::uint8_t(int x, int y)>& grey) {
    GreyImage image;
    image.ImageWidth = width;
    image.ImageHeight = height;
    image.GreyData = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.GreyData[static_cast<std::size_t>(y) * width + x] = grey(x, y);
    return image;
}

// Whether (x, y)'s pixel centre lies within `radius` of (cx, cy).
inline bool inDisc(int x, int y, double cx, double cy, double radius) {
    const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
    return dx * dx + dy * dy < radius * radius;
}

} // namespace orvik::test
