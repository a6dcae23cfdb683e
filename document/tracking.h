// Following with detection: after the contours are carried onto a frame, the frame's objects
// are found again by the rules of Find objects and each track is checked against them. A track
// ends (with its reason) when its contour collapses, leaves the picture, fails, or no longer
// covers a detected region of its own; a region no contour covers starts a new track (an
// arrival); a track whose region splits into two ends, and two daughter tracks with new ids
// and it as their parent start on the two parts. Each object's threshold moves with its own
// region's contrast from frame to frame, so that an object that dims keeps its outline.
#pragma once

#include "core/picture_object.h"
#include "document/find_objects.h"
#include "grey_image.h"
#include "kontur.h"

#include <string>
#include <utility>
#include <vector>

namespace orvik {

// The end reasons a track's "ended" holds ("ended: collapsed" among the flags).
inline constexpr const char* EndCollapsed = "collapsed";
inline constexpr const char* EndLeft = "left the picture";
inline constexpr const char* EndLost = "lost";
inline constexpr const char* EndFailed = "failed";
inline constexpr const char* EndDivided = "divided";

// How the first frame's objects were found, for finding them again on every frame.
struct TrackingRules {
    FindOptions find;           // the polarity resolved on the first frame
    bool autoThreshold = false; // Otsu's threshold taken again on each frame
    ControlValues base;         // what arrivals and daughters are seeded from
    int nextId = 1;             // the first id a new track takes
};

// The tracking state kept beside the tracks; the checks run on the calling thread, in the order
// of the tracks, so that the result does not depend on the number of workers.
class Tracker {
public:
    // The covers and thresholds of a frame's tracks are worked out on `threads` threads.
    explicit Tracker(TrackingRules rules, int threads = 1)
        : rules_(std::move(rules)), threads_(threads) {}
    // A frame's objects found by the rules: what the contours are checked against.
    struct Detection {
        FindOptions find; // the threshold taken on the frame
        std::vector<Region> regions;
        std::vector<int> labels; // per pixel, as findRegions gives them
    };
    // Finds the objects of a frame: independent of the contours and of the tracker's state,
    // so that it may run on another thread while they are carried on (or the frame before is
    // written).
    Detection detect(const GreyImage& image) const;
    // The detection of the frame that walls, check and started are to work on next.
    void take(Detection detection);
    // Touching objects: after the contours were carried onto frame `f` (and detect ran on it),
    // each contour that spread over a region another track held on the frame before gets its
    // own picture, in which those regions are mirrored about its threshold, to run on again
    // from where it is; the tracks (by index) and their pictures.
    std::vector<std::pair<std::size_t, GreyImage>> walls(const GreyImage& image, int f,
                                                         const std::vector<Track>& tracks) const;
    // After frame `f` was analysed or carried on, and detect ran on its picture: ends tracks
    // (dropping frame f's contour from them), moves thresholds (in `contours` too) and returns the
    // tracks that start on frame f, seeded but not yet analysed (appended by the caller with their
    // contours).
    std::vector<Track> check(const GreyImage& image, int f, std::vector<Track>& tracks,
                             std::vector<KONTUR>& contours);
    // After the tracks from `from` on, started on frame `f`, were analysed there.
    void started(const GreyImage& image, int f, std::vector<Track>& tracks,
                 std::vector<KONTUR>& contours, std::size_t from);

private:
    struct State {
        double contrast = 0;   // the contrast on the track's first frame, grey levels
        bool nearEdge = false; // its contour on the frame before came near the border
        int pixels = 0;        // inside its contour on the frame before
        double cx = 0, cy = 0; // their centre
        int threshold = 0;     // the contour's threshold now (quarter levels); 0: its seed's
    };
    // The state for the next frame and the threshold moved to the contour's own contrast.
    void settle(const GreyImage& image, Track& track, KONTUR& contour, State& state, int pixels,
                double cx, double cy);
    TrackingRules rules_;
    int threads_ = 1;
    std::vector<State> states_;
    std::vector<int> labels_; // the frame's regions, as findRegions gives them
    std::vector<Region> regions_;
    FindOptions find_;     // the rules they were found by
    bool checked_ = false; // a frame was checked
    // The median contrast of the first frame's regions to their threshold (quarter levels):
    // a region found later must have a fair share of it to start a track, so that a frame
    // whose threshold fell into the noise (no object left, or only faint ones) starts none.
    double contrast_ = 0;
};

} // namespace orvik
