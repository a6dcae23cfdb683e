// Following with detection: the track graph of each kind of synthetic movie against its truth,
// the CTC measures on a small case with a known answer, and the same tracks on any number of
// workers.
#include "core/field_table.h"
#include "core/geometry.h"
#include "core/measurements.h"
#include "ctc_measures.h"
#include "document/find_objects.h"
#include "document/follow.h"
#include "frame_stack.h"
#include "tracking_movie.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <string>

namespace orvik {
namespace {

// The movie followed as orvik-cli follows it with --find-objects --threshold auto --split;
// frame `unreadable` fails to be read.
FollowOutcome followed(const test::TrackingMovie& movie, int threads, const FrameDone& done = {},
                       int unreadable = -1) {
    const DisplayRange range = autoRange(movie.frames);
    const GreyImage first = greyFrame(movie.frames, 0, range);
    TrackingRules rules;
    rules.find.threshold = otsuThreshold(first);
    rules.find.autoPolarity = true;
    rules.find.split = true;
    rules.find = resolvedPolarity(first, rules.find);
    rules.autoThreshold = true;
    rules.base.blackOnWhite = rules.find.blackOnWhite;
    at(rules.base.fields, Field::Threshold) = rules.find.threshold;
    ObjectList list;
    for (const Region& region : findRegions(first, rules.find))
        list.add(seedValues(region, rules.base));
    return followObjects(
        list.objects(),
        [&](int f) {
            if (f == unreadable) throw std::runtime_error("frame " + std::to_string(f));
            return greyFrame(movie.frames, f, range);
        },
        0, movie.frames.frameCount(), "movie.tif", threads, {}, done, &rules);
}

// The true label under a track's first contour's centre on its first frame.
int trueLabel(const Track& track, const test::TrackingMovie& movie) {
    const ContourPoint c = polygonCentroid(track.frames.front().contour);
    const int x = static_cast<int>(c.x), y = static_cast<int>(c.y);
    const int width = movie.frames.width();
    if (x < 0 || y < 0 || x >= width || y >= movie.frames.height()) return 0;
    return movie.truth[std::size_t(track.firstFrame)][std::size_t(y) * width + x];
}

TEST(Tracking, EachKindOfMovieGivesItsTrueTrackGraph) {
    // Per kind, the end each true track has (by label; none: it lasts to the last frame).
    const std::map<std::string, std::map<int, std::string>> cases = {
        {"arrival", {}},
        {"departure", {{2, EndLeft}}},
        {"division", {{1, EndDivided}}},
        {"touching", {}},
        {"dimming", {}},
        {"collapse", {{1, EndLost}}},
    };
    for (const auto& [kind, ends] : cases) {
        SCOPED_TRACE(kind);
        const test::TrackingMovie movie = test::drawTrackingMovie(test::trackingScene(kind));
        const FollowOutcome outcome = followed(movie, 2);
        ASSERT_EQ(outcome.tracks.size(), movie.tracks.size());
        std::map<int, int> labelOfId;
        for (const Track& track : outcome.tracks)
            labelOfId[track.id] = trueLabel(track, movie);
        for (const Track& track : outcome.tracks) {
            const int label = labelOfId[track.id];
            ASSERT_GT(label, 0) << "track " << track.id;
            const test::TrueTrack& truth = movie.tracks[std::size_t(label - 1)];
            EXPECT_NEAR(track.firstFrame, truth.first, 2) << "track " << track.id;
            EXPECT_NEAR(track.lastFrame(), truth.last, 5) << "track " << track.id;
            EXPECT_EQ(track.parent == 0 ? 0 : labelOfId[track.parent], truth.parent);
            const auto end = ends.find(label);
            EXPECT_EQ(track.ended, end == ends.end() ? "" : end->second) << "track " << track.id;
        }
        if (kind == "dimming") {
            // At 30 % of its contrast the cell keeps its area within 10 %.
            const Track& track = outcome.tracks.front();
            const std::vector<std::uint16_t>& truth = movie.truth.back();
            const double area = static_cast<double>(std::count(truth.begin(), truth.end(), 1));
            ASSERT_EQ(track.lastFrame(), movie.frames.frameCount() - 1);
            double pixels = 0;
            forEachInsideSpan(
                track.frames.back().contour, movie.frames.width(), movie.frames.height(),
                [&](std::int32_t, std::int32_t x1, std::int32_t x2) { pixels += x2 - x1 + 1; });
            EXPECT_NEAR(pixels / area, 1, 0.1);
        }
    }
}

TEST(Tracking, CtcMeasuresOfASmallCase) {
    // 4 × 4, two frames: one true object on both; the result outlines it whole on frame 0, on
    // frame 1 under another id with one pixel of the four missed and one pixel too many, and
    // adds a false object. SEG = (1 + 3/5) / 2; AOGM = 1.5 (the link to add) + 1 (the false
    // object), AOGM_0 = 2 × 10 + 1.5.
    test::CtcLayout truth{4, 4, {{1, 1, 0, 0, 1, 1}, {1, 1, 0, 0, 1, 1}}, {{1, 0, 1, 0}}};
    for (auto& mask : truth.masks)
        mask.resize(16, 0);
    test::CtcLayout result{4, 4, {{1, 1, 0, 0, 1, 1}, {2, 2, 0, 0, 2, 0, 2}}, {{1, 0, 0, 0}}};
    for (auto& mask : result.masks)
        mask.resize(16, 0);
    result.masks[1][15] = 3;
    result.tracks.push_back({2, 1, 1, 0});
    result.tracks.push_back({3, 1, 1, 0});
    const test::CtcMeasures m = test::ctcMeasures(truth, result);
    EXPECT_DOUBLE_EQ(m.seg, 0.8);
    EXPECT_EQ(m.fp, 1);
    EXPECT_EQ(m.ea, 1);
    EXPECT_EQ(m.fn + m.ns + m.ed + m.ec, 0);
    EXPECT_DOUBLE_EQ(m.tra, 1 - 2.5 / 21.5);
    // The same result with the link: a parent where the truth has the same track is a change.
    result.tracks[1].parent = 1;
    EXPECT_EQ(test::ctcMeasures(truth, result).ec, 1);
}

TEST(Tracking, TheSameTracksOnAnyNumberOfWorkers) {
    const test::TrackingMovie movie = test::drawTrackingMovie(test::trackingScene("mixed", 3, 60));
    const FollowOutcome one = followed(movie, 1);
    const FollowOutcome three = followed(movie, 3);
    ASSERT_EQ(one.tracks.size(), three.tracks.size());
    for (std::size_t t = 0; t < one.tracks.size(); ++t) {
        const Track &a = one.tracks[t], &b = three.tracks[t];
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.parent, b.parent);
        EXPECT_EQ(a.ended, b.ended);
        EXPECT_EQ(a.firstFrame, b.firstFrame);
        ASSERT_EQ(a.frames.size(), b.frames.size());
        for (std::size_t f = 0; f < a.frames.size(); ++f)
            ASSERT_EQ(a.frames[f].contour, b.frames[f].contour) << "track " << a.id;
    }
}

// A frame read ahead that cannot be read fails the following once the frames before it are told.
TEST(Tracking, AnUnreadableFrameFailsAfterTheFramesBeforeItAreTold) {
    const test::TrackingMovie movie = test::drawTrackingMovie(test::trackingScene("mixed", 3, 60));
    ASSERT_GT(movie.frames.frameCount(), 3);
    std::vector<int> heard;
    FrameDone done;
    done.heard = [&](int f, const std::vector<Track>&, const GreyImage&) { heard.push_back(f); };
    EXPECT_THROW(followed(movie, 2, done, 2), std::runtime_error);
    EXPECT_EQ(heard, (std::vector<int>{0, 1}));
}

} // namespace
} // namespace orvik
