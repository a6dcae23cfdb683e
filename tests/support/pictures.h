// Pictures that tests make and count: synthetic grey pictures, the display a grey buffer
// alone gives, and pixel counts of display bitmaps.
#pragma once

#include "grey_image.h"

#include <QImage>
#include <functional>

namespace orvik::test {

// A grey picture whose pixel (x, y) is grey(x, y).
QImage greyPicture(int width, int height, const std::function<int(int x, int y)>& grey);
QImage uniformPicture(int width, int height, int grey);
// A disc of grey `inside` of the given radius around (cx, cy) on a ground of grey `outside`.
QImage discPicture(int width, int height, int cx, int cy, int radius, int inside, int outside);

// The display bitmap as the store's grey buffer alone would show it (a refresh).
QImage greyDisplay(const GreyImage& store);

// Number of pixels that differ between two pictures of the same size; -1 when the sizes differ.
int differingPixels(const QImage& a, const QImage& b);
// Number of pixels that are pure red, the contour's colour.
int redPixels(const QImage& display);

} // namespace orvik::test
