// The labels of a list of objects: each object's id on the pixels inside it, as a 16-bit PNG
// for one picture and as the 16-bit TIFF mask of the Cell Tracking Challenge's layout.
#pragma once

#include "core/picture_object.h"
#include "grey_image.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace orvik {

// The labels picture's values, width × height, rows from the top: 0 for the background, each
// closed object's id inside it (the mask's rule), the later id where objects overlap.
std::vector<std::uint16_t> labelPixels(const std::vector<PictureObject>& objects,
                                       std::int32_t width, std::int32_t height);
// 16-bit grey PNG of labelPixels on the picture's size.
QByteArray toLabelsPng(const std::vector<PictureObject>& objects, const GreyImage& image);
// A 16-bit grey TIFF of `labels` (width × height, rows from the top), uncompressed.
QByteArray labelsTiff(const std::vector<std::uint16_t>& labels, std::int32_t width,
                      std::int32_t height);

} // namespace orvik
