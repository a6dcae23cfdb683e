// Following objects from frame to frame, each frame's objects on worker threads.
#include "follow.h"

#include "checked_float.h"
#include "commands.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace orvik {

namespace {

// One step of a track on `image`: the analysis from the settings on the track's first frame,
// else a run on from where the contour stopped.
void followOn(Track& track, KONTUR& k, const GreyImage& image, const std::string& imageFile,
              StepScratch& scratch) {
    if (!track.error.empty()) return; // the track ended on an earlier frame
    const bool blackOnWhite = track.values.blackOnWhite;
    const ImageBindingScope binding(image, blackOnWhite);
    try {
        if (track.frames.empty())
            analyseContour(k, scratch, track.values);
        else
            Run(k, scratch);
    } catch (const FloatingPointError& error) {
        track.error = error.what();
        return;
    }
    track.frames.push_back(
        captureResult(k, runContext(imageFile, image.ImageWidth, image.ImageHeight, track.values)));
}

} // namespace

FollowOutcome followObjects(const std::vector<PictureObject>& objects, const FrameSource& frame,
                            int first, int count, const std::string& imageFile, int threads,
                            const std::function<bool(int)>& progress) {
    FollowOutcome outcome;
    const std::size_t n = objects.size();
    outcome.tracks.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        outcome.tracks[i].id = objects[i].id;
        outcome.tracks[i].values = objects[i].values;
        outcome.tracks[i].firstFrame = first;
    }
    std::vector<KONTUR> contours(n);
    const std::size_t workers =
        std::clamp<std::size_t>(static_cast<std::size_t>(threads), 1, std::max<std::size_t>(n, 1));
    // Each worker keeps its scratch from frame to frame.
    std::vector<StepScratch> scratch(workers);
    for (int f = 0; f < count; ++f) {
        const GreyImage image = frame(first + f);
        std::atomic<std::size_t> next{0};
        const auto work = [&](std::size_t w) {
            for (std::size_t i = next++; i < n; i = next++)
                followOn(outcome.tracks[i], contours[i], image, imageFile, scratch[w]);
        };
        {
            // The calling thread only waits: its own binding (the window's) stays as it is.
            std::vector<std::jthread> pool;
            for (std::size_t w = 0; w < workers; ++w)
                pool.emplace_back(work, w);
        }
        outcome.framesDone = f + 1;
        if (progress && !progress(outcome.framesDone)) break;
    }
    return outcome;
}

} // namespace orvik
