// The four evolution steps: the worked forces, the time levels, the floors and clamps, the
// fixed ends of the open chain, and the independence from the order of the points.
#include "engine_test_support.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>

namespace orvik {
namespace {

using test::init;
using test::Params;

TEST(StepCenterPoint, TwoStepsFromRestCarryTheMotionOn) {
    test::BoundImage image(100, 100, 128);
    KONTUR k;
    init(k, Params{.x1 = 40,
                   .y1 = 40,
                   .x2 = 60,
                   .y2 = 60,
                   .model = 1,
                   .points = 4,
                   .tension = 0.3f,
                   .rigidity = 0.2f,
                   .radius = 10,
                   .form = 0,
                   .image = 0.01f,
                   .threshold = 100,
                   .gradient = 0.7f,
                   .inertia = 1,
                   .viscosity = 2});
    for (int i = 0; i < 4; ++i) {
        test::setPoint(k, i, 10, 10);
    }
    StepCenterPoint(k, test::scratch());
    EXPECT_EQ(k.Iteration, 1);
    EXPECT_NEAR(k.Energy, 0.0784, 1e-8);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pointX(k, i, 1), 10.093333f) << i; // moved by F / 3 from rest
        EXPECT_EQ(pointX(k, i, 0), 10.0f) << i;
    }
    StepCenterPoint(k, test::scratch());
    EXPECT_EQ(k.Iteration, 2);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pointX(k, i, 0), 10.217777f) << i;
        EXPECT_EQ(pointX(k, i, 1), 10.093333f) << i;
        // Model 1 leaves the y slots as Init wrote them.
        EXPECT_EQ(pointY(k, i, 0), 10.0f) << i;
    }
}

TEST(StepCenterPoint, AtThePreferredRadiusOnTheThresholdItRests) {
    test::BoundImage image(100, 100, 100);
    KONTUR k;
    init(k, Params{.x1 = 40,
                   .y1 = 40,
                   .x2 = 60,
                   .y2 = 60,
                   .model = 1,
                   .points = 8,
                   .tension = 0.5f,
                   .rigidity = 0.3f,
                   .radius = 10,
                   .form = 0.1f,
                   .image = 0.4f,
                   .threshold = 100,
                   .gradient = 1,
                   .inertia = 3,
                   .viscosity = 1});
    for (int i = 0; i < 8; ++i) {
        test::setPoint(k, i, 10, 10);
    }
    StepCenterPoint(k, test::scratch());
    EXPECT_EQ(k.Energy, 0.0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(pointX(k, i, 1), 10.0f) << i;
    }
}

TEST(StepCenterPoint, RadiiStayWithinTheClamp) {
    struct Case {
        float image;
        float form;
        float bound;
    };
    // On white, a positive weight pushes outward to 10000, a negative one inward to 0.2
    // against the shape term's push from a radius of 0.2.
    const Case cases[] = {{0.5f, 0, 10000.0f}, {-0.5f, 0.05f, 0.2f}};
    for (const Case& c : cases) {
        test::BoundImage image(100, 100, 255);
        KONTUR k;
        init(k, Params{.x1 = 30,
                       .y1 = 30,
                       .x2 = 70,
                       .y2 = 60,
                       .model = 1,
                       .points = 16,
                       .tension = 0.1f,
                       .radius = 20,
                       .form = c.form,
                       .image = c.image,
                       .gradient = 1,
                       .inertia = 10,
                       .viscosity = 0.2f});
        bool reached = false;
        for (int step = 0; step < 400; ++step) {
            StepCenterPoint(k, test::scratch());
            for (int i = 0; i < 16; ++i) {
                const float r = test::x(k, i);
                ASSERT_GE(r, 0.2f) << step;
                ASSERT_LE(r, 10000.0f) << step;
                reached = reached || r == c.bound;
            }
        }
        EXPECT_TRUE(reached) << c.bound;
    }
}

TEST(StepStandard, ShapeTermPushesOutwardInsideThePreferredRadius) {
    test::BoundImage none(true);
    KONTUR k;
    // Centre (50, 50); three points at distance 5; only the shape term acts, and without
    // inertia the step moves each point by F / Viscosity.
    init(k, Params{.x1 = 0,
                   .y1 = 0,
                   .x2 = 100,
                   .y2 = 100,
                   .model = 2,
                   .points = 3,
                   .radius = 10,
                   .form = 0.01f,
                   .inertia = 0,
                   .viscosity = 1});
    test::setPoint(k, 0, 53, 54);
    test::setPoint(k, 1, 50, 45);
    test::setPoint(k, 2, 45, 50);
    StepStandard(k, test::scratch());
    EXPECT_NEAR(test::x(k, 0) - 53.0, 0.105, 4e-6);
    EXPECT_NEAR(test::y(k, 0) - 54.0, 0.14, 4e-6);
    EXPECT_EQ(test::x(k, 1), 50.0f);
    EXPECT_NEAR(test::y(k, 1) - 45.0, -0.175, 4e-6);
    EXPECT_NEAR(k.Energy, 0.175 * 0.175, 1e-8);
}

