// Synthetic pictures of known objects for measuring how well objects are found: ellipses at
// random places, sizes and angles that never touch, dark on light or light on dark, blurred and
// noisy, alone or in touching clumps, under even or uneven light, with the label picture that says
// which ellipse each pixel belongs to; what "Find objects" outlines on a picture; and the score of
// those outlines against the labels.
#pragma once

#include "document/find_objects.h"
#include "grey_image.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace orvik::test {

struct Ellipse {
    double x = 0, y = 0;         // centre, in pixels (pixel (i, j) covers [i, i+1) × [j, j+1))
    double semiA = 0, semiB = 0; // semi-axes, in pixels
    double angle = 0;            // of the first axis from the x axis, in radians
    bool contains(double px, double py) const;
    double reach(double towards) const; // from the centre to the outline, at that angle
    // How far inside pixel i's centre is: 1 at the centre, 0 on the outline.
    double depth(std::size_t i, int width) const;
};

struct EllipseScene {
    int width = 320, height = 240;
    int count = 12;                           // ellipses placed (fewer if no room is left)
    double minSemiAxis = 8, maxSemiAxis = 24; // each semi-axis drawn from this range
    double gap = 6;                           // least distance between two ellipses, in pixels
    bool darkObjects = true;                  // dark on light, else light on dark
    int objectGrey = 50, groundGrey = 200;    // for dark objects; swapped for light ones
    double blurSigma = 1.5;                   // Gaussian blur, in pixels
    double noiseSigma = 10;                   // Gaussian noise after the blur, in grey levels
    std::uint32_t seed = 1;                   // the same seed gives the same picture
    // Ellipses in touching groups of this many, a chain each overlapping the one before by
    // `overlap` of their reach along the line between their centres (count then counts groups).
    int clump = 1;
    double overlap = 0.15;
    // Uneven light: every grey multiplied by 1 − vignette × (distance from the middle / half
    // the diagonal)², so 0.5 halves the light at the corners.
    double vignette = 0;
};

struct SyntheticPicture {
    GreyImage image;                  // grey buffer only, no display bitmap
    std::vector<std::uint16_t> truth; // per pixel: 0 the ground, k the k-th ellipse (1-based)
    std::vector<Ellipse> ellipses;
};

// Draws the scene: each pixel's grey is the ellipses' cover of it (4 × 4 samples), blurred and
// with noise added, rounded and held to 0..255. A pixel belongs to an ellipse when its centre
// lies inside it. Deterministic on every platform (its own random numbers).
SyntheticPicture drawEllipses(const EllipseScene& scene);

// A found object as a mask: the pixels it covers, as indices y × width + x.
using PixelSet = std::vector<std::size_t>;

struct FindingScore {
    int truthCount = 0, foundCount = 0, matched = 0;
    double recall = 0, precision = 0;
    double medianIou = 0;           // over the true objects, 0 for one that no found object matches
    double medianAreaRatio = 0;     // found area / true area over the matched pairs
    std::vector<double> ious;       // of every true object, as above
    std::vector<double> areaRatios; // of every matched pair
    double mostShared = 0;          // the largest area two found objects share / the smaller's
};

double median(std::vector<double> values); // 0 for none

// What "Find objects" followed by "Analyse all" outlines on `image`: the regions on the
// object's side of Otsu's threshold, one object seeded on each with `base`'s model, polarity
// and fields, each analysed; every closed contour as the pixels whose centres it encloses
// (none for a failed analysis). `adjust`, if set, changes each seeded object's values.
std::vector<PixelSet> findAndOutline(const GreyImage& image, const ControlValues& base,
                                     FindOptions options = {},
                                     const std::function<void(ControlValues&)>& adjust = {});

// Matches found objects to true ones one to one, best IoU first, a pair counting when its IoU
// is at least `minIou`.
FindingScore scoreFinding(const std::vector<std::uint16_t>& truth,
                          const std::vector<PixelSet>& found, double minIou = 0.5);

} // namespace orvik::test
