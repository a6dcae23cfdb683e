// The run driver's hooks and step count, and the vertices Draw hands to the canvas.
#include "engine_test_support.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <bit>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::init;
using test::Params;
using Vertex = test::RecordingCanvas::Vertex;

// Installs counting hooks for one test and removes them afterwards.
class RunHooksTest : public ::testing::Test {
protected:
    RunHooksTest() {
        SetRunHooks(RunHooks{
            .StepProgress = [this] { progressAt.push_back(current->Iteration); },
            .ShowWaitCursor = [this] { events.push_back("wait"); },
            .RestoreCursor = [this] { events.push_back("restore"); },
        });
    }
    ~RunHooksTest() override { SetRunHooks(RunHooks{}); }

    KONTUR* current = nullptr;
    std::vector<std::int32_t> progressAt; // Iteration at each advance of the bar
    std::vector<std::string> events;
};

TEST_F(RunHooksTest, ProgressAdvancesEveryTenIterationsFromTwentyOn) {
    test::BoundImage image(100, 100, 128);
    struct Case {
        std::int32_t iterations;
        std::vector<std::int32_t> advances;
    };
    const Case cases[] = {
        {100, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        {19, {}},
        {25, {10, 20}},
        {20, {10, 20}},
        {10, {}},
        {0, {}},
        {-5, {}},
    };
    for (const Case& c : cases) {
        KONTUR k;
        current = &k;
        progressAt.clear();
        events.clear();
        init(k, Params{.x1 = 30,
                       .y1 = 30,
                       .x2 = 70,
                       .y2 = 60,
                       .model = 2,
                       .points = 12,
                       .tension = 0.1f,
                       .image = 0.1f,
                       .threshold = 100,
                       .iterations = c.iterations});
        orvik::Run(k, test::scratch());
        EXPECT_EQ(progressAt, c.advances) << c.iterations;
        EXPECT_EQ(k.Iteration, std::max(c.iterations, 0)) << c.iterations;
        EXPECT_EQ(events, (std::vector<std::string>{"wait", "restore"})) << c.iterations;
    }
}

TEST_F(RunHooksTest, BeforeTheFirstInitNoStepRunsButTheCountGoesOn) {
    KONTUR k;
    current = &k;
    k.Iterations = 30;
    orvik::Run(k, test::scratch());
    EXPECT_EQ(k.Iteration, 0);
    EXPECT_EQ(progressAt.size(), 3u);
    EXPECT_EQ(events, (std::vector<std::string>{"wait", "restore"}));
}

TEST(Run, WithoutHooksItStillRuns) {
    SetRunHooks(RunHooks{});
    test::BoundImage image(100, 100, 128);
    KONTUR k;
    init(k, Params{.model = 1, .points = 8, .iterations = 35});
    orvik::Run(k, test::scratch());
    EXPECT_EQ(k.Iteration, 35);
}

using test::Snapshot;
using test::snapshot;

// A dark disc of radius 30 on a light 120 × 100 picture, bound while it lives.
struct DiscPicture {
    DiscPicture() {
        image.paint(40,
                    [](int x, int y) { return (x - 60) * (x - 60) + (y - 50) * (y - 50) < 900; });
    }
    test::BoundImage image{120, 100, 200};
};

// A model around the disc with every force acting.
Params discModel(std::int32_t model, std::int32_t points, float gradient, std::int32_t iterations) {
    return Params{.x1 = 20,
                  .y1 = 10,
                  .x2 = 100,
                  .y2 = 90,
                  .model = model,
                  .points = points,
                  .tension = 0.2f,
                  .rigidity = 0.05f,
                  .radius = 25,
                  .form = 0.01f,
                  .image = model == 4 ? 0.02f : -0.02f,
                  .threshold = 120,
                  .gradient = gradient,
                  .iterations = iterations};
}

// Run keeps the contour out of the point buffer between steps where nothing can fail; what it
// leaves after every tenth step and at the end must be what single steps leave, with the
// progress hook installed (a write-back every ten steps) and without (one at the end).
TEST(Run, LeavesWhatSingleStepsLeaveWithAndWithoutTheProgressHook) {
    const DiscPicture disc;
    for (const std::int32_t model : {1, 2, 3, 4}) {
        for (const float gradient : {0.0f, 3.0f}) {
            SCOPED_TRACE("model " + std::to_string(model) + " gradient " +
                         std::to_string(gradient));
            const Params p = discModel(model, 23, gradient, 57);
            KONTUR single;
            init(single, p);
            std::vector<Snapshot> expected;
            for (std::int32_t step = 1; step <= p.iterations; ++step) {
                StepModel(single, test::scratch());
                if (step % StepsPerProgressStep == 0) expected.push_back(snapshot(single));
            }

            KONTUR counted;
            init(counted, p);
            std::vector<Snapshot> seen;
            SetRunHooks(RunHooks{.StepProgress = [&] { seen.push_back(snapshot(counted)); },
                                 .ShowWaitCursor = {},
                                 .RestoreCursor = {}});
            orvik::Run(counted, test::scratch());
            SetRunHooks(RunHooks{});
            EXPECT_TRUE(seen == expected);
            EXPECT_TRUE(snapshot(counted) == snapshot(single));

            KONTUR quiet;
            init(quiet, p);
            orvik::Run(quiet, test::scratch());
            EXPECT_TRUE(snapshot(quiet) == snapshot(single));
        }
    }
}

// A progress hook may change the weights the steps read. The steps after it must read the
// picture with the new ones, as single steps do, although a run keeps what its points read
// from one progress step to the next ("Opened" as well as the closed contours).
TEST(Run, StepsAfterAProgressHookUseTheWeightsItSet) {
    const DiscPicture disc;
    struct Change {
        const char* name;
        void (*apply)(KONTUR&);
    };
    const Change changes[] = {
        {"threshold", [](KONTUR& k) { k.Threshold += 40; }},
        {"image weight", [](KONTUR& k) { k.ImageWeight *= 3; }},
        {"edge weight", [](KONTUR& k) { k.GradientWeight *= 0.5f; }},
    };
    for (const std::int32_t model : {1, 2, 3, 4}) {
        for (const Change& change : changes) {
            SCOPED_TRACE("model " + std::to_string(model) + ", " + change.name);
            const Params p = discModel(model, 23, 3.0f, 40);
            KONTUR single;
            init(single, p);
            for (std::int32_t step = 1; step <= p.iterations; ++step) {
                StepModel(single, test::scratch());
                if (step == 2 * StepsPerProgressStep) change.apply(single);
            }

            KONTUR counted;
            init(counted, p);
            SetRunHooks(RunHooks{.StepProgress =
                                     [&] {
                                         if (counted.Iteration == 2 * StepsPerProgressStep)
                                             change.apply(counted);
                                     },
                                 .ShowWaitCursor = {},
                                 .RestoreCursor = {}});
            orvik::Run(counted, test::scratch());
            SetRunHooks(RunHooks{});
            EXPECT_TRUE(snapshot(counted) == snapshot(single));
        }
    }
}

// A chain at rest keeps what it read at its pixels from one progress step to the next; a
// threshold that a progress hook changes must still reach it. The picture darkens downward
// and the chain lies on the row whose grey level is the threshold: no force, until the
// threshold moves.
TEST(Run, AChainAtRestFeelsTheThresholdAProgressHookSets) {
    test::BoundImage image(60, 40, 0);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x)
            image.set(x, y, static_cast<std::uint8_t>(100 + 2 * y));
    }
    const Params p{.x1 = 10,
                   .y1 = 20,
                   .x2 = 50,
                   .y2 = 20,
                   .model = 4,
                   .points = 12,
                   .image = 0.5f,
                   .threshold = 140,
                   .iterations = 40};
    const auto change = [](KONTUR& k) {
        if (k.Iteration == 2 * StepsPerProgressStep) k.Threshold += 40;
    };
    KONTUR single;
    init(single, p);
    const std::vector<std::uint32_t> atRest = test::bits(single);
    for (std::int32_t step = 0; step < p.iterations; ++step) {
        StepModel(single, test::scratch());
        change(single);
    }
    KONTUR counted;
    init(counted, p);
    SetRunHooks(RunHooks{
        .StepProgress = [&] { change(counted); }, .ShowWaitCursor = {}, .RestoreCursor = {}});
    orvik::Run(counted, test::scratch());
    SetRunHooks(RunHooks{});
    EXPECT_TRUE(snapshot(counted) == snapshot(single));
    EXPECT_NE(test::bits(single), atRest) << "the new threshold moves the chain";
}

