// An object of a picture as a value: its settings and its last result, and its contours over
// the frames it was followed through.
#pragma once

#include "core/init_arguments.h"
#include "core/result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

struct PictureObject {
    int id = 0;           // 1, 2, ... never reused within a picture
    ControlValues values; // model, polarity, box and fields
    ContourResult result; // the last analysis that finished; no contour before the first
    std::string error;    // the floating-point error of the last analysis; empty if none
    // An outline read from a file without settings (a RoiSet, a FeatureCollection): its
    // settings are seeded from its region, and an analysis starts from its result's outline
    // rather than from the box.
    bool fromOutline = false;
    // Corrected by hand (document/editing.h): an analysis relaxes it from its contour as it is,
    // with the points `pinned` (indices, ascending) held where they are.
    bool edited = false;
    std::vector<std::int32_t> pinned = {};
    // The ids of the objects analysed with it whose contours still overlap its own by more
    // than a hundredth of the smaller one (the flag "overlap").
    std::vector<int> overlapping = {};
    // Followed with detection: the track it divided from (0: none), and on the frame after
    // its track ended, why ("collapsed", "left the picture", "lost", "failed", "divided").
    int parent = 0;
    std::string ended = {};
};

// One object's contours over the frames it was followed through.
struct Track {
    int id = 0;
    ControlValues values;
    int firstFrame = 0;
    // The contour on frames firstFrame, firstFrame + 1, ...: as many as the track lasted.
    std::vector<ContourResult> frames;
    // The floating-point error that ended the track on frame firstFrame + frames.size();
    // empty when the track went on to the last frame followed.
    std::string error;
    // Followed with detection: why the track ended on frame lastFrame() + 1 (empty: it did
    // not), and the track it divided from (0: none).
    std::string ended = {};
    int parent = 0;
    int lastFrame() const { return firstFrame + static_cast<int>(frames.size()) - 1; }
};

} // namespace orvik
