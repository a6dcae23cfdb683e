// Synthetic 16-bit movies of known objects for measuring how well objects are followed through
// frames: ellipses that drift, grow and dim from frame to frame, blurred and noisy, with the
// label picture of every frame; and each followed contour's IoU with its own ellipse.
#pragma once

#include "document/follow.h"
#include "frame_stack.h"
#include "synthetic_ellipses.h"

#include <cstdint>
#include <vector>

namespace orvik::test {

struct MovieScene {
    int width = 320, height = 240;
    int frames = 10;
    int count = 12;                           // ellipses placed (fewer if no room is left)
    double minSemiAxis = 8, maxSemiAxis = 20; // frame 0's semi-axes, drawn from this range
    double gap = 6;           // least distance between two ellipses on any frame, in pixels
    double drift = 0.3;       // pixels a frame, each ellipse in a direction of its own
    double growth = 0.002;    // each semi-axis grows by this share of frame 0's a frame
    double dimming = 0.003;   // contrast lost a frame, as a share of frame 0's
    bool darkObjects = false; // light on dark (fluorescence) unless set
    int objectValue = 3000, groundValue = 1000; // 16-bit, for light objects; swapped for dark
    double blurSigma = 1.5;                     // pixels
    double noiseSigma = 80;                     // 16-bit units, after the blur
    std::uint32_t seed = 1;
};

struct SyntheticMovie {
    FrameStack frames; // 16-bit grey
    // Per frame, per pixel: 0 the ground, k the k-th ellipse (1-based, the same on every frame).
    std::vector<std::vector<std::uint16_t>> truth;
    std::vector<std::vector<Ellipse>> ellipses; // per frame
};

// Draws the movie as drawEllipses draws a picture: cover by 4 × 4 samples, blur, noise, each
// value rounded and held to 0..65535. Ellipses are placed so that they keep `gap` apart and
// stay inside the picture on every frame. Deterministic on every platform.
SyntheticMovie drawMovie(const MovieScene& scene);

// The objects "Find objects" seeds on `image` with its defaults (Otsu's threshold, regions of at
// least 20 pixels), each from `base` by the seeding rule, with ids 1, 2, ...
std::vector<PictureObject> seedObjects(const GreyImage& image, const ControlValues& base);

// The IoU of each track with the true ellipse `labels[t]` (0: none) on each frame from the
// track's first, as [track][frame]; a frame after the track ended, or a contour that encloses
// nothing, counts 0.
std::vector<std::vector<double>> trackIous(const std::vector<Track>& tracks,
                                           const std::vector<int>& labels,
                                           const SyntheticMovie& movie);

// The true ellipse each track outlines on its first frame: one to one, best IoU first, at
// IoU ≥ 0.5; 0 for a track that matches none.
std::vector<int> matchTracks(const std::vector<Track>& tracks, const SyntheticMovie& movie);

} // namespace orvik::test
