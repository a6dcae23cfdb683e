// Separating objects from their ground and from one another: a threshold against the local
// background, for pictures lit unevenly, and the cut of a region that holds several touching
// objects along the valleys of its distance map.
#pragma once

#include <cstdint>
#include <vector>

namespace orvik {

// The radius of the local background's window when none is given, in pixels: larger than
// the objects, smaller than the light's changes.
inline constexpr int DefaultLocalRadius = 50;
inline constexpr int MinLocalRadius = 2;
inline constexpr int MaxLocalRadius = 2000;

// The pixels (1) that stand out from their neighbourhood on the objects' side, row by row.
// The background is the picture with every object narrower than a window of 2 × radius + 1
// pixels removed (a grey closing for dark objects, an opening for light ones, each with a
// square window), smoothed by a mean over the same window; each pixel's contrast to it,
// clipped at zero, is split by Otsu's method. Flat pictures, with no contrast anywhere,
// have no objects; regions whose contrast only just crosses the level (the ground's noise)
// are left out. `grey` holds width × height levels. With `standingOut`, it also gets the
// mean contrast of the pixels kept.
std::vector<std::uint8_t> locallyDistinct(const std::uint8_t* grey, int width, int height,
                                          int radius, bool blackOnWhite,
                                          double* standingOut = nullptr);

// Whether the objects of a picture lit unevenly are darker than their ground: the polarity
// whose locally distinct pixels hold clearly less of the picture's border (by a tenth of it
// or more; the ground runs round the objects), else the one whose stand out further (the
// wrong one finds only the ground's noise and the slopes of its light).
bool locallyBlackOnWhite(const std::uint8_t* grey, int width, int height, int radius);

// The Euclidean distance of each mask pixel to the nearest pixel off the mask, squared (0 off
// the mask). The picture's border is no boundary: a region cut by it is measured as if it went on.
std::vector<std::int64_t> squaredDistances(const std::vector<std::uint8_t>& mask, int width,
                                           int height);

// The mask's pixels partitioned into objects, -1 off the mask, numbered from 0 in the order of
// their first pixel (rows top down, each left to right); returns the count. Each 8-connected
// region is flooded from the maxima of its distance map downwards; where two floods meet at a
// level lower than both their peaks by `depth` pixels or more, they stay two objects, the cut
// running along the valley between them. Shallower maxima (a rough edge, the ridge of an
// elongated object) join the neighbour with the higher peak. Holes in a region count as part
// of it for the distance map, so flecks inside an object cut nothing. With depth = infinity this is
// plain 8-connected labelling. A large picture is labelled on `threads` workers, with the same
// result.
int splitRegions(const std::vector<std::uint8_t>& mask, int width, int height, double depth,
                 std::vector<int>& labels, int threads = 1);

// How deep a valley of the distance map must be, in pixels, to cut a region in two.
inline constexpr double SplitDepth = 2.0;

} // namespace orvik
