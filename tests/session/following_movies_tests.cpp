// Following objects through a short synthetic movie of drifting, growing, dimming ellipses:
// each object seeded on the first frame stays on its own ellipse on every frame.
#include "synthetic_movie.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

TEST(FollowingMovies, EveryClosedModelKeepsEachEllipseOnEveryFrame) {
    test::MovieScene scene;
    scene.frames = 6;
    scene.drift = 0.5;
    scene.growth = 0.01;
    scene.dimming = 0.02;
    const struct {
        ModelChoice model;
        bool darkObjects;
    } cases[] = {{ModelChoice::CenterPoint, false},
                 {ModelChoice::Standard, true},
                 {ModelChoice::Balloon, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(modelKey(c.model));
        scene.darkObjects = c.darkObjects;
        const test::SyntheticMovie movie = test::drawMovie(scene);
        const DisplayRange range = autoRange(movie.frames);
        ControlValues base;
        base.model = c.model;
        base.blackOnWhite = c.darkObjects;
        const std::vector<PictureObject> objects =
            test::seedObjects(greyFrame(movie.frames, 0, range), base);
        ASSERT_EQ(objects.size(), movie.ellipses.front().size());
        const FollowOutcome outcome = followObjects(
            objects, [&](int f) { return greyFrame(movie.frames, f, range); }, 0, scene.frames,
            "movie.tif", 2);
        const std::vector<int> labels = test::matchTracks(outcome.tracks, movie);
        const std::vector<std::vector<double>> ious =
            test::trackIous(outcome.tracks, labels, movie);
        for (std::size_t t = 0; t < ious.size(); ++t) {
            EXPECT_NE(labels[t], 0) << "object " << outcome.tracks[t].id;
            for (std::size_t f = 0; f < ious[t].size(); ++f)
                EXPECT_GE(ious[t][f], 0.9) << "object " << outcome.tracks[t].id << " frame " << f;
        }
    }
}

} // namespace
} // namespace orvik
