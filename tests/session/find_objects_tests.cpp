// Finding objects: which regions are kept, Otsu's threshold between two grey levels, the seed
// of each model, and how closely the default model outlines known objects.
#include "document/find_objects.h"
#include "session_test_support.h"
#include "synthetic_ellipses.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace orvik {
namespace {

struct Disc {
    double x, y, radius;
};

// Dark (40) discs on a light (200) ground, or the other way round.
GreyImage discsOn(int width, int height, const std::vector<Disc>& discs, bool dark = true) {
    return test::greyPicture(width, height, [&](int x, int y) -> std::uint8_t {
        for (const Disc& d : discs)
            if (test::inDisc(x, y, d.x, d.y, d.radius)) return dark ? 40 : 200;
        return dark ? 200 : 40;
    });
}

const std::vector<Disc> kDiscs{
    {30, 30, 12},  {90, 30, 12}, {150, 40, 15}, // three inside
    {6, 90, 12},                                // touching the left edge
    {100, 100, 2},                              // too small: about 13 pixels
    {60, 100, 12},
};

TEST(FindObjects, RegionsAreKeptByAreaEdgeAndPolarity) {
    const struct {
        const char* name;
        bool dark;
        FindOptions options;
        std::size_t count;
    } cases[] = {
        {"defaults", true, {}, 5},
        {"off the edges", true, {.excludeEdges = true}, 4},
        {"large only", true, {.minArea = 600}, 1},
        {"none small enough", true, {.maxArea = 300}, 0},
        {"every size", true, {.minArea = 1}, 6},
        {"white on black", false, {.threshold = 400, .blackOnWhite = false}, 5},
        {"the wrong polarity finds the ground",
         true,
         {.blackOnWhite = false, .maxArea = 1 << 30},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FindOptions options = c.options;
        if (options.threshold == 100 && c.dark) options.threshold = 480; // between 40 and 200
        const std::vector<Region> found = findRegions(discsOn(200, 130, kDiscs, c.dark), options);
        EXPECT_EQ(found.size(), c.count);
    }
    // Each region where its disc is: centre and area.
    const std::vector<Region> found = findRegions(discsOn(200, 130, kDiscs), {.threshold = 480});
    ASSERT_EQ(found.size(), 5u);
    EXPECT_NEAR(found[0].centreX, 30, 0.01);
    EXPECT_NEAR(found[0].centreY, 30, 0.01);
    EXPECT_NEAR(found[0].area, std::numbers::pi * 144, 12);
    EXPECT_EQ(found[0].bounds, (Box{18, 18, 42, 42}));
}

// "Auto" polarity: the objects are the side of the threshold that the border mostly is not;
// with the border split evenly, the side with fewer pixels. A half-split picture, 40 × 20:
// dark on the left, light on the right, with a block of the other grey inside one half.
GreyImage splitBorder(bool lightBlockLeft) {
    return test::greyPicture(40, 20, [lightBlockLeft](int x, int y) -> std::uint8_t {
        const bool inner = y >= 5 && y < 15, left = x >= 4 && x < 16, right = x >= 24 && x < 36;
        if (inner && (lightBlockLeft ? left : right)) return lightBlockLeft ? 200 : 40;
        return x < 20 ? 40 : 200;
    });
}

TEST(FindObjects, AutoPolarityTakesTheSideTheBorderIsNot) {
    const struct {
        const char* name;
        GreyImage image;
        bool blackOnWhite;
    } cases[] = {
        {"dark objects on a light ground", discsOn(200, 130, kDiscs, true), true},
        {"light objects on a dark ground", discsOn(200, 130, kDiscs, false), false},
        {"border even, fewer dark pixels", splitBorder(true), true},
        {"border even, fewer light pixels", splitBorder(false), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(autoBlackOnWhite(c.image, 480), c.blackOnWhite);
        const std::vector<Region> found = findRegions(
            c.image, {.threshold = 480, .autoPolarity = true, .minArea = 1, .maxArea = 1 << 30});
        ASSERT_FALSE(found.empty());
        EXPECT_EQ(found[0].blackOnWhite, c.blackOnWhite);
    }
}

TEST(FindObjects, DiagonalNeighboursMakeOneRegion) {
    // Two 3 × 3 blocks meeting at a corner, and a third apart.
    const GreyImage image = test::greyPicture(12, 8, [](int x, int y) -> std::uint8_t {
        const bool a = x < 3 && y < 3, b = x >= 3 && x < 6 && y >= 3 && y < 6;
        const bool c = x >= 9 && y >= 5;
        return a || b || c ? 0 : 255;
    });
    const std::vector<Region> found = findRegions(image, {.threshold = 400, .minArea = 1});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].area, 18);
    EXPECT_EQ(found[1].area, 9);
    EXPECT_TRUE(found[1].touchesEdge);
}

TEST(FindObjects, OtsuSplitsTwoGreyLevels) {
    const GreyImage image = discsOn(200, 130, kDiscs);
    const int threshold = otsuThreshold(image);
    EXPECT_GT(threshold, 4 * 40);
    EXPECT_LT(threshold, 4 * 200);
    EXPECT_EQ(findRegions(image, {.threshold = threshold}).size(), 5u);
    const int flat = otsuThreshold(test::greyPicture(20, 20, [](int, int) { return 90; }));
    EXPECT_GE(flat, 0);
    EXPECT_LE(flat, 1020);
}

// The seed of each model: the region's box, threshold and polarity, the radius of a disc of
// its area, and for the closed models a viscosity damped by the region's contrast (here 40
// grey levels: Image 30 × 40 / 20 = 60), never below the base's; the rest is the base's.
TEST(FindObjects, EachModelIsSeededOnTheRegion) {
    Region region{{20, 30, 60, 62}, 1000, 40, 46, false};
    region.meanGrey = 80;
    region.threshold = 480; // grey 120
    region.blackOnWhite = false;
    const struct {
        ModelChoice model;
        int baseViscosity, viscosity;
    } cases[] = {
        {ModelChoice::CenterPoint, 10, 60}, {ModelChoice::Standard, 10, 60},
        {ModelChoice::Balloon, 10, 60},     {ModelChoice::Opened, 10, 10},
        {ModelChoice::CenterPoint, 90, 90},
    };
    for (const auto& c : cases) {
        ControlValues base;
        base.model = c.model;
        at(base.fields, Field::Tension) = 77;
        at(base.fields, Field::Viscosity) = c.baseViscosity;
        const ControlValues seeded = seedValues(region, base);
        SCOPED_TRACE(static_cast<int>(c.model));
        EXPECT_EQ(boxOf(seeded.fields), region.bounds);
        EXPECT_EQ(at(seeded.fields, Field::Radius), 18); // √(1000 / π) = 17.8
        EXPECT_EQ(at(seeded.fields, Field::Threshold), 480);
        EXPECT_FALSE(seeded.blackOnWhite);
        EXPECT_EQ(at(seeded.fields, Field::Viscosity), c.viscosity);
        EXPECT_EQ(at(seeded.fields, Field::Tension), 77);
        EXPECT_EQ(seeded.model, c.model);
    }
}

// Find objects with the window's default model and fields, then Analyse all, on pictures of
// known ellipses: nearly every ellipse found once, and outlined closely.
TEST(FindObjects, TheDefaultModelOutlinesKnownEllipses) {
    const struct {
        bool dark;
        double blur, noise;
    } cases[] = {{true, 1.5, 10}, {false, 1.5, 10}, {true, 0, 0}, {false, 2.5, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dark << " blur " << c.blur << " noise " << c.noise);
        const test::SyntheticPicture picture = test::drawEllipses(
            {.darkObjects = c.dark, .blurSigma = c.blur, .noiseSigma = c.noise, .seed = 7});
        ControlValues base;
        base.blackOnWhite = c.dark;
        const test::FindingScore score =
            test::scoreFinding(picture.truth, test::findAndOutline(picture.image, base));
        EXPECT_GE(score.recall, 0.95);
        EXPECT_GE(score.precision, 0.95);
        EXPECT_GE(score.medianIou, 0.9);
    }
}

} // namespace
} // namespace orvik
