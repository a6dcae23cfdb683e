// The picture as a step reads it: the bound grey buffer, its size and the value outside it,
// with the reading rule written once. Plain data and `static` functions only: the kernels,
// compiled once per instruction set, include this too, and each copy must keep code of its
// own (an inline function with external linkage would be merged into one copy for all).
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvik {

// A step takes one view when it starts, since nothing can load a picture or change the
// polarity while a step runs.
struct GreyView {
    const std::uint8_t* grey = nullptr;
    std::uint32_t width = 0; // 0 (and height 0) while no picture is bound
    std::uint32_t height = 0;
    int outside = 255; // 255 for "Black on white", 0 for "White on black"
};

// Grey level of pixel (x, y): inside the picture the buffer's byte, outside it the outside
// value. Negative coordinates turn into huge unsigned values, so one test per axis covers
// both ends of the picture.
static inline int greyLevel(const GreyView& image, std::int32_t x, std::int32_t y) {
    const auto ux = static_cast<std::uint32_t>(x);
    const auto uy = static_cast<std::uint32_t>(y);
    if (ux < image.width && uy < image.height)
        return image.grey[static_cast<std::size_t>(uy) * image.width + ux];
    return image.outside;
}

// True when the 5 × 5 pixels centred on (x, y) all lie inside the picture.
static inline bool holdsNeighbourhood(const GreyView& image, std::int32_t x, std::int32_t y) {
    return image.width >= 5 && image.height >= 5 &&
           static_cast<std::uint32_t>(x) - 2u <= image.width - 5u &&
           static_cast<std::uint32_t>(y) - 2u <= image.height - 5u;
}

// The picture's frame: the picture and a band of two pixels around it. Beyond it the 5 × 5
// pixels around a pixel all read the outside value, so the grey level and the edge force are
// the same everywhere. Pixels of the frame are numbered row by row from its top left corner.
inline constexpr std::uint32_t kFrameBand = 2;
inline constexpr std::uint64_t kBeyondFrame = ~std::uint64_t{0};

static inline std::uint64_t frameSize(const GreyView& image) {
    return (std::uint64_t{image.width} + 2 * kFrameBand) *
           (std::uint64_t{image.height} + 2 * kFrameBand);
}

// The index of pixel (x, y) in the frame, or kBeyondFrame. Like greyLevel, one unsigned test
// per axis covers both sides.
static inline std::uint64_t framePixel(const GreyView& image, std::int32_t x, std::int32_t y) {
    const std::uint32_t fx = static_cast<std::uint32_t>(x) + kFrameBand;
    const std::uint32_t fy = static_cast<std::uint32_t>(y) + kFrameBand;
    const std::uint32_t frameWidth = image.width + 2 * kFrameBand;
    if (fx >= frameWidth || fy >= image.height + 2 * kFrameBand) return kBeyondFrame;
    return std::uint64_t{fy} * frameWidth + fx;
}

} // namespace orvik
