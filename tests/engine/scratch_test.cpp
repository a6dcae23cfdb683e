// What a model keeps between steps: a new picture or polarity is seen at the very next step
// although edge forces are remembered, models stepping side by side in two threads do not
// disturb each other, and a point finds what it remembers only on the very pixel.
#include "engine_test_support.h"
#include "kontur.h"
#include "kontur_internal.h"
#include "step_kernels.h"

#include <bit>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

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
        StepModel(k, test::scratch());
    return k;
}

// Steps a model and a copy of it (which starts without any remembered values) alike.
void expectSameAsAFreshCopy(KONTUR& k, std::int32_t model) {
    KONTUR fresh = CopyKontur(k);
    for (int step = 0; step < 10; ++step) {
        StepModel(k, test::scratch());
        StepModel(fresh, test::scratch());
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
    orvik::Run(alone.first, test::scratch());
    orvik::Run(alone.second, test::scratch());
    auto together = both();
    std::thread other([&] {
        image.bind(); // each thread samples the picture it bound
        StepScratch own;
        orvik::Run(together.second, own);
    });
    orvik::Run(together.first, test::scratch());
    other.join();
    EXPECT_EQ(test::bits(together.first), test::bits(alone.first));
    EXPECT_EQ(test::bits(together.second), test::bits(alone.second));
}

// Every kernel set this processor runs finds a remembered pixel only under a point that
// stands on it, the pixels being numbered in the picture's frame (the picture and two pixels
// around it). A point beyond the frame needs nothing remembered: it reads the outside value
// and no edge force, even where its lane computes the index of a pixel of the frame (a
// column beyond the right edge wraps into the next row).
TEST(StepScratch, ARememberedPixelIsFoundOnlyWhereThePointStands) {
    const std::uint8_t grey[9] = {};
    const KernelPicture picture{GreyView{grey, 3, 3, 255}, 100.0, 0.5};
    const double beyondPressure = static_cast<float>((255 - 100.0) * 0.5);
    // Index of pixel (x, y) in the 7 × 7 frame of the 3 × 3 picture.
    const auto frame = [](std::int32_t x, std::int32_t y) { return (y + 2) * 7 + x + 2; };
    enum class Read { Found, Missed, Beyond };
    struct Case {
        double x, y;             // where the point stands
        std::int32_t remembered; // the pixel it remembers
        Read read;
    };
    const Case cases[] = {
        {1.5, 1.5, frame(1, 1), Read::Found},   // on it
        {0.2, 2.9, frame(0, 2), Read::Found},   // on it, near a corner
        {2.5, 1.5, frame(1, 1), Read::Missed},  // next to it
        {-1.5, 2.5, frame(-1, 2), Read::Found}, // left of the picture, in the frame
        {0.5, 3.5, frame(0, 4), Read::Missed},  // below the picture, a row too far
        {-0.5, 0.5, frame(0, 0), Read::Found},  // truncated toward zero, on pixel 0
        {1.5, -0.5, frame(1, 0), Read::Found},  // likewise
        {5.5, 0.5, frame(-2, 1), Read::Beyond}, // right of the frame, its index wrapped
        {1.5, -3.5, frame(1, 1), Read::Beyond}, // above the frame
        {2.5, 2.5, frame(2, 2), Read::Found},   // the last point, in a block of its own
    };
    const auto n = static_cast<std::int32_t>(std::size(cases));
    for (const KernelSet* set : runnableKernelSets()) {
        SCOPED_TRACE(set->name);
        auto rows = std::make_unique<KernelRows>();
        std::vector<double> xs(kRowLength), ys(kRowLength);
        std::vector<std::int32_t> expected;
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t j = i + kGhosts;
            xs[static_cast<std::size_t>(j)] = cases[i].x;
            ys[static_cast<std::size_t>(j)] = cases[i].y;
            for (auto& place : rows->readPixel)
                place[j] = kNoPixelRead;
            const std::int32_t place = i % kPixelPlaces;
            rows->readPixel[place][j] = cases[i].remembered;
            rows->readPressure[place][j] = static_cast<float>(i) + 0.5f;
            rows->readEdgeX[place][j] = static_cast<float>(i) + 0.25f;
            rows->readEdgeY[place][j] = -static_cast<float>(i);
            if (cases[i].read == Read::Missed) expected.push_back(j);
        }
        std::vector<std::int32_t> missed(kKernelCapacity + 8);
        const std::int32_t count =
            set->rememberedPixels(*rows, picture, xs.data(), ys.data(), 0, n, missed.data());
        missed.resize(static_cast<std::size_t>(count));
        EXPECT_EQ(missed, expected);
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t j = i + kGhosts;
            if (cases[i].read == Read::Found) {
                EXPECT_EQ(rows->pressure[j], i + 0.5) << i;
                EXPECT_EQ(rows->edgeX[j], i + 0.25) << i;
                EXPECT_EQ(rows->edgeY[j], -i) << i;
            } else if (cases[i].read == Read::Beyond) {
                EXPECT_EQ(rows->pressure[j], beyondPressure) << i;
                EXPECT_EQ(std::bit_cast<std::uint64_t>(rows->edgeX[j]), 0u) << i; // +0
                EXPECT_EQ(std::bit_cast<std::uint64_t>(rows->edgeY[j]), 0u) << i;
            }
        }
    }
}

} // namespace
} // namespace orvik
