// Tests of the popup tools' arithmetic on small synthetic grey images.
#include "checked_float.h"
#include "core/parameter_tools.h"

#include <functional>
#include <gtest/gtest.h>

namespace orvik {
namespace {

// A grey image the engine's sampling rule reads, filled by a function of (x, y).
class GreyFixture : public ::testing::Test {
protected:
    void makeImage(int w, int h, const std::function<int(int, int)>& grey) {
        width = w;
        height = h;
        data = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                data[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(grey(x, y));
        BindImage({&data, &width, &height, &blackOnWhite});
    }
    void TearDown() override { BindImage({}); }

    std::unique_ptr<std::uint8_t[]> data;
    std::int32_t width = 0, height = 0;
    bool blackOnWhite = true;
};

using ParameterTools = GreyFixture;

TEST(BoxCentreAndRadius, HalveTowardZeroAndMeasureFromTheCentre) {
    EXPECT_EQ(boxCentre({-3, 0, 0, 5}).x, -1);
    EXPECT_EQ(boxCentre({-3, 0, 0, 5}).y, 2);
    EXPECT_EQ(boxCentre({10, 20, 50, 40}).x, 30);
    const Box box{10, 20, 50, 40}; // centre (30, 30)
    EXPECT_EQ(radiusFromClick(box, 30, 30), 0);
    EXPECT_EQ(radiusFromClick(box, 33, 34), 5);
    EXPECT_EQ(radiusFromClick(box, 31, 31), 1); // √2 truncated
    EXPECT_EQ(radiusFromClick(box, 50, 30), 20);
    // Far apart on the largest image the fields allow: no 32-bit overflow.
    EXPECT_EQ(radiusFromClick({0, 0, 0, 0}, 32767, 32767), 46339);
}

TEST_F(ParameterTools, ThresholdIsFourTimesTheMeanOfTheWindow) {
    for (int v : {0, 1, 77, 128, 255}) {
        makeImage(64, 48, [v](int, int) { return v; });
        std::int32_t cx = 30, cy = 20;
        EXPECT_EQ(thresholdFromClick(cx, cy, width, height), 4 * v) << v;
    }
    // Around a click at x = 20 the window holds ten columns at 100 and eleven at 101:
    // 4 × (210·100 + 231·101) / 441 = 402.09… truncates to 402.
    makeImage(64, 48, [](int x, int) { return x < 20 ? 100 : 101; });
    std::int32_t cx = 20, cy = 20;
    EXPECT_EQ(thresholdFromClick(cx, cy, width, height), 402);
}

TEST_F(ParameterTools, TheClickIsMovedInwardSoThatTheWindowFits) {
    makeImage(40, 35, [](int x, int y) { return (x * 7 + y * 3) % 256; });
    struct Case {
        std::int32_t x, y, cx, cy;
    };
    for (const Case& c : {Case{0, 0, 16, 16}, Case{-50, 100, 16, 18}, Case{39, 34, 23, 18},
                          Case{20, 17, 20, 17}, Case{1000, -1000, 23, 16}}) {
        std::int32_t x = c.x, y = c.y;
        const auto t = thresholdFromClick(x, y, width, height);
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(x, c.cx) << c.x << "," << c.y;
        EXPECT_EQ(y, c.cy) << c.x << "," << c.y;
        // The window read is the one around the stored point, entirely inside the image.
        int sum = 0;
        for (int yy = y - 10; yy <= y + 10; ++yy)
            for (int xx = x - 10; xx <= x + 10; ++xx)
                sum += (xx * 7 + yy * 3) % 256;
        EXPECT_EQ(*t, 4 * sum / 441);
    }
}

TEST_F(ParameterTools, SmallImagesLeaveThresholdAndObjectAlone) {
    for (auto [w, h] : {std::pair{32, 100}, std::pair{100, 32}, std::pair{1, 1}}) {
        makeImage(w, h, [](int, int) { return 200; });
        std::int32_t x = 5, y = 5;
        EXPECT_FALSE(thresholdFromClick(x, y, width, height).has_value());
        EXPECT_FALSE(blackOnWhiteFromClick(x, y, width, height, {0, 0, w, h}, false));
        EXPECT_EQ(x, 5);
        EXPECT_EQ(y, 5);
    }
    makeImage(33, 33, [](int, int) { return 200; });
    std::int32_t x = 5, y = 5;
    EXPECT_EQ(thresholdFromClick(x, y, width, height), 800);
    EXPECT_EQ(x, 16);
}

TEST_F(ParameterTools, ThePolarityFollowsTheDarkerSideOfTheBoundary) {
    // A disc of radius 30 around (60, 50), clicked on its right edge with the box around it.
    const Box box{30, 20, 90, 80};
    const auto disc = [](int inside, int outside) {
        return [=](int x, int y) {
            return (x - 60) * (x - 60) + (y - 50) * (y - 50) <= 900 ? inside : outside;
        };
    };
    struct Case {
        int inside, outside;
        bool blackOnWhite;
    };
    for (const Case& c : {Case{20, 230, true}, Case{230, 20, false}, Case{128, 128, true}}) {
        makeImage(120, 100, disc(c.inside, c.outside));
        for (const bool opened : {false}) {
            std::int32_t x = 90, y = 50;
            const auto result = blackOnWhiteFromClick(x, y, width, height, box, opened);
            ASSERT_TRUE(result.has_value());
            EXPECT_EQ(*result, c.blackOnWhite) << c.inside << " in " << c.outside;
        }
    }
}

TEST_F(ParameterTools, OpenedTakesTheChordNormalAsTheInsideDirection) {
    // A horizontal chord from (10, 40) to (100, 40): its normal (0, -90) points up, so the
    // inside window lies above the click. Bright above, dark below: "White on black".
    makeImage(120, 80, [](int, int y) { return y < 40 ? 250 : 10; });
    std::int32_t x = 50, y = 40;
    EXPECT_EQ(blackOnWhiteFromClick(x, y, width, height, {10, 40, 100, 40}, true), false);
    // Reversed chord: the normal flips.
    x = 50;
    y = 40;
    EXPECT_EQ(blackOnWhiteFromClick(x, y, width, height, {100, 40, 10, 40}, true), true);
}

TEST_F(ParameterTools, AnAxisAlignedDirectionOfLengthThreeStepsFourPixelsNotFive) {
    // 3 / (0.2 × 3) is 4.999… in double, so the windows sit 4 pixels either side of the
    // click. A bright column 10 pixels right of the click lies in the inside window only
    // when the step is 5; with the step of 4 both windows see the same grey: a tie.
    const Box box{40, 30, 60, 30}; // centre (50, 30)
    makeImage(100, 60, [](int x, int) { return x == 57 ? 255 : 50; });
    std::int32_t x = 47, y = 30;
    EXPECT_EQ(blackOnWhiteFromClick(x, y, width, height, box, false), true);
    // A length of 5 steps exactly 5: now the column counts on the inside.
    makeImage(100, 60, [](int x, int) { return x == 55 ? 255 : 50; });
    x = 45;
    y = 30;
    EXPECT_EQ(blackOnWhiteFromClick(x, y, width, height, box, false), false);
}

TEST_F(ParameterTools, AZeroLengthDirectionIsAnInvalidOperation) {
    makeImage(100, 100, [](int, int) { return 90; });
    std::int32_t x = 50, y = 50;
    try {
        blackOnWhiteFromClick(x, y, width, height, {40, 40, 60, 60}, false);
        FAIL() << "no error";
    } catch (const FloatingPointError& e) {
        EXPECT_STREQ(e.what(), "Invalid floating point operation");
    }
    // The chord of an "Opened" box whose corners coincide has no normal either.
    EXPECT_THROW(blackOnWhiteFromClick(x, y, width, height, {30, 30, 30, 30}, true),
                 FloatingPointError);
    // The clamped point, not the raw click, is compared with the centre.
    std::int32_t cx = 2, cy = 3;
    EXPECT_THROW(blackOnWhiteFromClick(cx, cy, width, height, {16, 16, 16, 16}, false),
                 FloatingPointError);
    EXPECT_EQ(cx, 16);
}

} // namespace
} // namespace orvik
