// The overlay of a list of objects: the grey picture with every outline, each numbered by
// its id.
#pragma once

#include "core/picture_object.h"
#include "grey_image.h"

#include <QImage>
#include <vector>

namespace orvik {

// The grey picture with every outline in yellow and `currentId`'s in red, on top.
QImage objectsOverlay(const std::vector<PictureObject>& objects, const GreyImage& image,
                      int currentId);

} // namespace orvik
