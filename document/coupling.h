// Objects analysed together that must not cover one another: touching objects, each of whose
// contours alone would settle on the outline of the whole clump. Their shared ground is shared
// out (a flood from each object's middle down the distance map of their union, so the border
// between two runs along the valley where they meet), and each is analysed again on a picture
// in which the others' shares are ground: their pixels mirrored about the objects' threshold,
// so that the image force pushes each contour back to its own side, as it does at the clump's
// edge.
#pragma once

#include "core/picture_object.h"
#include "grey_image.h"

#include <vector>

namespace orvik {

// Two objects overlap when they share at least this share of the smaller one's pixels.
inline constexpr double OverlapShare = 0.01;

// The pixels each closed contour encloses (the measurements' rule), for each object, row by
// row; the objects on `threads` threads.
std::vector<std::vector<std::size_t>>
enclosedPixels(const std::vector<const PictureObject*>& objects, int width, int height,
               int threads = 1);

// The pairs (i, j), i < j, of objects whose pixels overlap by OverlapShare or more, and the
// pixels they share, in the order of i then j.
struct Overlap {
    std::size_t first, second;
    std::size_t shared;
};
std::vector<Overlap> overlaps(const std::vector<std::vector<std::size_t>>& pixels, int width,
                              int threads = 1);

// What one object's analysis sees differently from the picture: these pixels with this grey.
struct GroundEdit {
    std::vector<std::size_t> pixels;
    std::vector<std::uint8_t> grey;
};

// For each object in `coupled` (indices into `objects`; the others get no edit): the other
// objects' shares that it reaches, made ground. Depends on the objects' pixels and values
// only, never on their order or the threads.
std::vector<GroundEdit> groundOfOthers(const GreyImage& image,
                                       const std::vector<const PictureObject*>& objects,
                                       const std::vector<std::vector<std::size_t>>& pixels,
                                       const std::vector<std::size_t>& coupled);

} // namespace orvik
