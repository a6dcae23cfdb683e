// Diverging contours: the operation that fails and its message, the partial state a failed
// step leaves, the cursor restored by Run, and long runs with extreme weights.
#include "checked_float.h"
#include "engine_test_support.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::init;
using test::Params;

using Step = void (*)(KONTUR&, StepScratch&);
using Update = double (*)(KONTUR&, std::int32_t);

Step stepOf(std::int32_t model) {
    switch (model) {
    case 1:
        return StepCenterPoint;
    case 2:
        return StepStandard;
    case 3:
        return StepBalloon;
    default:
        return StepOpened;
    }
}

Update updateOf(std::int32_t model) {
    switch (model) {
    case 1:
        return UpdateCenterPoint;
    case 2:
        return UpdateStandardPoint;
    case 3:
        return UpdateBalloonPoint;
    default:
        return UpdateOpenedPoint;
    }
}

bool isDivergenceText(const std::string& text) {
    return text == "Floating point overflow" || text == "Invalid floating point operation";
}

// Where a point-at-a-time walk over a copy of `before` stops, and what it leaves.
struct Walk {
    KONTUR state;
    std::int32_t failedAt = -1;
    std::string text;
    double energy = 0;
};

Walk walkUntilFailure(const KONTUR& before) {
    Walk w;
    w.state = CopyKontur(before);
    const bool opened = before.ModelKind == 4;
    const std::int32_t first = opened ? 1 : 0;
    const std::int32_t end = opened ? before.PointCount - 1 : before.PointCount;
    for (std::int32_t i = first; i < end; ++i) {
        try {
            w.energy += updateOf(before.ModelKind)(w.state, i);
        } catch (const FloatingPointError& e) {
            w.failedAt = i;
            w.text = e.what();
            break;
        }
    }
    return w;
}

// Checks what a step that failed leaves behind against the state before it.
void expectPartialStep(const KONTUR& before, const KONTUR& after, const std::string& text,
                       std::int32_t expectedFailure = -1) {
    const Walk w = walkUntilFailure(before);
    ASSERT_GE(w.failedAt, 0) << "the walk did not fail";
    if (expectedFailure >= 0) {
        EXPECT_EQ(w.failedAt, expectedFailure);
    }
    EXPECT_EQ(text, w.text);
    EXPECT_EQ(after.Iteration, before.Iteration);
    EXPECT_EQ(after.Energy, w.energy); // the partial, undivided sum
    // Earlier points written, the rest of the older level as it was, the current level intact.
    EXPECT_EQ(test::bits(after), test::bits(w.state));
    const std::int32_t c = currentLevel(before);
    for (std::int32_t i = 0; i < before.PointCount; ++i) {
        EXPECT_EQ(pointX(after, i, c), pointX(before, i, c)) << i;
        EXPECT_EQ(pointY(after, i, c), pointY(before, i, c)) << i;
        if (i > w.failedAt) {
            EXPECT_EQ(pointX(after, i, 1 - c), pointX(before, i, 1 - c)) << i;
            EXPECT_EQ(pointY(after, i, 1 - c), pointY(before, i, 1 - c)) << i;
        }
    }
}

