// Cutting touching objects apart and the local threshold, on drawn masks and pictures.
#include "document/coupling.h"
#include "document/labelling.h"
#include "document/objects.h"
#include "document/separate.h"
#include "synthetic_ellipses.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

namespace orvik {
namespace {

struct Disc {
    double x, y, r;
};

std::vector<std::uint8_t> discMask(int width, int height, const std::vector<Disc>& discs) {
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (const Disc& d : discs)
                if (std::hypot(x + 0.5 - d.x, y + 0.5 - d.y) < d.r)
                    mask[static_cast<std::size_t>(y) * width + x] = 1;
    return mask;
}

struct SplitCase {
    const char* name;
    std::vector<Disc> discs;
    int parts;
};

// 8-connected labelling by flooding each region from its first pixel: the numbering by first
// pixel the bands must give.
int floodLabels(const std::vector<std::uint8_t>& mask, int width, int height,
                std::vector<int>& labels) {
    labels.assign(mask.size(), -1);
    int count = 0;
    std::vector<std::size_t> todo;
    for (std::size_t start = 0; start < mask.size(); ++start) {
        if (mask[start] == 0 || labels[start] >= 0) continue;
        labels[start] = count;
        todo.push_back(start);
        while (!todo.empty()) {
            const int x = int(todo.back() % width), y = int(todo.back() / width);
            todo.pop_back();
            for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, height - 1); ++ny)
                for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx) {
                    const std::size_t n = std::size_t(ny) * width + nx;
                    if (mask[n] != 0 && labels[n] < 0) {
                        labels[n] = count;
                        todo.push_back(n);
                    }
                }
        }
        ++count;
    }
    return count;
}

