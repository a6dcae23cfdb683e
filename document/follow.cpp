// Following objects from frame to frame, each frame's objects on worker threads.
#include "document/follow.h"

#include "checked_float.h"
#include "core/commands.h"
#include "core/geometry.h"
#include "document/worker_pool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <future>

namespace orvik {

namespace {

// Before a frame after the first: the centre that "Center point"'s radii and "Standard"'s
// shape force refer to moves to the contour's centroid, so that a moving object takes its
// model along; otherwise the model pulls its contour back toward where the object was on
// the first frame. "Center point" keeps its outline: each radius becomes the distance from
// the new centre to the old outline along the point's own direction, at both levels.
void recentre(KONTUR& k) {
    if ((k.ModelKind != 1 && k.ModelKind != 2) || k.PointCount < 3 || !k.Points) return;
    const ContourPoint c = polygonCentroid(levelOutline(k, currentLevel(k)));
    if (!std::isfinite(c.x) || !std::isfinite(c.y)) return;
    if (k.ModelKind == 1) {
        for (const std::int32_t level : {0, 1}) {
            const std::vector<ContourPoint> outline = levelOutline(k, level);
            std::vector<double> reach;
            for (const ContourPoint& p : outline)
                reach.push_back(std::hypot(p.x - c.x, p.y - c.y));
            const std::vector<double> radii = rayExits(c, outline, k.PointCount, reach);
            for (std::int32_t i = 0; i < k.PointCount; ++i)
                pointX(k, i, level) = static_cast<float>(radii[static_cast<std::size_t>(i)]);
        }
    }
    k.CenterX = static_cast<float>(c.x);
    k.CenterY = static_cast<float>(c.y);
}

// One step of a track on `image`: on the track's first frame the analysis from the object's
// own outline (`start`, for an outline read from a file) or else from its settings; on the
// frames after it a run on from where the contour stopped.
void followOn(Track& track, KONTUR& k, const std::vector<ContourPoint>* start,
              const GreyImage& image, const std::string& imageFile, StepScratch& scratch) {
    if (!track.error.empty() || !track.ended.empty()) return; // it ended on an earlier frame
    const bool blackOnWhite = track.values.blackOnWhite;
    const ImageBindingScope binding(image, blackOnWhite);
    try {
        if (track.frames.empty() && start != nullptr) {
            analyseFromOutline(k, scratch, track.values, *start);
        } else if (track.frames.empty()) {
            analyseContour(k, scratch, track.values);
        } else {
            runOnNextFrame(k, scratch);
        }
    } catch (const FloatingPointError& error) {
        track.error = error.what();
        return;
    }
    track.frames.push_back(
        captureResult(k, runContext(imageFile, image.ImageWidth, image.ImageHeight, track.values)));
}

// Frame f read on a thread of its own.
std::future<GreyImage> readAhead(const FrameSource& frame, int f) {
    return std::async(std::launch::async, [&frame, f] { return frame(f); });
}

// With `forget`, a frame once told: the results before each track's last are dropped.
void forgetEarlier(std::vector<Track>& tracks, const FrameDone& done) {
    if (!done.forget) return;
    for (Track& track : tracks)
        if (track.frames.size() > 1) {
            track.frames.erase(track.frames.begin());
            ++track.firstFrame;
        }
}

// Following with detection: as below, each frame checked by a Tracker once carried on.
FollowOutcome followDetecting(const std::vector<PictureObject>& objects, const FrameSource& frame,
                              int first, int count, const std::string& imageFile, int threads,
                              const std::function<bool(int)>& progress, const FrameDone& done,
                              const TrackingRules& rules) {
    FollowOutcome outcome;
    std::vector<Track>& tracks = outcome.tracks;
    std::vector<const std::vector<ContourPoint>*> starts;
    for (const PictureObject& object : objects) {
        Track& track = tracks.emplace_back();
        track.id = object.id;
        track.values = object.values;
        track.firstFrame = first;
        starts.push_back(object.fromOutline && !object.result.contour.empty()
                             ? &object.result.contour
                             : nullptr);
    }
    TrackingRules fresh = rules;
    for (const PictureObject& object : objects)
        fresh.nextId = std::max(fresh.nextId, object.id + 1);
    Tracker tracker(fresh, threads);
    std::vector<KONTUR> contours(tracks.size());
    WorkerPool pool(threads);
    // With more than one worker, each frame is read on a thread of its own while the frame
    // before is followed (on one, after it, as the worker would wait for nothing); its objects
    // are found on another from when it is read (while the frame before is told and its
    // own contours carried on) until they are checked. Two pictures in turn, the frame's and the
    // next one's; the frame being read is one ahead, the picture two before it dropped. The
    // work under way is waited for before the pictures go (the futures are destroyed first).
    std::array<GreyImage, 2> pictures;
    const auto detectOn = [&tracker](const GreyImage& picture) {
        return std::async(std::launch::async,
                          [&tracker, &picture] { return tracker.detect(picture); });
    };
    std::future<GreyImage> reading;
    std::future<Tracker::Detection> detection;
    if (count > 0) {
        pictures[0] = frame(first);
        detection = detectOn(pictures[0]);
    }
    for (int f = 0; f < count; ++f) {
        const std::size_t slot = std::size_t(f % 2);
        if (f + 1 < count && threads > 1) reading = readAhead(frame, first + f + 1);
        const GreyImage& image = pictures[slot];
        const std::size_t carried = tracks.size();
        pool.run(carried, [&](std::size_t i, StepScratch& scratch) {
            followOn(tracks[i], contours[i], f == 0 ? starts[i] : nullptr, image, imageFile,
                     scratch);
        });
        tracker.take(detection.get());
        // Contours that spread over another track's object run on again kept off it.
        const std::vector<std::pair<std::size_t, GreyImage>> walled =
            tracker.walls(image, first + f, tracks);
        pool.run(walled.size(), [&](std::size_t j, StepScratch& scratch) {
            Track& track = tracks[walled[j].first];
            const ContourResult before = track.frames.back();
            track.frames.pop_back();
            followOn(track, contours[walled[j].first], nullptr, walled[j].second, imageFile,
                     scratch);
            if (!track.error.empty()) track.frames.push_back(before);
        });
        std::vector<Track> started = tracker.check(image, first + f, tracks, contours);
        if (!started.empty()) {
            const std::size_t before = tracks.size();
            for (Track& track : started)
                tracks.push_back(std::move(track));
            contours.resize(tracks.size());
            pool.run(tracks.size() - before, [&](std::size_t j, StepScratch& scratch) {
                followOn(tracks[before + j], contours[before + j], nullptr, image, imageFile,
                         scratch);
            });
            tracker.started(image, first + f, tracks, contours, before);
            if (done.grown) done.grown(tracks.size());
        }
        if (done.each)
            pool.run(tracks.size(), [&](std::size_t i, StepScratch&) {
                done.each(i, first + f, trackOnFrame(tracks[i], first + f), image);
            });
        outcome.framesDone = f + 1;
        // The next frame, and its objects looked for; a frame that cannot be read fails once
        // this one is told.
        std::exception_ptr unread;
        try {
            if (f + 1 < count) {
                pictures[1 - slot] = threads > 1 ? reading.get() : frame(first + f + 1);
                detection = detectOn(pictures[1 - slot]);
            }
        } catch (...) {
            unread = std::current_exception();
        }
        if (done.heard) done.heard(first + f, tracks, image);
        forgetEarlier(tracks, done);
        if (unread) std::rethrow_exception(unread);
        pictures[slot] = GreyImage(); // two frames before the one read next
        if (progress && !progress(outcome.framesDone)) break;
    }
    return outcome;
}

} // namespace

std::optional<PictureObject> trackOnFrame(const Track& track, int f) {
    if (f < track.firstFrame) return std::nullopt;
    PictureObject object{track.id, track.values, {}, {}};
    object.parent = track.parent;
    if (f <= track.lastFrame()) {
        object.result = track.frames[static_cast<std::size_t>(f - track.firstFrame)];
    } else if (f == track.lastFrame() + 1 && (!track.error.empty() || !track.ended.empty())) {
        if (!track.frames.empty()) object.result = track.frames.back();
        object.error = track.error;
        object.ended = track.ended;
    } else {
        return std::nullopt;
    }
    return object;
}

void runOnNextFrame(KONTUR& k, StepScratch& scratch) {
    recentre(k);
    Run(k, scratch);
}

FollowOutcome followObjects(const std::vector<PictureObject>& objects, const FrameSource& frame,
                            int first, int count, const std::string& imageFile, int threads,
                            const std::function<bool(int)>& progress, const FrameDone& done,
                            const TrackingRules* tracking) {
    if (tracking != nullptr)
        return followDetecting(objects, frame, first, count, imageFile, threads, progress, done,
                               *tracking);
    FollowOutcome outcome;
    const std::size_t n = objects.size();
    outcome.tracks.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        outcome.tracks[i].id = objects[i].id;
        outcome.tracks[i].values = objects[i].values;
        outcome.tracks[i].firstFrame = first;
    }
    std::vector<KONTUR> contours(n);
    // Each worker keeps its scratch from frame to frame.
    WorkerPool pool(threads);
    // With more than one worker, each frame is read on a thread of its own while the frame
    // before is followed and told; the read under way is waited for before the frame before
    // goes.
    std::future<GreyImage> next;
    if (count > 0 && threads > 1) next = readAhead(frame, first);
    for (int f = 0; f < count; ++f) {
        const GreyImage image = threads > 1 ? next.get() : frame(first + f);
        if (f + 1 < count && threads > 1) next = readAhead(frame, first + f + 1);
        pool.run(n, [&](std::size_t i, StepScratch& scratch) {
            const PictureObject& object = objects[i];
            const bool fromOutline = object.fromOutline && !object.result.contour.empty();
            followOn(outcome.tracks[i], contours[i], fromOutline ? &object.result.contour : nullptr,
                     image, imageFile, scratch);
            if (done.each)
                done.each(i, first + f, trackOnFrame(outcome.tracks[i], first + f), image);
        });
        outcome.framesDone = f + 1;
        if (done.heard) done.heard(first + f, outcome.tracks, image);
        forgetEarlier(outcome.tracks, done);
        // The window may handle events while it is told: the next frame is read by then.
        if (progress && f + 1 < count && threads > 1) next.wait();
        if (progress && !progress(outcome.framesDone)) break;
    }
    return outcome;
}

} // namespace orvik
