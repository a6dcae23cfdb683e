// Helpers of the session tests: contour results built from plain point lists, and grey
// pictures built from a rule.
#pragma once

#include "core/result.h"
#include "document/objects.h"
#include "grey_image.h"

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

// Dark discs of radius 18 on a light ground, every 60 pixels, one light disc among them.
inline GreyImage discs() {
    return greyPicture(300, 180, [](int x, int y) -> std::uint8_t {
        const int cx = x / 60 * 60 + 30, cy = y / 60 * 60 + 30;
        const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < 18 * 18;
        const bool light = cx == 150 && cy == 90;
        return inside ? (light ? 230 : 30) : (light ? 20 : 210 + (x * 7 + y * 3) % 20);
    });
}

// One object per disc, the models and polarities taking turns, some with the edge force;
// the last one's weights make its contour diverge.
inline ObjectList objectsOn(int count) {
    ObjectList list;
    for (int i = 0; i < count; ++i) {
        ControlValues v;
        v.model = static_cast<ModelChoice>(1 + i % 4);
        v.blackOnWhite = i % 5 != 2;
        const int cx = i % 5 * 60 + 30, cy = i / 5 % 3 * 60 + 30;
        setBox(v.fields, {cx - 24 + i % 3, cy - 22, cx + 23, cy + 24 - i % 2});
        at(v.fields, Field::Points) = 20 + 7 * i;
        at(v.fields, Field::Iterations) = 60 + 15 * i;
        at(v.fields, Field::Gradient) = i % 3 == 0 ? 20 : 0;
        if (i == count - 1) {
            v.model = ModelChoice::Standard;
            at(v.fields, Field::Inertia) = 0;
            at(v.fields, Field::Viscosity) = 1;
            at(v.fields, Field::Tension) = 500;
            at(v.fields, Field::Rigidity) = 100;
            at(v.fields, Field::Iterations) = 5000;
        }
        list.add(v);
    }
    return list;
}

} // namespace orvik::test
