// The threshold preview: which pixels of a picture lie on the object's side of a threshold.
#pragma once

#include "grey_image.h"

#include <QImage>

namespace orvik {

// A translucent tint over the pixels on the object's side of `threshold` (in quarter grey
// levels): grey below threshold / 4 for "Black on white", above it for "White on black";
// transparent elsewhere. The picture's size, from its grey buffer alone.
QImage thresholdTint(const GreyImage& image, int threshold, bool blackOnWhite);

} // namespace orvik