// A chain at rest on a flat picture is not read again while it stays on its pixels; a picture
// changed in the same buffer between two runs must still be read by the next one.
TEST(Run, ReadsAPictureChangedInPlaceBetweenRuns) {
    test::BoundImage image(60, 40, 200);
    const Params p{.x1 = 10,
                   .y1 = 10,
                   .x2 = 50,
                   .y2 = 30,
                   .model = 4,
                   .points = 12,
                   .image = 0.5f,
                   .threshold = 100,
                   .iterations = 30};
    KONTUR run;
    init(run, p);
    const std::vector<std::uint32_t> atRest = test::bits(run);
    orvik::Run(run, test::scratch());
    ASSERT_EQ(test::bits(run), atRest) << "a straight chain on a flat picture stays";
    KONTUR single = CopyKontur(run);

    image.paint(90, [](int x, int y) { return (x + 2 * y) % 3 == 0; });
    orvik::Run(run, test::scratch());
    for (std::int32_t step = 0; step < p.iterations; ++step)
        StepModel(single, test::scratch());
    EXPECT_TRUE(snapshot(run) == snapshot(single));
    EXPECT_NE(test::bits(run), atRest) << "the stripes move the chain";
}

// A closed contour under the edge force keeps what its points read for one run only: a
// picture rewritten in place before the next run is read again, as single steps read it. The
// pictures are flat, so that the edge force is zero before and after (the edge forces
// themselves are remembered until the next Init).
TEST(Run, ANewRunReadsAPictureRewrittenInPlaceUnderTheEdgeForce) {
    test::BoundImage image(220, 200, 200);
    for (const std::int32_t model : {1, 2, 3}) {
        Params p = discModel(model, 23, 3.0f, 30);
        p.x1 += 50; // far from the picture's border
        p.x2 += 50;
        p.y1 += 50;
        p.y2 += 50;
        KONTUR run;
        KONTUR single;
        init(run, p);
        init(single, p);
        for (const std::uint8_t grey : {200, 60}) {
            image.paint(grey, [](int, int) { return true; });
            orvik::Run(run, test::scratch());
            for (std::int32_t step = 0; step < p.iterations; ++step)
                StepModel(single, test::scratch());
            EXPECT_TRUE(snapshot(run) == snapshot(single))
                << "model " << model << ", grey " << +grey;
        }
    }
}