TEST(Divergence, TheFirstFailingOperationNamesTheError) {
    struct Override {
        std::int32_t i;
        float x, y;
    };
    struct Case {
        const char* what;
        Params params;
        std::vector<Override> points;
        const char* text;
        std::int32_t failsAt;
    };
    const Params ring{.x1 = 40,
                      .y1 = 40,
                      .x2 = 60,
                      .y2 = 60,
                      .points = 8,
                      .tension = 0.1f,
                      .radius = 10,
                      .form = 0.01f,
                      .inertia = 0,
                      .viscosity = 0.2f};
    auto with = [](Params p, std::int32_t model) {
        p.model = model;
        return p;
    };
    const Params chain{.x1 = 0,
                       .y1 = 0,
                       .x2 = 20,
                       .y2 = 0,
                       .model = 4,
                       .points = 3,
                       .tension = 0.1f,
                       .inertia = 0,
                       .viscosity = 0.2f};
    Params stiffChain = chain;
    stiffChain.tension = 1;
    const Case cases[] = {
        {"standard: a coordinate of 1e19 fails its truncation",
         with(ring, 2),
         {{5, 1e19f, 50}},
         "Invalid floating point operation",
         5},
        {"standard: at 2e19 the squared distance overflows first",
         with(ring, 2),
         {{5, 2e19f, 50}},
         "Floating point overflow",
         5},
        {"balloon: a coordinate of 1e19 fails its truncation",
         with(ring, 3),
         {{5, 1e19f, 50}},
         "Invalid floating point operation",
         5},
        {"balloon: an overlong chord overflows before any truncation",
         with(ring, 3),
         {{1, 50, 2e38f}, {7, 50, -2e38f}},
         "Floating point overflow",
         0},
        {"opened: truncation comes before the overflowing tension",
         stiffChain,
         {{0, 0, 3e38f}, {1, 1e19f, 10}, {2, 0, 3e38f}},
         "Invalid floating point operation",
         1},
        {"opened: the tension overflows",
         stiffChain,
         {{0, 0, 3e38f}, {1, 10, 10}, {2, 0, 3e38f}},
         "Floating point overflow",
         1},
        {"opened: y overflows when stored, after x",
         chain,
         {{0, 0, 3e38f}, {1, 10, 10}, {2, 0, 3e38f}},
         "Floating point overflow",
         1},
    };
    const Step steps[] = {nullptr, StepCenterPoint, StepStandard, StepBalloon, StepOpened};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::BoundImage image(100, 100, 128);
        KONTUR k;
        init(k, c.params);
        for (const Override& o : c.points) {
            test::setPoint(k, o.i, o.x, o.y);
        }
        const KONTUR before = CopyKontur(k);
        std::string text;
        try {
            steps[c.params.model](k, test::scratch());
        } catch (const FloatingPointError& e) {
            text = e.what();
        }
        EXPECT_EQ(text, c.text);
        expectPartialStep(before, k, text, c.failsAt);
    }
}

TEST(Divergence, YOverflowLeavesTheNewXWritten) {
    test::BoundImage image(100, 100, 128);
    KONTUR k;
    init(k, Params{.x1 = 0,
                   .y1 = 0,
                   .x2 = 20,
                   .y2 = 0,
                   .model = 4,
                   .points = 3,
                   .tension = 0.1f,
                   .inertia = 0,
                   .viscosity = 0.2f});
    test::setPoint(k, 0, 0, 3e38f);
    test::setPoint(k, 1, 10, 10);
    test::setPoint(k, 2, 0, 3e38f);
    EXPECT_THROW(StepOpened(k, test::scratch()), FloatingPointError);
    // x: (0.2·10 − 4) / 0.2 = −10 is in; y would have been 6e38.
    EXPECT_EQ(pointX(k, 1, 1), -10.0f);
    EXPECT_EQ(pointY(k, 1, 1), 10.0f);
    EXPECT_EQ(k.Iteration, 0);
    EXPECT_EQ(k.Energy, 0.0);
}

// Counts the cursor hooks of the runs below.
class DivergingRun : public ::testing::TestWithParam<std::int32_t> {
protected:
    DivergingRun() : image(200, 200, 230) {
        image.paint(
            25, [](int x, int y) { return (x - 100) * (x - 100) + (y - 100) * (y - 100) <= 1600; });
        SetRunHooks(RunHooks{.StepProgress = {},
                             .ShowWaitCursor = [this] { events.push_back("wait"); },
                             .RestoreCursor = [this] { events.push_back("restore"); }});
    }
    ~DivergingRun() override { SetRunHooks(RunHooks{}); }

    test::BoundImage image;
    std::vector<std::string> events;
};

