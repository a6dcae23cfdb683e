// Init: the stored parameters, the four initial shapes, the half-extents and both levels.
#include "engine_test_support.h"
#include "kontur.h"

#include <cmath>
#include <gtest/gtest.h>

namespace orvik {
namespace {

using test::init;
using test::Params;

TEST(Init, TheProcessWideModelStartsEmpty) {
    EXPECT_EQ(Kontur.ModelKind, 0);
    EXPECT_EQ(Kontur.Iterations, 0);
    EXPECT_EQ(Kontur.Iteration, 0);
    EXPECT_EQ(Kontur.Points, nullptr);
}

TEST(Init, StoresTheWeightsUnchanged) {
    KONTUR k;
    Init(k, 1, 2, 30, 40, 3, 7, 0.5f, 0.25f, 12.0f, 0.01f, -0.35f, 99.75f, 0.3f, 1.5f, 0.4f, 1234);
    EXPECT_EQ(k.ModelKind, 3);
    EXPECT_EQ(k.PointCount, 7);
    EXPECT_EQ(k.Tension, 0.5f);
    EXPECT_EQ(k.Rigidity, 0.25f);
    EXPECT_EQ(k.Radius, 12.0f);
    EXPECT_EQ(k.FormWeight, 0.01f);
    EXPECT_EQ(k.ImageWeight, -0.35f);
    EXPECT_EQ(k.Threshold, 99.75f);
    EXPECT_EQ(k.GradientWeight, 0.3f);
    EXPECT_EQ(k.Inertia, 1.5f);
    EXPECT_EQ(k.Viscosity, 0.4f);
    EXPECT_EQ(k.Iterations, 1234);
    EXPECT_EQ(k.BoxX1, 1.0f);
    EXPECT_EQ(k.BoxY1, 2.0f);
    EXPECT_EQ(k.BoxX2, 30.0f);
    EXPECT_EQ(k.BoxY2, 40.0f);
}

TEST(Init, CenterPointRadiiFollowTheInscribedEllipse) {
    KONTUR k;
    init(k, Params{.x1 = 10, .y1 = 20, .x2 = 50, .y2 = 40, .model = 1, .points = 8});
    EXPECT_EQ(k.CenterX, 30.0f);
    EXPECT_EQ(k.CenterY, 30.0f);
    // The diagonals are √160 = 12.6491106 but for the float rounding of θ, φ, the products
    // and the squares, which leaves each of them within two steps of it.
    const float expected[] = {20, 12.64910984f, 10, 12.64910984f,
                              20, 12.64911175f, 10, 12.64910889f};
    for (int i = 0; i < 8; ++i) {
        for (int level = 0; level < 2; ++level) {
            EXPECT_EQ(pointX(k, i, level), expected[i]) << "point " << i << " level " << level;
            EXPECT_EQ(pointY(k, i, level), expected[i]) << "point " << i << " level " << level;
        }
    }
}

TEST(Init, StandardPointsRunCounterClockwiseFromTheBottom) {
    KONTUR k;
    init(k, Params{.x1 = 10, .y1 = 20, .x2 = 50, .y2 = 40, .model = 2, .points = 4});
    // θ = π rounded to a float makes the third x fall just short of 30.
    const float expected[4][2] = {{30, 40}, {50, 30}, {29.999998f, 20}, {10, 30}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(test::x(k, i), expected[i][0]) << i;
        EXPECT_EQ(test::y(k, i), expected[i][1]) << i;
    }
    EXPECT_NE(test::x(k, 2), 30.0f);
}

TEST(Init, HalfExtentsAreHalvedAsIntegersAndRaisedToTwo) {
    struct Case {
        std::int32_t x1, y1, x2, y2;
        float cx, cy, a, b;
    };
    const Case cases[] = {
        {10, 10, 13, 17, 11.5f, 13.5f, 2, 3}, // |3| halved is 1, raised to 2
        {10, 20, 50, 40, 30, 30, 20, 10},
        {50, 40, 10, 20, 30, 30, 20, 10}, // corners in the other order
        {0, 0, 5, 4, 2.5f, 2, 2, 2},      // odd width: centre on a half pixel
        {0, 0, 7, 9, 3.5f, 4.5f, 3, 4},   // 7 halves to 3
        {10, 10, 10, 10, 10, 10, 2, 2},   // an empty box
        {-6, 3, 0, -8, -3, -2.5f, 3, 5},
    };
    for (const Case& c : cases) {
        KONTUR k;
        // Model 1 with four points holds a at angle 0 and b at angle π/2.
        init(k, Params{.x1 = c.x1, .y1 = c.y1, .x2 = c.x2, .y2 = c.y2, .model = 1, .points = 4});
        EXPECT_EQ(k.CenterX, c.cx) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        EXPECT_EQ(k.CenterY, c.cy) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        EXPECT_EQ(pointX(k, 0, 0), c.a) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        EXPECT_EQ(pointX(k, 1, 0), c.b) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
}

TEST(Init, OpenedChainRunsEvenlyFromFirstCornerToSecond) {
    struct Case {
        std::int32_t x1, y1, x2, y2;
        float expected[5][2];
    };
    const Case cases[] = {
        {10, 20, 50, 40, {{10, 20}, {20, 25}, {30, 30}, {40, 35}, {50, 40}}},
        {50, 40, 10, 20, {{50, 40}, {40, 35}, {30, 30}, {20, 25}, {10, 20}}},
        {7, 9, 7, 9, {{7, 9}, {7, 9}, {7, 9}, {7, 9}, {7, 9}}},
    };
    for (const Case& c : cases) {
        KONTUR k;
        init(k, Params{.x1 = c.x1, .y1 = c.y1, .x2 = c.x2, .y2 = c.y2, .model = 4, .points = 5});
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(test::x(k, i), c.expected[i][0]) << c.x1 << "," << c.y1 << " point " << i;
            EXPECT_EQ(test::y(k, i), c.expected[i][1]) << c.x1 << "," << c.y1 << " point " << i;
        }
    }
    // The last point is the second corner exactly, whatever the count.
    KONTUR k;
    init(k, Params{.x1 = 3, .y1 = 1, .x2 = 997, .y2 = 611, .model = 4, .points = 199});
    EXPECT_EQ(test::x(k, 198), 997.0f);
    EXPECT_EQ(test::y(k, 198), 611.0f);
}

TEST(Init, ModelKindOutsideOneToFourBecomesCenterPoint) {
    KONTUR reference;
    init(reference, Params{.model = 1, .points = 12});
    for (const std::int32_t kind : {0, 5, -3, 1000}) {
        KONTUR k;
        init(k, Params{.model = kind, .points = 12});
        EXPECT_EQ(k.ModelKind, 1) << kind;
        EXPECT_EQ(test::bits(k), test::bits(reference)) << kind;
    }
}

TEST(Init, BothLevelsHoldTheSameContour) {
    for (const std::int32_t kind : {1, 2, 3, 4}) {
        KONTUR k;
        init(k, Params{.x1 = 3, .y1 = 17, .x2 = 91, .y2 = 60, .model = kind, .points = 37});
        for (int i = 0; i < k.PointCount; ++i) {
            EXPECT_EQ(pointX(k, i, 0), pointX(k, i, 1)) << kind << " " << i;
            EXPECT_EQ(pointY(k, i, 0), pointY(k, i, 1)) << kind << " " << i;
        }
    }
}

TEST(Init, ASecondInitStartsOverFromTheInitialContour) {
    test::BoundImage image(100, 100, 200);
    const Params p{.x1 = 20,
                   .y1 = 30,
                   .x2 = 70,
                   .y2 = 60,
                   .model = 2,
                   .points = 16,
                   .tension = 0.2f,
                   .image = 0.3f,
                   .threshold = 100};
    KONTUR k;
    init(k, p);
    const auto initial = test::bits(k);
    StepStandard(k, test::scratch());
    StepStandard(k, test::scratch());
    StepStandard(k, test::scratch());
    ASSERT_NE(test::bits(k), initial);
    init(k, p);
    EXPECT_EQ(k.Iteration, 0);
    EXPECT_EQ(k.Energy, 0.0);
    EXPECT_EQ(test::bits(k), initial);
}

} // namespace
} // namespace orvik
