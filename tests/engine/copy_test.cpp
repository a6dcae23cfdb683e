// CopyKontur and CopyKonturParameters: every field copied, a buffer of the copy's own, and a
// copy that steps on exactly like its original; the point buffer's layout helpers.
#include "engine_test_support.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

using test::init;
using test::Params;

// A model with every parameter distinct and both levels apart, a few steps into a run.
KONTUR steppedModel(std::int32_t model) {
    KONTUR k;
    init(k, Params{.x1 = 30,
                   .y1 = 25,
                   .x2 = 70,
                   .y2 = 65,
                   .model = model,
                   .points = 12,
                   .tension = 0.3f,
                   .rigidity = 0.1f,
                   .radius = 15,
                   .form = 0.02f,
                   .image = -0.4f,
                   .threshold = 120,
                   .gradient = 5,
                   .inertia = 2,
                   .viscosity = 0.5f,
                   .iterations = 3});
    Run(k, test::scratch());
    return k;
}

void expectSameParameters(const KONTUR& a, const KONTUR& b) {
    EXPECT_EQ(a.ModelKind, b.ModelKind);
    EXPECT_EQ(a.PointCount, b.PointCount);
    EXPECT_EQ(a.Tension, b.Tension);
    EXPECT_EQ(a.Rigidity, b.Rigidity);
    EXPECT_EQ(a.Radius, b.Radius);
    EXPECT_EQ(a.FormWeight, b.FormWeight);
    EXPECT_EQ(a.ImageWeight, b.ImageWeight);
    EXPECT_EQ(a.Threshold, b.Threshold);
    EXPECT_EQ(a.GradientWeight, b.GradientWeight);
    EXPECT_EQ(a.Inertia, b.Inertia);
    EXPECT_EQ(a.Viscosity, b.Viscosity);
    EXPECT_EQ(a.Iterations, b.Iterations);
    EXPECT_EQ(a.CenterX, b.CenterX);
    EXPECT_EQ(a.CenterY, b.CenterY);
    EXPECT_EQ(a.BoxX1, b.BoxX1);
    EXPECT_EQ(a.BoxY1, b.BoxY1);
    EXPECT_EQ(a.BoxX2, b.BoxX2);
    EXPECT_EQ(a.BoxY2, b.BoxY2);
}

TEST(CopyKontur, CopiesEveryFieldIntoABufferOfItsOwnThatStepsOnAlike) {
    test::BoundImage image(100, 90, 200);
    image.paint(40, [](int x, int y) { return (x - 50) * (x - 50) + (y - 45) * (y - 45) < 300; });
    for (std::int32_t model = 1; model <= 4; ++model) {
        KONTUR original = steppedModel(model);
        KONTUR copy = CopyKontur(original);
        expectSameParameters(copy, original);
        EXPECT_EQ(copy.Iteration, original.Iteration) << model;
        EXPECT_EQ(copy.Energy, original.Energy) << model;
        ASSERT_NE(copy.Points, original.Points) << model;
        EXPECT_EQ(test::bits(copy), test::bits(original)) << model;

        // Both step on to the same bits, and a write into the copy stays there.
        StepModel(original, test::scratch());
        StepModel(copy, test::scratch());
        EXPECT_EQ(test::bits(copy), test::bits(original)) << model;
        EXPECT_EQ(copy.Energy, original.Energy) << model;
        pointX(copy, 3, 0) += 1;
        EXPECT_NE(pointX(copy, 3, 0), pointX(original, 3, 0)) << model;
    }
}

TEST(CopyKontur, OfAModelBeforeInitHasNoBuffer) {
    const KONTUR empty;
    const KONTUR copy = CopyKontur(empty);
    EXPECT_EQ(copy.Points, nullptr);
    EXPECT_EQ(copy.ModelKind, 0);
}

TEST(CopyKonturParameters, LeavesTheBufferAndTheCountersAlone) {
    test::BoundImage image(100, 90, 128);
    const KONTUR from = steppedModel(2);
    KONTUR to;
    init(to, Params{.model = 3, .points = 12});
    const auto buffer = to.Points.get();
    const auto points = test::bits(to);
    CopyKonturParameters(from, to);
    expectSameParameters(to, from);
    EXPECT_EQ(to.Iteration, 0);
    EXPECT_EQ(to.Energy, 0.0);
    EXPECT_EQ(to.Points.get(), buffer);
    EXPECT_EQ(test::bits(to), points);
}

TEST(PointLayout, FourFloatsPerPointXThenYEachAtBothLevels) {
    struct Case {
        std::int32_t i, level;
        std::size_t x, y;
    };
    const Case cases[] = {{0, 0, 0, 2}, {0, 1, 1, 3}, {1, 0, 4, 6}, {5, 1, 21, 23}};
    for (const Case& c : cases) {
        EXPECT_EQ(xSlot(c.i, c.level), c.x) << c.i << " " << c.level;
        EXPECT_EQ(ySlot(c.i, c.level), c.y) << c.i << " " << c.level;
    }
    EXPECT_EQ(pointBufferSize(7), 28u);
    EXPECT_EQ(pointBufferSize(0), 0u);
    EXPECT_EQ(pointBufferSize(-3), 0u);
}

} // namespace
} // namespace orvik