TEST_P(DivergingRun, EndsWithTheErrorAndTheStateOfTheFailedStep) {
    const std::int32_t model = GetParam();
    // Strong tension with little viscosity and no inertia: the explicit scheme is unstable.
    const Params p{.x1 = 50,
                   .y1 = 55,
                   .x2 = 150,
                   .y2 = 140,
                   .model = model,
                   .points = 32,
                   .tension = 2.5f,
                   .rigidity = 0.5f,
                   .radius = 1000,
                   .form = 0.1f,
                   .image = model == 4 ? 0.5f : -0.5f,
                   .threshold = 128,
                   .gradient = 1,
                   .inertia = 0,
                   .viscosity = 0.2f,
                   .iterations = 32760};
    KONTUR k;
    init(k, p);
    std::string text;
    try {
        orvik::Run(k, test::scratch());
    } catch (const FloatingPointError& e) {
        text = e.what();
    }
    EXPECT_TRUE(isDivergenceText(text)) << '"' << text << '"';
    EXPECT_EQ(events, (std::vector<std::string>{"wait", "restore"}));
    ASSERT_LT(k.Iteration, 32760);

    // Replay up to the failed step and compare its partial result.
    KONTUR before;
    init(before, p);
    for (std::int32_t s = 0; s < k.Iteration; ++s) {
        stepOf(model)(before, test::scratch());
    }
    expectPartialStep(before, k, text);
}

INSTANTIATE_TEST_SUITE_P(Models2To4, DivergingRun, ::testing::Values(2, 3, 4));

// Runs of 200 points with the extremes of the weights' ranges, on an image with an object:
// each finishes, or ends with one of the two divergence errors and never anything else.
void runWithExtremeWeights(std::int32_t iterations) {
    test::BoundImage image(320, 240, 235);
    image.paint(20, [](int x, int y) {
        return (x - 150) * (x - 150) + 2 * (y - 120) * (y - 120) <= 3600 || (x > 200 && y > 160);
    });
    struct Weights {
        float tension, rigidity, radius, form, image, threshold, gradient, inertia, viscosity;
    };
    const Weights weights[] = {
        {2.5f, 0.5f, 1000, 0.1f, 0.5f, 255, 1, 0, 0.2f},
        {0, 0, 2, 0.1f, -0.5f, 0, 1, 10, 0.2f},
        {2.5f, 0.5f, 2, 0.1f, 0.5f, 127.5f, 1, 10, 20},
        {0.005f, 0, 1000, 0, -0.5f, 200, 0, 0, 20},
    };
    for (const Weights& w : weights) {
        for (const std::int32_t model : {1, 2, 3, 4}) {
            SCOPED_TRACE("model " + std::to_string(model) + " tension " +
                         std::to_string(w.tension) + " inertia " + std::to_string(w.inertia));
            KONTUR k;
            Init(k, 90, 70, 230, 190, model, 200, w.tension, w.rigidity, w.radius, w.form, w.image,
                 w.threshold, w.gradient, w.inertia, w.viscosity, iterations);
            std::string text;
            try {
                orvik::Run(k, test::scratch());
            } catch (const FloatingPointError& e) {
                text = e.what();
            }
            if (text.empty()) {
                EXPECT_EQ(k.Iteration, iterations);
            } else {
                EXPECT_TRUE(isDivergenceText(text)) << text;
                EXPECT_NE(model, 1) << "the clamped radii cannot diverge";
            }
            if (model == 1) {
                for (std::int32_t i = 0; i < 200; ++i) {
                    EXPECT_GE(test::x(k, i), 0.2f);
                    EXPECT_LE(test::x(k, i), 10000.0f);
                }
            }
            test::RecordingCanvas canvas;
            try {
                Draw(k, canvas);
            } catch (const FloatingPointError& e) {
                EXPECT_STREQ(e.what(), "Invalid floating point operation");
            }
            EXPECT_EQ(canvas.restores, 1);
        }
    }
}

TEST(LongRun, ExtremeWeightsFinishOrEndWithADivergenceError) {
    runWithExtremeWeights(2000);
}

// The whole length the Iterations field allows: about a minute in the sanitizer build, so
// run on demand with --gtest_also_run_disabled_tests.
TEST(LongRun, DISABLED_FullLengthRunsWithExtremeWeights) {
    runWithExtremeWeights(32760);
}

} // namespace
} // namespace orvik