// Masks large enough to be labelled in bands, with regions that cross the bands' borders
// straight, only diagonally, or join in a band below after starting apart in those above.
TEST(LabelRegions, BandsNumberAsOnePassDoes) {
    const int width = 700, height = 450;
    std::mt19937 random(3);
    const struct {
        const char* name;
        std::function<bool(int x, int y)> on;
    } cases[] = {
        {"noise", [&](int, int) { return random() % 2 == 0; }},
        {"sparse noise", [&](int, int) { return random() % 5 == 0; }},
        {"a comb joined at the bottom", [](int x, int y) { return x % 3 == 0 || y == 449; }},
        {"a comb joined at the top", [](int x, int y) { return x % 3 == 0 || y == 0; }},
        {"diagonals", [](int x, int y) { return (x + y) % 5 == 0 || (x - y + 900) % 7 == 0; }},
        {"a spiral of rings",
         [](int x, int y) {
             return int(std::hypot(x - 350, y - 225) + std::atan2(y - 225, x - 350)) % 4 == 0;
         }},
        {"everything", [](int, int) { return true; }},
        {"nothing", [](int, int) { return false; }},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> mask(std::size_t(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                mask[std::size_t(y) * width + x] = c.on(x, y) ? 1 : 0;
        std::vector<int> expected, labels, firsts;
        const int count = floodLabels(mask, width, height, expected);
        for (const int threads : {1, 2, 3, 8}) {
            ASSERT_EQ(labelRegions(mask, width, height, labels, threads, &firsts), count)
                << c.name << ", " << threads << " threads";
            EXPECT_EQ(labels, expected) << c.name << ", " << threads << " threads";
            // Each band's own regions are those whose first pixel lies in it.
            const std::vector<int> bands = rowBands(width, height, threads);
            ASSERT_EQ(firsts.size(), bands.size()) << c.name;
            for (std::size_t b = 0; b + 1 < bands.size(); ++b) {
                const auto first = expected.begin() + std::ptrdiff_t(bands[b]) * width;
                const auto end = expected.begin() + std::ptrdiff_t(bands[b + 1]) * width;
                const int largest = std::max(*std::max_element(first, end), firsts[b] - 1);
                EXPECT_EQ(largest + 1, firsts[b + 1]) << c.name << ", band " << b;
            }
        }
        EXPECT_GT(rowBands(width, height, 2).size(), 3u);
    }
}

TEST(SplitRegions, CutsAtNecksAndNowhereElse) {
    const std::vector<SplitCase> cases = {
        {"one disc", {{50, 50, 20}}, 1},
        {"two apart", {{30, 50, 12}, {75, 50, 12}}, 2},
        {"a touching pair", {{35, 50, 16}, {62, 50, 16}}, 2},
        {"a big and a small", {{40, 50, 20}, {68, 50, 11}}, 2},
        {"a chain of three", {{20, 50, 11}, {39, 50, 11}, {58, 56, 11}}, 3},
        {"a shallow neck stays whole", {{45, 50, 16}, {55, 50, 16}}, 1},
        {"an object cut by the border", {{0, 50, 20}}, 1},
    };
    for (const SplitCase& c : cases) {
        const std::vector<std::uint8_t> mask = discMask(100, 100, c.discs);
        std::vector<int> labels;
        EXPECT_EQ(splitRegions(mask, 100, 100, SplitDepth, labels), c.parts) << c.name;
        // Every mask pixel gets a part, and no pixel off the mask does.
        for (std::size_t i = 0; i < mask.size(); ++i)
            ASSERT_EQ(labels[i] >= 0, mask[i] != 0) << c.name;
        // Unsplit, a region is whole.
        const int whole =
            splitRegions(mask, 100, 100, std::numeric_limits<double>::infinity(), labels);
        EXPECT_EQ(whole, c.name == std::string("two apart") ? 2 : 1) << c.name;
    }
}

// A picture large enough for the bands, of touching pairs and lone discs, many across the
// bands' borders: the same parts on any number of threads.
TEST(SplitRegions, AnyThreadCountCutsTheSameParts) {
    std::vector<Disc> discs;
    for (int row = 0; row < 6; ++row)
        for (int col = 0; col < 7; ++col) {
            const double x = 45 + 90 * col, y = 42 + 84 * row;
            discs.push_back({x - 14, y + (col % 3), 16});
            if ((row + col) % 4 != 0) discs.push_back({x + 14, y - (row % 2), 15});
        }
    const std::vector<std::uint8_t> mask = discMask(640, 510, discs);
    std::vector<int> one, labels;
    const int parts = splitRegions(mask, 640, 510, SplitDepth, one, 1);
    EXPECT_EQ(parts, int(discs.size()));
    for (const int threads : {2, 3}) {
        EXPECT_EQ(splitRegions(mask, 640, 510, SplitDepth, labels, threads), parts);
        EXPECT_EQ(labels, one) << threads << " threads";
    }
}

TEST(SplitRegions, EachDiscKeepsItsOwnSide) {
    const std::vector<std::uint8_t> mask = discMask(100, 100, {{35, 50, 16}, {62, 50, 16}});
    std::vector<int> labels;
    ASSERT_EQ(splitRegions(mask, 100, 100, SplitDepth, labels), 2);
    EXPECT_EQ(labels[50 * 100 + 30], 0);
    EXPECT_EQ(labels[50 * 100 + 70], 1);
    // The cut lies near the middle of the neck, x = 48.5.
    int firstRight = 0;
    while (labels[50 * 100 + firstRight] != 1)
        ++firstRight;
    EXPECT_NEAR(firstRight, 48.5, 2.0);
}

TEST(SquaredDistances, AreExactAndIgnoreTheBorder) {
    // A 5 pixel wide band across the picture: distances 1, 4, 9, 4, 1 across it, the
    // picture's left and right borders no ground.
    std::vector<std::uint8_t> mask(20 * 11, 0);
    for (int y = 3; y < 8; ++y)
        for (int x = 0; x < 20; ++x)
            mask[y * 20 + x] = 1;
    const std::vector<std::int64_t> d = squaredDistances(mask, 20, 11);
    const std::int64_t expected[] = {1, 4, 9, 4, 1};
    for (int x : {0, 10, 19})
        for (int y = 3; y < 8; ++y)
            EXPECT_EQ(d[y * 20 + x], expected[y - 3]) << x << "," << y;
    EXPECT_EQ(d[0], 0);
}

// Dark discs on a ground whose light falls from 220 on the left to 90 on the right: the
// disc on the right is lighter than the ground on the left, so no one threshold finds all.
TEST(LocallyDistinct, FindsObjectsUnderUnevenLight) {
    const int width = 240, height = 80;
    const std::vector<Disc> discs = {{30, 40, 12}, {120, 40, 12}, {210, 40, 12}};
    const std::vector<std::uint8_t> inside = discMask(width, height, discs);
    for (const bool dark : {true, false}) {
        std::vector<std::uint8_t> grey(inside.size());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double light = 220 - 130.0 * x / width;
                const std::size_t i = static_cast<std::size_t>(y) * width + x;
                const double g =
                    inside[i] ? (dark ? 0.55 : 1.0) * light : (dark ? 1.0 : 0.55) * light;
                grey[i] = static_cast<std::uint8_t>(std::lround(g));
            }
        const std::vector<std::uint8_t> mask =
            locallyDistinct(grey.data(), width, height, 30, dark);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < mask.size(); ++i)
            wrong += (mask[i] != 0) != (inside[i] != 0);
        EXPECT_LT(wrong, 40u) << (dark ? "dark" : "light") << " objects";
        std::vector<int> labels;
        EXPECT_EQ(splitRegions(mask, width, height, SplitDepth, labels), 3);
    }
    // A flat picture has nothing that stands out.
    const std::vector<std::uint8_t> flat(100 * 100, 128);
    for (const std::uint8_t m : locallyDistinct(flat.data(), 100, 100, 10, true))
        ASSERT_EQ(m, 0);
}

