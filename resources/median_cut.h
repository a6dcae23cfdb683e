// A palette for a picture of many colours, for the 8-bit intro bitmap.
#pragma once

#include <QImage>
#include <vector>

namespace orvik {

// Median cut: splits the picture's colours into at most `colours` boxes and takes each box's
// mean.
std::vector<QRgb> medianCutPalette(const QImage& image, int colours);

} // namespace orvik
