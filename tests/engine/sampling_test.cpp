// The sampling rule through the image binding, and the edge force built from it.
#include "engine_test_support.h"
#include "kontur.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

TEST(Sample, OutsideTheImageReadsThePolarityOfTheMomentAsUnsigned) {
    test::BoundImage image(4, 3, 0);
    image.set(3, 2, 77); // the last byte
    image.set(1, 0, 5);
    struct Case {
        std::int32_t x, y;
        int blackOnWhite, whiteOnBlack;
    };
    const Case cases[] = {
        {1, 0, 5, 5},
        {3, 2, 77, 77},
        {-1, 0, 255, 0},
        {0, -1, 255, 0},
        {4, 0, 255, 0},
        {0, 3, 255, 0},
        {-2147483647 - 1, 0, 255, 0},
        {2147483647, 2, 255, 0},
    };
    for (const Case& c : cases) {
        image.setBlackOnWhite(true);
        EXPECT_EQ(Sample(c.x, c.y), c.blackOnWhite) << c.x << "," << c.y;
        // The polarity is read at every call, not remembered from the binding.
        image.setBlackOnWhite(false);
        EXPECT_EQ(Sample(c.x, c.y), c.whiteOnBlack) << c.x << "," << c.y;
    }
}

TEST(Sample, WithoutAnImageEverythingIsOutside) {
    for (const bool blackOnWhite : {true, false}) {
        test::BoundImage none(blackOnWhite);
        EXPECT_EQ(Sample(0, 0), blackOnWhite ? 255 : 0);
        KONTUR k;
        k.GradientWeight = 1;
        float fx = 1;
        float fy = 1;
        EdgeForce(k, 0, 0, fx, fy);
        EXPECT_EQ(fx, 0.0f);
        EXPECT_EQ(fy, 0.0f);
    }
}

// Columns 0..10 black, 11 and beyond white.
class StepEdge : public ::testing::Test {
protected:
    StepEdge() : image(30, 30, 0) {
        image.paint(255, [](int x, int) { return x >= 11; });
    }
    test::BoundImage image;
};

TEST_F(StepEdge, EdgeForcePointsTowardTheEdgeFromBothSides) {
    struct Case {
        std::int32_t x;
        float weight;
        float fx;
    };
    const Case cases[] = {
        {10, 1.0f, 0.70710677f},  {11, 1.0f, -0.70710677f}, {10, 0.5f, 0.35355338f},
        {11, -1.0f, 0.70710677f}, {5, 1.0f, 0.0f},          {20, 1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        KONTUR k;
        k.GradientWeight = c.weight;
        float fx = 9;
        float fy = 9;
        EdgeForce(k, c.x, 15, fx, fy);
        EXPECT_EQ(fx, c.fx) << c.x << " " << c.weight;
        EXPECT_EQ(fy, 0.0f) << c.x << " " << c.weight;
    }
}

TEST_F(StepEdge, AZeroWeightGivesExactlyZero) {
    KONTUR k;
    k.GradientWeight = 0;
    float fx = 9;
    float fy = 9;
    EdgeForce(k, 10, 15, fx, fy);
    EXPECT_EQ(fx, 0.0f);
    EXPECT_EQ(fy, 0.0f);
}

TEST(EdgeForce, HorizontalEdgeAndTheBorderOfTheImage) {
    // Rows 0..9 white, 10 and beyond black: at row 9 the stronger gradient lies below.
    test::BoundImage image(20, 20, 0);
    image.paint(255, [](int, int y) { return y < 10; });
    KONTUR k;
    k.GradientWeight = 1;
    float fx = 9;
    float fy = 9;
    EdgeForce(k, 5, 9, fx, fy);
    EXPECT_EQ(fx, 0.0f);
    EXPECT_EQ(fy, 0.70710677f);

    // A black image touching the border: the white outside of "Black on white" makes an
    // edge there, the black outside of "White on black" none.
    test::BoundImage dark(20, 20, 0);
    EdgeForce(k, 0, 10, fx, fy);
    EXPECT_LT(fx, 0.0f);
    dark.setBlackOnWhite(false);
    EdgeForce(k, 0, 10, fx, fy);
    EXPECT_EQ(fx, 0.0f);
    EXPECT_EQ(fy, 0.0f);
}

} // namespace
} // namespace orvik
