// The benchmark scenes: the disc picture and the engine set up from the window's fields.
#include "bench_scene.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace orvik::bench {

void GreyPicture::bind() const {
    BindImage({&GreyData, &ImageWidth, &ImageHeight, &BlackOnWhite});
}

GreyPicture discPicture(std::int32_t width, std::int32_t height, double discRadius) {
    GreyPicture picture;
    picture.ImageWidth = width;
    picture.ImageHeight = height;
    picture.GreyData = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(width) * height);
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const double distance = std::hypot(x - cx, y - cy);
            // 0 inside the disc, 1 outside, a ramp of 4 pixels across the rim.
            const double outside = std::clamp((distance - discRadius) / 4.0 + 0.5, 0.0, 1.0);
            const double background = 200.0 + 30.0 * x / width;
            const double grey = 20.0 + (background - 20.0) * outside;
            picture.GreyData[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(grey);
        }
    }
    return picture;
}

GreyPicture enginePicture() {
    return discPicture(640, 480, 100.0);
}

ControlValues windowDefaults(const GreyPicture& picture, ModelChoice model, int points,
                             int iterations) {
    ControlValues values;
    values.model = model;
    values.blackOnWhite = picture.BlackOnWhite;
    const Box box = middleFifth(picture.ImageWidth, picture.ImageHeight);
    setBox(values.fields, box);
    at(values.fields, Field::Points) = points;
    at(values.fields, Field::Iterations) = iterations;
    return values;
}

InitialState::InitialState(const ControlValues& values) : arguments_(analysisArguments(values)) {}

void InitialState::init(KONTUR& k) const {
    applyInit(k, arguments_);
}

std::int64_t InitialState::pointIterations() const {
    return std::int64_t{arguments_.pointCount} * arguments_.iterations;
}

} // namespace orvik::bench
