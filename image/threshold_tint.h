// The threshold preview: which pixels of a picture lie on the object's side of a threshold.
#pragma once

#include "grey_image.h"

#include <QImage>
#include <cstdint>

namespace orvik {

// Whether a pixel of grey level `grey` lies on the object's side of `threshold` (in quarter
// grey levels): below threshold / 4 for "Black on white", above it for "White on black",
// without rounding the quarter. The threshold preview and the search for objects share it.
constexpr bool onObjectSide(std::uint8_t grey, int threshold, bool blackOnWhite) {
    const int quarters = 4 * grey;
    return blackOnWhite ? quarters < threshold : quarters > threshold;
}

// A translucent tint over the pixels on the object's side of `threshold` (in quarter grey
// levels): grey below threshold / 4 for "Black on white", above it for "White on black";
// transparent elsewhere. The picture's size, from its grey buffer alone.
QImage thresholdTint(const GreyImage& image, int threshold, bool blackOnWhite);

} // namespace orvik
