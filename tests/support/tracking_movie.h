// Synthetic 16-bit movies for tracking, with their truth as the Cell Tracking Challenge has it:
// cells that drift, grow, dim, touch, arrive from the border, leave it and divide, blurred and
// noisy; per frame the true label picture, and the true tracks with their parents. Shared by the
// tests (the table of cases) and bench/track_accuracy.
#pragma once

#include "frame_stack.h"
#include "synthetic_ellipses.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvik::test {

// One true cell: an ellipse from frame `first` to `last`, moving at (dx, dy) a frame, its
// semi-axes growing by `growth` of their first size a frame, its contrast falling linearly from
// 1 on frame `first` to `contrastEnd` on frame `last`.
struct Cell {
    Ellipse start;
    int first = 0, last = 0;
    double dx = 0, dy = 0;
    double growth = 0;
    double contrastEnd = 1;
    int parent = 0; // the label of the cell it divided from; 0: none
};

struct TrackingScene {
    int width = 256, height = 256, frames = 100;
    int objectValue = 3000, groundValue = 1000; // light cells on a dark ground
    double blurSigma = 1.5, noiseSigma = 80;
    std::uint32_t seed = 1;
    std::vector<Cell> cells; // label k is cells[k - 1]
};

// The kinds of movie: each a scene of a few cells showing one event, "mixed" all of them.
// drift, growth, dimming, touching, arrival, departure, division, collapse (a cell fading to
// nothing), mixed.
TrackingScene trackingScene(const std::string& kind, std::uint32_t seed = 1, int frames = 100);
// `count` cells drifting on a width × height picture, apart on every frame (for timing).
TrackingScene crowdScene(int width, int height, int frames, int count, std::uint32_t seed = 1);

struct TrueTrack {
    int label = 0, first = 0, last = 0, parent = 0;
};

struct TrackingMovie {
    FrameStack frames; // 16-bit grey
    // Per frame, per pixel: 0 the ground, else the cell's label. A cell is in the truth on the
    // frames where at least 20 of its pixels are in the picture (what Find objects can keep).
    std::vector<std::vector<std::uint16_t>> truth;
    std::vector<TrueTrack> tracks; // by label, the frames it is in the truth
};

// Cover by 4 × 4 samples (the larger cover where cells touch), blur, noise; deterministic.
TrackingMovie drawTrackingMovie(const TrackingScene& scene);

} // namespace orvik::test
