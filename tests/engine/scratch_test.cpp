// What a model keeps between steps: a new picture or polarity is seen at the very next step
// although edge forces are remembered, and models stepping side by side in two threads do
// not disturb each other.
#include "engine_test_support.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <gtest/gtest.h>
#include <thread>

namespace orvik {
namespace {

using test::init;
using test::Params;

// A light picture with a dark disc.
void paintDisc(test::BoundImage& image, int cx, int cy, int r) {
    image.paint(30,
                [=](int x, int y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r; });
}

// A model of the given kind around the disc at (60, 50), edge force on, some steps in.
KONTUR modelAroundDisc(std::int32_t model, std::int32_t x1 = 30, std::int32_t y1 = 20) {
    KONTUR k;
    init(k, Params{.x1 = x1,
                   .y1 = y1,
                   .x2 = x1 + 60,
                   .y2 = y1 + 60,
                   .model = model,
                   .points = 40,
                   .tension = 0.2f,
                   .rigidity = 0.05f,
                   .radius = 25,
                   .form = 0.01f,
                   .image = model == 4 ? 0.15f : -0.15f,
                   .threshold = 100,
                   .gradient = 20,
                   .inertia = 1,
                   .viscosity = 2});
    for (int step = 0; step < 30; ++step)
        StepModel(k);
    return k;
}

// Steps a model and a copy of it (which starts without any remembered values) alike.
void expectSameAsAFreshCopy(KONTUR& k, std::int32_t model) {
    KONTUR fresh = CopyKontur(k);
    for (int step = 0; step < 10; ++step) {
        StepModel(k);
        StepModel(fresh);
    }
    EXPECT_EQ(test::bits(k), test::bits(fresh)) << "model " << model;
    EXPECT_EQ(k.Energy, fresh.Energy) << "model " << model;
}

TEST(StepScratch, ANewPictureIsSeenAtTheNextStep) {
    for (std::int32_t model = 1; model <= 4; ++model) {
        test::BoundImage first(120, 100, 200);
        paintDisc(first, 60, 50, 25);
        KONTUR k = modelAroundDisc(model);
        // Another picture of the same size: the rim has moved under the contour.
        test::BoundImage second(120, 100, 200);
        paintDisc(second, 63, 48, 23);
        expectSameAsAFreshCopy(k, model);
    }
}

TEST(StepScratch, ANewPolarityIsSeenAtTheNextStep) {
    for (std::int32_t model = 1; model <= 4; ++model) {
        // The contour hangs over the top left corner, where the outside value makes edges.
        test::BoundImage image(120, 100, 120);
        paintDisc(image, 10, 10, 25);
        KONTUR k = modelAroundDisc(model, -20, -20);
        image.setBlackOnWhite(false);
        expectSameAsAFreshCopy(k, model);
    }
}

TEST(StepScratch, ModelsSteppingInTwoThreadsMatchTheirRunsAlone) {
    test::BoundImage image(120, 100, 200);
    paintDisc(image, 60, 50, 25);
    // Different point counts and weights, so that no table fits both.
    const auto make = [](std::int32_t model, std::int32_t points, float weight) {
        KONTUR k;
        init(k, Params{.x1 = 30,
                       .y1 = 20,
                       .x2 = 90,
                       .y2 = 80,
                       .model = model,
                       .points = points,
                       .tension = 0.2f,
                       .radius = 25,
                       .form = 0.01f,
                       .image = weight,
                       .threshold = 100,
                       .gradient = 10,
                       .inertia = 1,
                       .viscosity = 2,
                       .iterations = 3000});
        return k;
    };
    const auto both = [&] { return std::make_pair(make(1, 24, -0.2f), make(1, 37, -0.1f)); };
    auto alone = both();
    orvik::Run(alone.first);
    orvik::Run(alone.second);
    auto together = both();
    std::thread other([&] { orvik::Run(together.second); });
    orvik::Run(together.first);
    other.join();
    EXPECT_EQ(test::bits(together.first), test::bits(alone.first));
    EXPECT_EQ(test::bits(together.second), test::bits(alone.second));
}

} // namespace
} // namespace orvik