TEST(StepStandard, APointOnTheCentreFeelsNoImageOrShapeForce) {
    test::BoundImage image(100, 100, 255);
    KONTUR k;
    init(k, Params{.x1 = 0,
                   .y1 = 0,
                   .x2 = 100,
                   .y2 = 100,
                   .model = 2,
                   .points = 3,
                   .radius = 10,
                   .form = 0.1f,
                   .image = 0.5f,
                   .inertia = 0,
                   .viscosity = 1});
    test::setPoint(k, 0, 50, 50);
    test::setPoint(k, 1, 60, 50);
    test::setPoint(k, 2, 50, 40);
    StepStandard(k, test::scratch());
    EXPECT_EQ(test::x(k, 0), 50.0f);
    EXPECT_EQ(test::y(k, 0), 50.0f);
    EXPECT_GT(test::x(k, 1), 60.0f);
    EXPECT_LT(test::y(k, 2), 40.0f);
}

TEST(StepBalloon, ImageTermActsAlongTheChordNormal) {
    test::BoundImage none(true); // every sample 255
    KONTUR k;
    // e = (255 − 254.5) × 1 = 0.5 everywhere.
    init(k, Params{.model = 3,
                   .points = 3,
                   .image = 1,
                   .threshold = 254.5f,
                   .inertia = 0,
                   .viscosity = 1});
    test::setPoint(k, 0, 48, 60);
    test::setPoint(k, 1, 50, 60);
    test::setPoint(k, 2, 52, 60);
    StepBalloon(k, test::scratch());
    // Point 1's chord runs right, so its normal points down on the screen.
    EXPECT_EQ(test::x(k, 1), 50.0f);
    EXPECT_EQ(test::y(k, 1), 60.5f);

    // Coinciding neighbours give a zero normal: point 1 stays.
    init(k, Params{.model = 3,
                   .points = 3,
                   .image = 1,
                   .threshold = 254.5f,
                   .inertia = 0,
                   .viscosity = 1});
    test::setPoint(k, 0, 48, 60);
    test::setPoint(k, 1, 50, 65);
    test::setPoint(k, 2, 48, 60);
    StepBalloon(k, test::scratch());
    EXPECT_EQ(test::x(k, 1), 50.0f);
    EXPECT_EQ(test::y(k, 1), 65.0f);
}

TEST(StepBalloon, InitialContourGrowsOnAPositiveImageTerm) {
    test::BoundImage image(200, 200, 200);
    KONTUR k;
    init(k, Params{.x1 = 60,
                   .y1 = 70,
                   .x2 = 140,
                   .y2 = 130,
                   .model = 3,
                   .points = 24,
                   .image = 0.5f,
                   .threshold = 100,
                   .inertia = 0,
                   .viscosity = 1});
    StepBalloon(k, test::scratch());
    for (int i = 0; i < 24; ++i) {
        const double before = std::hypot(pointX(k, i, 0) - 100.0, pointY(k, i, 0) - 100.0);
        const double after = std::hypot(test::x(k, i) - 100.0, test::y(k, i) - 100.0);
        EXPECT_GT(after, before) << i;
    }
}

TEST(StepOpened, ImageTermFollowsTheGreyGradientTowardTheThreshold) {
    test::BoundImage image(30, 30, 150);
    image.paint(100, [](int x, int) { return x == 9; });
    image.paint(200, [](int x, int) { return x == 11; });
    KONTUR k;
    init(k, Params{.model = 4,
                   .points = 3,
                   .tension = 0.3f,
                   .image = 0.5f,
                   .threshold = 100,
                   .inertia = 0,
                   .viscosity = 1});
    test::setPoint(k, 0, 5.5f, 10.5f);
    test::setPoint(k, 1, 10.5f, 10.5f); // the neighbours' midpoint: no tension
    test::setPoint(k, 2, 15.5f, 10.5f);
    StepOpened(k, test::scratch());
    const double ix = -6.9324193f;
    EXPECT_EQ(k.Energy, ix * ix); // one movable point, divisor N − 2 = 1
    EXPECT_NEAR(test::x(k, 1), 10.5 + ix, 1e-6);
    EXPECT_EQ(test::y(k, 1), 10.5f);
}