// What one analysis leaves in the model's scratch must not reach the next: each model run
// with the edge force and then, after a new Init, without it (and the other way round)
// gives the bits of a model that only ran the second analysis.
TEST(Run, ASecondAnalysisOfTheSameModelIsNotTouchedByTheFirst) {
    const DiscPicture disc;
    for (const std::int32_t model : {1, 2, 3, 4}) {
        for (const float firstGradient : {0.0f, 5.0f}) {
            Params p = discModel(model, 30, firstGradient, 40);
            KONTUR reused;
            init(reused, p);
            orvik::Run(reused, test::scratch());
            p.gradient = 5.0f - firstGradient;
            init(reused, p);
            orvik::Run(reused, test::scratch());
            KONTUR fresh;
            init(fresh, p);
            orvik::Run(fresh, test::scratch());
            EXPECT_TRUE(snapshot(reused) == snapshot(fresh)) << "model " << model;
        }
    }
}

TEST(Draw, VerticesOfEachModelRightAfterInit) {
    struct Case {
        std::int32_t model;
        std::int32_t points;
        std::vector<Vertex> vertices;
    };
    const Case cases[] = {
        // Falling angle from angle 0; θ rounded to a float tips two coordinates to 29.
        {1, 4, {{50, 30}, {30, 20}, {10, 29}, {29, 40}, {50, 30}}},
        {2, 4, {{10, 30}, {30, 40}, {50, 30}, {29, 20}, {10, 30}}},
        {3, 4, {{10, 30}, {30, 40}, {50, 30}, {29, 20}, {10, 30}}},
        {4, 5, {{10, 20}, {20, 25}, {30, 30}, {40, 35}, {50, 40}}},
    };
    for (const Case& c : cases) {
        KONTUR k;
        init(k,
             Params{.x1 = 10, .y1 = 20, .x2 = 50, .y2 = 40, .model = c.model, .points = c.points});
        test::RecordingCanvas canvas;
        Draw(k, canvas);
        EXPECT_EQ(canvas.vertices, c.vertices) << "model " << c.model;
        EXPECT_EQ(canvas.moves, 1) << "model " << c.model;
        EXPECT_EQ(canvas.selects, 1);
        EXPECT_EQ(canvas.restores, 1);
    }
}

TEST(Draw, NothingBeforeTheFirstInit) {
    const KONTUR k;
    test::RecordingCanvas canvas;
    Draw(k, canvas);
    EXPECT_TRUE(canvas.vertices.empty());
    EXPECT_EQ(canvas.selects, 1);
    EXPECT_EQ(canvas.restores, 1);
}

TEST(Draw, ShowsTheCurrentLevelTruncatedTowardZero) {
    KONTUR k;
    init(k, Params{.model = 4, .points = 3});
    pointX(k, 0, 0) = -0.5f;
    pointX(k, 0, 1) = 7.9f;
    pointY(k, 0, 0) = -0.7f;
    pointY(k, 0, 1) = -3.9f;
    test::RecordingCanvas even;
    Draw(k, even);
    EXPECT_EQ(even.vertices.front(), (Vertex{0, 0}));
    k.Iteration = 1;
    test::RecordingCanvas odd;
    Draw(k, odd);
    EXPECT_EQ(odd.vertices.front(), (Vertex{7, -3}));
}

TEST(Draw, ADivergedCoordinateStopsDrawingAndRestoresThePen) {
    KONTUR k;
    init(k, Params{.model = 4, .points = 4});
    test::setPoint(k, 2, 1e19f, 30);
    test::RecordingCanvas canvas;
    try {
        Draw(k, canvas);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid floating point operation");
    }
    EXPECT_EQ(canvas.vertices.size(), 2u); // the move and the first line
    EXPECT_EQ(canvas.restores, 1);
}

} // namespace
} // namespace orvik