// Touching pairs of discs, found with the split and analysed together: coupled, the contours
// share far fewer pixels than each alone, and any pair still over the limit is flagged.
TEST(Coupling, KeepsTouchingObjectsApart) {
    test::EllipseScene scene;
    scene.clump = 2;
    scene.count = 3;
    scene.minSemiAxis = 11;
    scene.maxSemiAxis = 13;
    const test::SyntheticPicture picture = test::drawEllipses(scene);
    FindOptions options;
    options.threshold = otsuThreshold(picture.image);
    options.split = true;
    ControlValues base;
    std::size_t shared[2] = {0, 0};
    for (const bool couple : {false, true}) {
        ObjectList list;
        list.setCoupling(couple);
        for (const Region& region : findRegions(picture.image, options))
            list.add(seedValues(region, base));
        ASSERT_EQ(list.size(), 6u);
        list.analyseAll(picture.image, "pairs", 2);
        std::vector<const PictureObject*> objects;
        for (const PictureObject& o : list.objects())
            objects.push_back(&o);
        const auto pixels =
            enclosedPixels(objects, picture.image.ImageWidth, picture.image.ImageHeight);
        for (const Overlap& o : overlaps(pixels, picture.image.ImageWidth)) {
            shared[couple] += o.shared;
            if (couple) {
                EXPECT_FALSE(list.objects()[o.first].overlapping.empty());
                EXPECT_FALSE(list.objects()[o.second].overlapping.empty());
            }
        }
    }
    EXPECT_GT(shared[0], 0u);
    EXPECT_EQ(shared[1], 0u);
}

TEST(Coupling, OverlapsAreEveryPairThatSharesEnough) {
    // Random rectangles, some nested, some touching: the pairs found against counting every
    // pair's shared pixels.
    std::mt19937 random(7);
    const int width = 90, height = 70;
    std::vector<std::vector<std::size_t>> pixels(40);
    for (auto& set : pixels) {
        const int x = int(random() % 80), y = int(random() % 60);
        const int w = 1 + int(random() % 20), h = 1 + int(random() % 20);
        for (int yy = y; yy < std::min(y + h, height); ++yy)
            for (int xx = x; xx < std::min(x + w, width); ++xx)
                set.push_back(std::size_t(yy) * width + xx);
    }
    pixels[5].clear();
    std::vector<Overlap> expected;
    for (std::size_t a = 0; a < pixels.size(); ++a)
        for (std::size_t b = a + 1; b < pixels.size(); ++b) {
            std::size_t shared = 0;
            for (const std::size_t i : pixels[a])
                shared += std::count(pixels[b].begin(), pixels[b].end(), i);
            const double smaller = double(std::min(pixels[a].size(), pixels[b].size()));
            if (shared > 0 && double(shared) >= OverlapShare * smaller)
                expected.push_back({a, b, shared});
        }
    for (const int threads : {1, 3}) {
        const std::vector<Overlap> found = overlaps(pixels, width, threads);
        ASSERT_EQ(found.size(), expected.size());
        ASSERT_GT(found.size(), 5u);
        for (std::size_t n = 0; n < found.size(); ++n)
            EXPECT_EQ(std::tie(found[n].first, found[n].second, found[n].shared),
                      std::tie(expected[n].first, expected[n].second, expected[n].shared));
    }
}

} // namespace
} // namespace orvik