TEST(StepOpened, EndsStayAndRigidityActsFromPointTwoToNMinusThree) {
    test::BoundImage none(true);
    KONTUR k;
    init(k, Params{.x1 = 0,
                   .y1 = 0,
                   .x2 = 50,
                   .y2 = 0,
                   .model = 4,
                   .points = 6,
                   .rigidity = 0.5f,
                   .inertia = 0,
                   .viscosity = 1});
    test::setPoint(k, 2, 20, 5);
    StepOpened(k, test::scratch());
    // Points 1 and 4 have no second neighbour on one side: no rigidity, and no other force.
    EXPECT_EQ(test::y(k, 1), 0.0f);
    EXPECT_EQ(test::y(k, 4), 0.0f);
    EXPECT_LT(test::y(k, 2), 5.0f);
    EXPECT_GT(test::y(k, 3), 0.0f);
    // The ends never move, whatever the forces.
    init(k, Params{.x1 = 3,
                   .y1 = 4,
                   .x2 = 90,
                   .y2 = 70,
                   .model = 4,
                   .points = 9,
                   .tension = 2.5f,
                   .rigidity = 0.5f,
                   .image = 0.5f,
                   .threshold = 255,
                   .gradient = 1,
                   .inertia = 2,
                   .viscosity = 1});
    for (int step = 0; step < 7; ++step) {
        StepOpened(k, test::scratch());
        for (int level = 0; level < 2; ++level) {
            EXPECT_EQ(pointX(k, 0, level), 3.0f);
            EXPECT_EQ(pointY(k, 0, level), 4.0f);
            EXPECT_EQ(pointX(k, 8, level), 90.0f);
            EXPECT_EQ(pointY(k, 8, level), 70.0f);
        }
    }
}

TEST(Step, PurelyViscousWithoutInertia) {
    test::BoundImage none(true);
    KONTUR k;
    // Only tension: the middle point of the chain is pulled by 2·T·(second difference).
    init(k, Params{.model = 4, .points = 3, .tension = 0.25f, .inertia = 0, .viscosity = 0.5f});
    test::setPoint(k, 0, 0, 0);
    test::setPoint(k, 1, 10, 4);
    test::setPoint(k, 2, 20, 0);
    StepOpened(k, test::scratch());
    // F = ((0 + 0)·2 − 4·4)·0.25 = −4; new = 4 + F / 0.5.
    EXPECT_EQ(test::y(k, 1), -4.0f);
    EXPECT_EQ(test::x(k, 1), 10.0f);
    EXPECT_EQ(k.Energy, 16.0);
}

// A dark disc of radius 30 around (100, 100) on a light background.
class DiscImage : public ::testing::Test {
protected:
    DiscImage() : image(200, 200, 230) {
        image.paint(
            25, [](int x, int y) { return (x - 100) * (x - 100) + (y - 100) * (y - 100) <= 900; });
    }
    test::BoundImage image;
};

TEST_F(DiscImage, AStepDoesNotDependOnTheOrderOfThePoints) {
    using Update = double (*)(KONTUR&, std::int32_t);
    struct Case {
        std::int32_t model;
        std::int32_t points;
        void (*step)(KONTUR&, StepScratch&);
        Update update;
        std::int32_t first, last; // the movable points
    };
    const Case cases[] = {
        {1, 40, StepCenterPoint, UpdateCenterPoint, 0, 39},
        {2, 40, StepStandard, UpdateStandardPoint, 0, 39},
        {3, 40, StepBalloon, UpdateBalloonPoint, 0, 39},
        {4, 40, StepOpened, UpdateOpenedPoint, 1, 38},
        {2, 3, StepStandard, UpdateStandardPoint, 0, 2}, // i + 2 wraps onto i − 1
        {4, 5, StepOpened, UpdateOpenedPoint, 1, 3},
    };
    for (const Case& c : cases) {
        KONTUR k;
        init(k, Params{.x1 = 50,
                       .y1 = 60,
                       .x2 = 150,
                       .y2 = 130,
                       .model = c.model,
                       .points = c.points,
                       .tension = 0.2f,
                       .rigidity = 0.1f,
                       .radius = 45,
                       .form = 0.05f,
                       .image = c.model == 4 ? 0.3f : -0.3f,
                       .threshold = 128,
                       .gradient = 0.5f,
                       .inertia = 1,
                       .viscosity = 0.6f});
        // One point off the initial shape and some steps first, so that every force
        // acts and the two levels differ.
        for (int level = 0; level < 2; ++level) {
            pointX(k, 2, level) += 3;
            pointY(k, 2, level) -= 4;
        }
        for (int s = 0; s < 5 + c.model; ++s) {
            c.step(k, test::scratch());
        }
        KONTUR reversed = CopyKontur(k);
        c.step(k, test::scratch());
        double energy = 0;
        for (std::int32_t i = c.last; i >= c.first; --i) {
            energy += c.update(reversed, i);
        }
        EXPECT_EQ(test::bits(reversed), test::bits(k)) << "model " << c.model << " N " << c.points;
        EXPECT_NEAR(energy / (c.last - c.first + 1), k.Energy, 1e-12 * k.Energy)
            << "model " << c.model;
        EXPECT_GT(k.Energy, 0.0) << "model " << c.model;
    }
}

