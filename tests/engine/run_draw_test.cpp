// The run driver's hooks and step count, and the vertices Draw hands to the canvas.
#include "engine_test_support.h"
#include "kontur.h"

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
        orvik::Run(k);
        EXPECT_EQ(progressAt, c.advances) << c.iterations;
        EXPECT_EQ(k.Iteration, std::max(c.iterations, 0)) << c.iterations;
        EXPECT_EQ(events, (std::vector<std::string>{"wait", "restore"})) << c.iterations;
    }
}

TEST_F(RunHooksTest, BeforeTheFirstInitNoStepRunsButTheCountGoesOn) {
    KONTUR k;
    current = &k;
    k.Iterations = 30;
    orvik::Run(k);
    EXPECT_EQ(k.Iteration, 0);
    EXPECT_EQ(progressAt.size(), 3u);
    EXPECT_EQ(events, (std::vector<std::string>{"wait", "restore"}));
}

TEST(Run, WithoutHooksItStillRuns) {
    SetRunHooks(RunHooks{});
    test::BoundImage image(100, 100, 128);
    KONTUR k;
    init(k, Params{.model = 1, .points = 8, .iterations = 35});
    orvik::Run(k);
    EXPECT_EQ(k.Iteration, 35);
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
