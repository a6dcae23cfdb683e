// How the engine sees the image: the sampling rule through the window's binding, and the
// edge force built from it.
#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <cmath>
#include <cstddef>

namespace orvik {

namespace {

ImageBinding imageBinding;

// Gradient magnitude from two whole-number differences, squared and summed as integers.
float gradientMagnitude(int along, int across) {
    const std::int32_t sum = along * along + across * across;
    return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

} // namespace

void BindImage(const ImageBinding& binding) {
    imageBinding = binding;
}

int Sample(std::int32_t x, std::int32_t y) {
    const ImageBinding& b = imageBinding;
    const std::uint32_t width = b.ImageWidth ? static_cast<std::uint32_t>(*b.ImageWidth) : 0;
    const std::uint32_t height = b.ImageHeight ? static_cast<std::uint32_t>(*b.ImageHeight) : 0;
    const std::uint8_t* grey = b.GreyData ? b.GreyData->get() : nullptr;
    // Negative coordinates turn into huge unsigned values, so one test per axis covers both
    // ends of the image.
    if (static_cast<std::uint32_t>(x) < width && static_cast<std::uint32_t>(y) < height &&
        grey != nullptr) {
        return grey[static_cast<std::size_t>(y) * width + static_cast<std::uint32_t>(x)];
    }
    // Outside the image reads as background; the window's default polarity is black on white.
    const bool blackOnWhite = b.BlackOnWhite ? *b.BlackOnWhite : true;
    return blackOnWhite ? 255 : 0;
}

void EdgeForce(const KONTUR& k, std::int32_t x, std::int32_t y, float& fx, float& fy) {
    const float weight = k.GradientWeight;
    float ax = 0;
    float ay = 0;
    if (weight != 0.0f) {
        const int c = Sample(x, y);
        const int l2 = Sample(shiftedPixel(x, -2), y);
        const int r2 = Sample(shiftedPixel(x, 2), y);
        const int u2 = Sample(x, shiftedPixel(y, -2));
        const int d2 = Sample(x, shiftedPixel(y, 2));
        const int ul = Sample(shiftedPixel(x, -1), shiftedPixel(y, -1));
        const int dl = Sample(shiftedPixel(x, -1), shiftedPixel(y, 1));
        const int ur = Sample(shiftedPixel(x, 1), shiftedPixel(y, -1));
        const int dr = Sample(shiftedPixel(x, 1), shiftedPixel(y, 1));
        // Magnitudes at the four 4-neighbours, each from a difference along the line to
        // (x, y) and one across it, both spanning two pixels.
        const float up = gradientMagnitude(u2 - c, ur - ul);
        const float down = gradientMagnitude(d2 - c, dr - dl);
        const float left = gradientMagnitude(l2 - c, dl - ul);
        const float right = gradientMagnitude(r2 - c, dr - ur);
        ax = toSingleChecked((static_cast<double>(right) - left) * weight + ax);
        ay = toSingleChecked((static_cast<double>(down) - up) * weight + ay);
    }
    fx = toSingleChecked(kEdgeScale * ax);
    fy = toSingleChecked(kEdgeScale * ay);
}

} // namespace orvik