// Random states stepped on the fast path and by the checked updates, which compute one point
// at a time in double, must give the same bits. The coordinates include the centre, tiny and
// subnormal ones, and the first pixels of the picture.
void expectRandomStatesGiveTheBitsOfTheCheckedUpdates(int rounds) {
    using Update = double (*)(KONTUR&, std::int32_t);
    const struct {
        std::int32_t model;
        void (*step)(KONTUR&, StepScratch&);
        Update update;
    } models[] = {{1, StepCenterPoint, UpdateCenterPoint},
                  {2, StepStandard, UpdateStandardPoint},
                  {3, StepBalloon, UpdateBalloonPoint},
                  {4, StepOpened, UpdateOpenedPoint}};
    std::mt19937 random(20261207);
    std::uniform_real_distribution<float> coordinate(-40.0f, 260.0f);
    std::uniform_real_distribution<float> weight(0.0f, 2.0f);
    for (const auto& m : models) {
        for (int round = 0; round < rounds; ++round) {
            KONTUR k;
            init(k, Params{.x1 = 50,
                           .y1 = 60,
                           .x2 = 150,
                           .y2 = 130,
                           .model = m.model,
                           .points = 17 + round % 5,
                           .tension = weight(random),
                           .rigidity = weight(random) / 4,
                           .radius = 10 * weight(random) + 1,
                           .form = weight(random) / 10,
                           .image = weight(random) - 1,
                           .threshold = 128,
                           .gradient = round % 2 == 0 ? 0.0f : weight(random),
                           .inertia = weight(random),
                           .viscosity = weight(random) + 0.1f});
            const float chosen[] = {k.CenterX, k.CenterY, 0.0f, -0.0f, 1e-30f,
                                    1e-40f,    0x1p-149f, 1.5f, 2.5f,  3.5f};
            for (std::int32_t i = 0; i < k.PointCount; ++i) {
                for (std::int32_t level = 0; level < 2; ++level) {
                    const bool odd = random() % 4 == 0;
                    pointX(k, i, level) = odd ? chosen[random() % 10] : coordinate(random);
                    pointY(k, i, level) = odd ? chosen[random() % 10] : coordinate(random);
                    if (m.model == 1) pointX(k, i, level) = std::fabs(pointX(k, i, level)) + 0.2f;
                }
            }
            KONTUR checked = CopyKontur(k);
            m.step(k, test::scratch());
            const bool opened = m.model == 4;
            for (std::int32_t i = opened ? 1 : 0; i < k.PointCount - (opened ? 1 : 0); ++i)
                m.update(checked, i);
            ASSERT_EQ(test::bits(k), test::bits(checked))
                << "model " << m.model << " round " << round;
        }
    }
}

TEST_F(DiscImage, RandomStatesGiveTheBitsOfTheCheckedUpdates) {
    // Distinct grey levels where the picture starts, so that a read of the wrong byte shows.
    for (int x = 0; x < 8; ++x)
        image.set(x, 0, static_cast<std::uint8_t>(10 * x + 1));
    expectRandomStatesGiveTheBitsOfTheCheckedUpdates(40);
}

// Pictures too small for the gathered reading (and none at all) are read point by point.
TEST(Step, RandomStatesOnTinyPicturesGiveTheBitsOfTheCheckedUpdates) {
    {
        SCOPED_TRACE("no picture");
        test::BoundImage none(true);
        expectRandomStatesGiveTheBitsOfTheCheckedUpdates(8);
    }
    for (const auto& [width, height] : {std::pair{2, 3}, std::pair{3, 3}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        test::BoundImage tiny(width, height, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                tiny.set(x, y, static_cast<std::uint8_t>(40 * (y * width + x) + 7));
        }
        expectRandomStatesGiveTheBitsOfTheCheckedUpdates(8);
    }
}

} // namespace
} // namespace orvik
