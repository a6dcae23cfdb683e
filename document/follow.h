// Following objects through the frames of a stack: on the first frame each object is analysed
// from its settings (an outline read from a file, from itself); on each frame after that its
// contour starts where it ended on the frame before (the points and their motion carry over,
// the picture changes) and the iterations run again, so that an object keeps its id from frame
// to frame. The centre that "Center point" and "Standard" hold their contour to moves with the
// contour from frame to frame.
#pragma once

#include "core/result.h"
#include "document/objects.h"
#include "document/tracking.h"
#include "grey_image.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

// One contour's step onto the next frame, whose picture the calling thread has bound: the
// model's centre moves along with the contour, then the iterations run on from where it
// stopped. A floating-point error leaves `k` where the failing step left it and propagates.
void runOnNextFrame(KONTUR& k, StepScratch& scratch);

struct FollowOutcome {
    std::vector<Track> tracks; // in the order of the objects
    int framesDone = 0;        // from the first frame on; fewer than asked when stopped
};

// The grey picture of a frame, as the engine sees it.
using FrameSource = std::function<GreyImage(int frame)>;

// What a followed object is on frame `f`: its contour there, or on the frame where the track
// ended its last contour (none if it never had one) with the error; nothing before the track
// started or after it ended.
std::optional<PictureObject> trackOnFrame(const Track& track, int f);

// What a following tells as it goes, so that each frame is described and written without
// being mapped again:
//  - `each`, on the worker that stepped it, right after object i's step on `frame`: what the
//    object is there (trackOnFrame) on the frame's grey. Distinct objects on distinct threads.
//  - `heard`, on the calling thread once every object of `frame` is done: the tracks so far
//    and the frame's grey.
// With `forget` set, the results of the frames before the one heard are dropped from the
// tracks once it is heard, each track's firstFrame moving on with them (a track keeps its last
// result, which an error on the next frame still shows): a long stack written frame by frame
// then holds no more than the contours it follows.
struct FrameDone {
    std::function<void(std::size_t i, int frame, std::optional<PictureObject> object,
                       const GreyImage& image)>
        each;
    std::function<void(int frame, const std::vector<Track>& tracks, const GreyImage& image)> heard;
    bool forget = false;
    // Following with detection: called on the calling thread when tracks start on `frame`,
    // before `each` hears of them, with the number of tracks there are now.
    std::function<void(std::size_t count)> grown;
};

// Follows `objects` through frames first .. first + count - 1, each frame's objects on
// `threads` workers; each track is bit for bit what following that object alone gives.
// `progress`, if set, hears after each frame how many are done and returns false to stop
// there: the frames done keep their results.
// With `tracking` (following with detection, see tracking.h), each frame after the first is
// checked against its detection once its contours are carried on: tracks end, arrivals and
// daughters start (after the objects, in the order they start); without it nothing is found
// and the tracks are those of the objects.
FollowOutcome followObjects(const std::vector<PictureObject>& objects, const FrameSource& frame,
                            int first, int count, const std::string& imageFile, int threads,
                            const std::function<bool(int framesDone)>& progress = {},
                            const FrameDone& done = {}, const TrackingRules* tracking = nullptr);

} // namespace orvik
