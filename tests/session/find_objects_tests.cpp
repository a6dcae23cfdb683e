// Finding objects: which regions are kept, Otsu's threshold between two grey levels, and the
// seed of each model.
#include "find_objects.h"
#include "session_test_support.h"

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

// The seed of each model: the region's box (the middle half for a balloon, which grows) and
// the radius of a disc of the region's area; the other settings are the base's.
TEST(FindObjects, EachModelIsSeededOnTheRegion) {
    const Region region{{20, 30, 60, 62}, 1000, 40, 46, false};
    const struct {
        ModelChoice model;
        Box box;
    } cases[] = {
        {ModelChoice::CenterPoint, {20, 30, 60, 62}},
        {ModelChoice::Standard, {20, 30, 60, 62}},
        {ModelChoice::Balloon, {30, 38, 50, 54}},
        {ModelChoice::Opened, {20, 30, 60, 62}},
    };
    for (const auto& c : cases) {
        ControlValues base;
        base.model = c.model;
        at(base.fields, Field::Tension) = 77;
        const ControlValues seeded = seedValues(region, base);
        EXPECT_EQ(boxOf(seeded.fields), c.box) << static_cast<int>(c.model);
        EXPECT_EQ(at(seeded.fields, Field::Radius), 18); // √(1000 / π) = 17.8
        EXPECT_EQ(at(seeded.fields, Field::Tension), 77);
        EXPECT_EQ(seeded.model, c.model);
    }
}

} // namespace
} // namespace orvik
