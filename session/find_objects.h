// Finding objects in a picture: the 8-connected regions of pixels on the object's side of
// the threshold (the rule of the threshold preview), the threshold from the picture itself
// by Otsu's method, and the settings from which each model settles on a region's edge.
#pragma once

#include "grey_image.h"
#include "init_arguments.h"

#include <vector>

namespace orvik {

struct FindOptions {
    int threshold = 100; // in the Threshold field's units, quarter grey levels
    bool blackOnWhite = true;
    int minArea = 20;          // pixels
    int maxArea = 0;           // pixels; 0 for a quarter of the picture
    bool excludeEdges = false; // drop regions that touch the picture's border
};

struct Region {
    Box bounds; // the pixels' bounding box, in box corners: x1 ≤ x < x2, y1 ≤ y < y2
    int area = 0;
    double centreX = 0, centreY = 0; // of the pixels' centres
    bool touchesEdge = false;
};

// The regions kept by the options, in the order of their first pixel (rows top down, each
// row left to right). With `keptLabels`, it also gets one entry per pixel, row by row: the
// index of the kept region the pixel belongs to, or -1 (what a preview of them shows).
std::vector<Region> findRegions(const GreyImage& image, const FindOptions& options,
                                std::vector<int>* keptLabels = nullptr);

// The threshold that splits the picture's grey levels best by Otsu's method, in the field's
// units: a level t becomes 4t + 2, which puts t itself on the dark side for either polarity.
int otsuThreshold(const GreyImage& image);

// The settings of an object on `region`: `base` with the box and the radius from which the
// model settles on the region's edge. "Center point" and "Standard" start on the region's
// bounding box with the preferred radius of a disc of its area; a "Balloon" grows, so it
// starts from the middle half of the box. "Opened" follows an edge rather than enclosing a
// region and starts on the box's diagonal.
ControlValues seedValues(const Region& region, const ControlValues& base);

} // namespace orvik
