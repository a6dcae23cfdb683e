// Finding objects in a picture: the 8-connected regions of pixels on the object's side of
// the threshold (the rule of the threshold preview) or of a local threshold, cut apart where
// touching objects meet, the threshold from the picture itself by Otsu's method, and the
// settings from which each model settles on a region's edge.
#pragma once

#include "core/init_arguments.h"
#include "core/picture_object.h"
#include "document/separate.h"
#include "grey_image.h"

#include <string>
#include <vector>

namespace orvik {

struct FindOptions {
    int threshold = 100; // in the Threshold field's units, quarter grey levels
    bool blackOnWhite = true;
    // "Auto": the polarity from the picture at the threshold (autoBlackOnWhite), in place of
    // blackOnWhite; findRegions resolves it, so the preview and the objects found agree.
    bool autoPolarity = false;
    int minArea = 20;          // pixels
    int maxArea = 0;           // pixels; 0 for a quarter of the picture
    bool excludeEdges = false; // drop regions that touch the picture's border
    // A threshold against each pixel's neighbourhood (locallyDistinct) in place of `threshold`,
    // for pictures lit unevenly; each region then gets the threshold between its own grey and
    // its ground's.
    bool localThreshold = false;
    int localRadius = DefaultLocalRadius; // pixels: the background's window, wider than objects
    // Regions holding several touching objects cut along the valleys of their distance map.
    bool split = false;
};

struct Region {
    Box bounds; // the pixels' bounding box, in box corners: x1 ≤ x < x2, y1 ≤ y < y2
    int area = 0;
    double centreX = 0, centreY = 0; // of the pixels' centres
    bool touchesEdge = false;
    double meanGrey = 0; // of its pixels
    // The rule that found it: the pixels on the object's side of this threshold (in the
    // Threshold field's units) for this polarity.
    int threshold = 100;
    bool blackOnWhite = true;
};

// The polarity that makes the objects the side of `threshold` (in the Threshold field's
// units, as onObjectSide takes it) that does not hold most of the picture's border pixels:
// objects lie inside the picture, the ground runs round it. When the border is split evenly
// between the sides, the objects are the side with fewer pixels in the picture; black on
// white when that too is even. Pixels on the threshold itself are on neither side. A large
// picture is counted on `threads` workers here and in the calls below, with the same result.
bool autoBlackOnWhite(const GreyImage& image, int threshold, int threads = 1);

// The options with an "Auto" polarity resolved on `image`: blackOnWhite set by
// autoBlackOnWhite at their threshold (locallyBlackOnWhite with a local threshold), autoPolarity
// cleared.
// Others are returned as they are.
FindOptions resolvedPolarity(const GreyImage& image, FindOptions options, int threads = 1);

// The regions kept by the options (an "Auto" polarity resolved first; with `split`, the parts
// of each region, and the areas and edges are those of the parts), in the order of their first
// pixel (rows top down, each row left to right). With `keptLabels`, it also gets one entry per
// pixel, row by row: the index of the kept region the pixel belongs to, or -1 (what a preview of
// them shows).
std::vector<Region> findRegions(const GreyImage& image, const FindOptions& options,
                                std::vector<int>* keptLabels = nullptr, int threads = 1);

// The threshold that splits the picture's grey levels best by Otsu's method, in the field's
// units: a level t becomes 4t + 2, which puts t itself on the dark side for either polarity.
int otsuThreshold(const GreyImage& image, int threads = 1);

// The settings of an object on `region`: `base` with what makes the model settle on the
// region's edge. For every model:
//  - the threshold and the polarity that found the region: the image force changes sign at
//    that grey level, so the region's border is where the contour comes to rest (with any
//    other threshold the pressure pushes one way all round, and the contour shrinks onto its
//    centre or runs off the picture);
//  - the preferred radius of a disc of the region's area, so that the shape force of "Center
//    point" and "Standard" holds the contour at the region's size rather than at the field's;
//  - the region's bounding box: "Center point", "Standard" and "Balloon" start on the ellipse
//    inscribed in it, near the border all round, and "Opened", which follows an edge rather
//    than enclosing a region, on its diagonal. A balloon too starts there rather than inside:
//    the pressure pushes out on the object's side of the threshold and in on the other, so
//    it shrinks onto the border as well as it grows, and a short way suits the damping below
//    (from the middle of a box 400 pixels wide it would not reach the border in 100 steps).
// Then for the three closed models, a viscosity that damps the pressure to about half a pixel
// a step at the region's mean grey (2 × image weight × its distance from the threshold, in
// engine units), never below the base's and at most the field's maximum. The pressure grows
// with the contrast and flips across the border; at the default weights a point on a clear
// edge would jump several pixels a step and swing across the border for ever, and a balloon's
// points would overtake one another, cross, and blow the turned loop out over the picture.
// Damped, they come to rest on the border: viscosity slows the motion without moving the
// balance of the forces. "Opened"'s image force scales with the grey gradient; its viscosity
// stays.
ControlValues seedValues(const Region& region, const ControlValues& base);

// The region of a closed outline on `image`, as Find objects would have found it: the pixels
// whose centres lie inside it (their count, centre and mean grey), its bounding box held to
// the picture, and the threshold and polarity that separate its inside from its
// surroundings (the pixels outside it within a margin of a quarter of its radius, at least 2
// pixels): half-way between the two mean greys, "Black on white" when the inside is the
// darker. An open chain, or an outline with no pixel inside or around it, keeps `base`'s
// threshold and polarity.
Region outlineRegion(const GreyImage& image, const std::vector<ContourPoint>& outline, bool closed,
                     const ControlValues& base);

// Read objects placed on the picture `imageFile` they are used on: those read as outlines
// without settings get them seeded from their region (seedValues on outlineRegion, from
// their own model and field defaults), and every result's context names this picture.
std::vector<PictureObject> placeObjects(std::vector<PictureObject> objects, const GreyImage& image,
                                        const std::string& imageFile);

} // namespace orvik
