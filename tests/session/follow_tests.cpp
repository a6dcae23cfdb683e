// Following objects through frames: the first frame as a lone analysis, every thread count
// alike, a failing object's track ended, a stop between frames, and contours that move with
// their objects.
#include "core/measurements.h"
#include "document/follow.h"
#include "session_test_support.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

using test::objectsOn;

// The discs of test::discs() drifting right by `step` pixels a frame.
GreyImage drifted(int frame, int step = 2) {
    const GreyImage still = test::discs();
    return test::greyPicture(still.ImageWidth, still.ImageHeight, [&](int x, int y) {
        const int from = std::max(0, x - step * frame);
        return still.GreyData[static_cast<std::size_t>(y) * still.ImageWidth + from];
    });
}

void expectSameTrack(const Track& got, const Track& want) {
    EXPECT_EQ(got.error, want.error) << "object " << got.id;
    ASSERT_EQ(got.frames.size(), want.frames.size()) << "object " << got.id;
    for (std::size_t f = 0; f < got.frames.size(); ++f) {
        EXPECT_EQ(got.frames[f].contour, want.frames[f].contour) << got.id << " frame " << f;
        EXPECT_EQ(got.frames[f].iteration, want.frames[f].iteration) << got.id << " frame " << f;
    }
}

TEST(Follow, TracksAreWhatEachObjectGivesAloneOnAnyThreadCount) {
    const ObjectList list = objectsOn(15);
    const std::vector<PictureObject>& objects = list.objects();
    const FollowOutcome one = followObjects(
        objects, [](int f) { return drifted(f); }, 0, 4, "movie.tif", 1);
    ASSERT_EQ(one.framesDone, 4);
    // The first frame is the lone analysis of the object's settings.
    const GreyImage first = drifted(0);
    StepScratch scratch;
    for (const Track& track : one.tracks) {
        const ObjectAnalysis alone =
            analyseObject(first, "movie.tif", objects[track.id - 1].values, scratch);
        EXPECT_EQ(track.error.empty(), alone.error.empty());
        if (alone.error.empty()) {
            EXPECT_EQ(track.frames.front().contour, alone.result.contour);
        }
    }
    // The failing object's track ends on the first frame; the others go on to the last.
    EXPECT_TRUE(one.tracks.back().frames.empty());
    EXPECT_FALSE(one.tracks.back().error.empty());
    EXPECT_EQ(one.tracks.front().lastFrame(), 3);

    for (const int threads : {2, 5}) {
        SCOPED_TRACE(threads);
        const FollowOutcome many = followObjects(
            objects, [](int f) { return drifted(f); }, 0, 4, "movie.tif", threads);
        for (std::size_t i = 0; i < objects.size(); ++i)
            expectSameTrack(many.tracks[i], one.tracks[i]);
    }
    const FollowOutcome lone = followObjects(
        {objects[3]}, [](int f) { return drifted(f); }, 0, 4, "movie.tif", 1);
    expectSameTrack(lone.tracks.front(), one.tracks[3]);
}

TEST(Follow, ContoursMoveWithTheirObjectsAndAStopKeepsTheFramesDone) {
    ObjectList list;
    // "Standard" around the first disc, centred on (30, 30): its shape force holds the
    // contour to a centre, which has to move with the disc.
    ControlValues disc;
    disc.model = ModelChoice::Standard;
    setBox(disc.fields, {8, 8, 52, 52});
    at(disc.fields, Field::Threshold) = 480;
    at(disc.fields, Field::Radius) = 18;
    list.add(disc);
    const auto centreX = [](const ContourResult& r) {
        return measure(r, {nullptr, r.context.width, r.context.height}).centroid.x;
    };
    const FollowOutcome moved = followObjects(
        list.objects(), [](int f) { return drifted(f, 3); }, 0, 9, "movie.tif", 2);
    const Track& track = moved.tracks.front();
    ASSERT_EQ(track.frames.size(), 9u);
    // The disc's centre is at x = 30 + 3 f on frame f: beyond its first outline by the last.
    for (int f = 0; f < 9; ++f)
        EXPECT_NEAR(centreX(track.frames[static_cast<std::size_t>(f)]), 30.0 + 3 * f, 2.5) << f;

    const FollowOutcome stopped = followObjects(
        list.objects(), [](int f) { return drifted(f, 3); }, 1, 5, "movie.tif", 2,
        [](int done) { return done < 2; });
    EXPECT_EQ(stopped.framesDone, 2);
    EXPECT_EQ(stopped.tracks.front().firstFrame, 1);
    EXPECT_EQ(stopped.tracks.front().frames.size(), 2u);
}

} // namespace
} // namespace orvik
