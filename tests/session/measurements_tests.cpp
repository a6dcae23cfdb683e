// Tests of the measurements: formulas on shapes with known answers, and the inside-pixel scan
// against a pixel-by-pixel even-odd test.
#include "core/measurements.h"
#include "session_test_support.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <random>

namespace orvik {
namespace {

using test::resultWith;

// A grey picture whose pixel (x, y) holds x, so that means and extremes are easy to know.
struct ColumnRamp {
    ColumnRamp(std::int32_t w, std::int32_t h) : grey(static_cast<std::size_t>(w) * h), w(w), h(h) {
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x)
                grey[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(x);
    }
    GreyBufferView view() const { return {grey.data(), w, h}; }
    std::vector<std::uint8_t> grey;
    std::int32_t w, h;
};

std::vector<ContourPoint> disc(double cx, double cy, double r, int n) {
    std::vector<ContourPoint> p;
    for (int i = 0; i < n; ++i) {
        const double t = 2 * std::numbers::pi * i / n;
        p.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
    }
    return p;
}

// The even-odd rule for one point, edge by edge: an edge counts when it crosses the point's
// row at or right of it (the crossing's x from the edge's upper end, as the scan takes it).
bool insideByCrossings(const std::vector<ContourPoint>& p, double x, double y) {
    bool inside = false;
    for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
        const ContourPoint& a = p[i].y < p[j].y ? p[i] : p[j];
        const ContourPoint& b = p[i].y < p[j].y ? p[j] : p[i];
        if (a.y <= y && y < b.y && x < a.x + (y - a.y) * ((b.x - a.x) / (b.y - a.y)))
            inside = !inside;
    }
    return inside;
}

TEST(Measurements, ClosedShapesWithKnownAnswers) {
    const ColumnRamp ramp(100, 80);
    struct Case {
        const char* name;
        std::vector<ContourPoint> contour;
        double area, perimeter, cx, cy;
        std::int64_t pixels;
        double meanGrey;
        int minGrey, maxGrey;
    };
    const Case cases[] = {
        // Pixel centres 10.5 .. 29.5 across and 10.5 .. 19.5 down; greys 10 .. 29.
        {"box", {{10, 10}, {30, 10}, {30, 20}, {10, 20}}, 200, 60, 20, 15, 200, 19.5, 10, 29},
        // The same box clockwise gives the same numbers.
        {"box clockwise",
         {{10, 10}, {10, 20}, {30, 20}, {30, 10}},
         200,
         60,
         20,
         15,
         200,
         19.5,
         10,
         29},
        // Only the quarter inside the picture counts: columns and rows 0 .. 4.
        {"box over the corner", {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}}, 100, 40, 0, 0, 25, 2, 0, 4},
        // A bow tie: the shoelace halves cancel, the even-odd pixels are both triangles.
        {"bow tie",
         {{10, 10}, {30, 30}, {30, 10}, {10, 30}},
         0,
         40 + 2 * std::hypot(20, 20),
         20,
         20,
         200,
         20,
         10,
         29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Measurements m = measure(resultWith(c.contour), ramp.view());
        EXPECT_DOUBLE_EQ(m.area, c.area);
        EXPECT_DOUBLE_EQ(m.perimeter, c.perimeter);
        EXPECT_DOUBLE_EQ(m.centroid.x, c.cx);
        EXPECT_DOUBLE_EQ(m.centroid.y, c.cy);
        EXPECT_EQ(m.pixels, c.pixels);
        EXPECT_DOUBLE_EQ(m.meanGrey, c.meanGrey);
        EXPECT_EQ(m.minGrey, c.minGrey);
        EXPECT_EQ(m.maxGrey, c.maxGrey);
        EXPECT_DOUBLE_EQ(m.equivalentDiameter, std::sqrt(4 * c.area / std::numbers::pi));
        EXPECT_DOUBLE_EQ(m.circularity,
                         4 * std::numbers::pi * c.area / (c.perimeter * c.perimeter));
    }
}

TEST(Measurements, ADiscOf200PointsAgreesWithPiRSquared) {
    const ColumnRamp ramp(100, 80);
    const double r = 30;
    const Measurements m = measure(resultWith(disc(50, 40, r, 200)), ramp.view());
    // The inscribed polygon's own area, and within 0.02 % of the circle's.
    EXPECT_NEAR(m.area, 100 * r * r * std::sin(2 * std::numbers::pi / 200), 1e-9);
    EXPECT_NEAR(m.area / (std::numbers::pi * r * r), 1, 2e-4);
    EXPECT_NEAR(m.perimeter / (2 * std::numbers::pi * r), 1, 2e-4);
    EXPECT_NEAR(m.circularity, 1, 1e-3);
    EXPECT_NEAR(m.equivalentDiameter, 2 * r, 0.01);
    EXPECT_NEAR(m.centroid.x, 50, 1e-9);
    EXPECT_NEAR(m.centroid.y, 40, 1e-9);
    EXPECT_NEAR(static_cast<double>(m.pixels), std::numbers::pi * r * r, 2 * std::numbers::pi * r);
    EXPECT_NEAR(m.meanGrey, 49.5, 0.1); // symmetric about the column of x = 50
    EXPECT_EQ(m.bbox[0], 20);
    EXPECT_EQ(m.bbox[2], 80);
}

TEST(Measurements, AnOpenedChainHasItsLengthAndEnds) {
    const Measurements m =
        measure(resultWith({{0, 0}, {3, 4}, {3, 10}, {-5, 10}}, false), GreyBufferView{});
    EXPECT_FALSE(m.closed);
    EXPECT_DOUBLE_EQ(m.length, 5 + 6 + 8);
    EXPECT_EQ(m.ends[0], (ContourPoint{0, 0}));
    EXPECT_EQ(m.ends[1], (ContourPoint{-5, 10}));
    EXPECT_EQ(m.pixels, 0);
}

TEST(Measurements, TheScanFindsExactlyThePixelsWhoseCentresTheEvenOddRuleEncloses) {
    std::mt19937 random(12);
    std::uniform_real_distribution<double> coordinate(-10, 70);
    std::uniform_int_distribution<int> count(3, 12);
    for (int shape = 0; shape < 200; ++shape) {
        // Every tenth shape zigzags across the picture, crossing rows hundreds of times.
        std::vector<ContourPoint> p(
            static_cast<std::size_t>(shape % 10 == 9 ? 700 : count(random)));
        for (ContourPoint& q : p)
            q = {coordinate(random), coordinate(random)};
        // Some vertices on pixel centres and edges, where the half-open rule matters.
        if (shape % 3 == 0)
            for (ContourPoint& q : p)
                q = {std::round(q.x) + 0.5, std::round(q.y)};
        std::vector<std::uint8_t> scanned(60 * 50, 0);
        forEachInsideSpan(p, 60, 50, [&](std::int32_t row, std::int32_t first, std::int32_t last) {
            for (std::int32_t i = first; i <= last; ++i)
                ++scanned[static_cast<std::size_t>(row) * 60 + i];
        });
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 60; ++x)
                ASSERT_EQ(scanned[static_cast<std::size_t>(y) * 60 + x],
                          insideByCrossings(p, x + 0.5, y + 0.5) ? 1 : 0)
                    << "shape " << shape << " pixel " << x << ", " << y;
    }
}

TEST(Measurements, NonFiniteContoursEncloseNothingAndHugeOnesTheWholePicture) {
    const ColumnRamp ramp(100, 80);
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        std::vector<ContourPoint> contour;
        std::int64_t pixels;
    } cases[] = {
        {{{10, 10}, {inf, 10}, {30, 30}}, 0},
        {{{10, 10}, {std::nan(""), 10}, {30, 30}}, 0},
        {{{-1e300, -1e300}, {1e300, -1e300}, {0, 1e300}}, 100 * 80},
    };
    for (const auto& c : cases)
        EXPECT_EQ(measure(resultWith(c.contour), ramp.view()).pixels, c.pixels);
}

// Each flag's rule at and across its threshold, on the 100 × 80 picture of resultWith.
TEST(Measurements, FlagsFollowTheirRules) {
    const double inf = std::numeric_limits<double>::infinity();
    const ResultFlag F = ResultFlag::Failed, O = ResultFlag::Outside, X = ResultFlag::SelfCrossing,
                     C = ResultFlag::Collapsed;
    std::vector<ContourPoint> star; // a pentagram: its edges cross five times
    for (int i = 0; i < 5; ++i)
        star.push_back({50 + 20 * std::cos(i * 4 * std::numbers::pi / 5),
                        40 + 20 * std::sin(i * 4 * std::numbers::pi / 5)});
    std::vector<ContourPoint> twisted = disc(50, 40, 30, 200);
    std::swap(twisted[120], twisted[121]);
    const bool closed = true, open = false;
    const char* const none = "";
    struct Case {
        const char* name;
        bool closed;
        const char* error;
        std::vector<ResultFlag> flags;
        std::vector<ContourPoint> contour;
    };
    const std::vector<ContourPoint> box{{10, 10}, {30, 10}, {30, 20}, {10, 20}};
    // A run of three over the first point: the last one, the first and the second.
    const std::vector<ContourPoint> piledAtEnd{
        {10, 10}, {10, 10.005}, {30, 10}, {10, 30}, {10, 10}};
    const Case cases[] = {
        {"plain box", closed, none, {}, box},
        {"failed run", closed, "Floating point overflow", {F}, box},
        {"a point not a number", closed, none, {F}, {{10, 10}, {inf, 10}, {30, 20}}},
        {"within the margin", closed, none, {}, {{-1, 10}, {30, -0.5}, {101, 20}, {10, 81}}},
        {"left of the picture", closed, none, {O}, {{-1.25, 10}, {30, 10}, {30, 20}, {10, 20}}},
        {"below the picture", open, none, {O}, {{10, 10}, {30, 10}, {30, 81.5}, {10, 20}}},
        {"pentagram", closed, none, {X}, star},
        {"bow tie, no net area", closed, none, {X, C}, {{10, 10}, {30, 30}, {30, 10}, {10, 30}}},
        {"200 points, two neighbours swapped", closed, none, {X}, twisted},
        {"chain crossing itself", open, none, {X}, {{10, 10}, {30, 30}, {30, 10}, {10, 30}}},
        {"zigzag chain", open, none, {}, {{10, 10}, {20, 30}, {30, 10}, {40, 30}}},
        {"area 3.9 px²", closed, none, {C}, {{10, 10}, {13, 10}, {13, 11.3}, {10, 11.3}}},
        {"area 4.2 px²", closed, none, {}, {{10, 10}, {13, 10}, {13, 11.4}, {10, 11.4}}},
        {"three piled", closed, none, {C}, {{10, 10}, {30, 10}, {30, 10}, {30, 10.005}, {30, 30}}},
        {"two piled", closed, none, {}, {{10, 10}, {30, 10}, {30, 10}, {30, 30}}},
        {"piled across the first point", closed, none, {C}, piledAtEnd},
        {"a chain has ends to pile at", open, none, {}, piledAtEnd},
        {"chain within a pixel", open, none, {C}, {{10, 10}, {10.5, 10.2}, {10.9, 10.9}}},
        {"chain of a pixel and more", open, none, {}, {{10, 10}, {10.5, 10.2}, {11.1, 10.9}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ContourResult r = resultWith(c.contour, c.closed);
        r.error = c.error;
        EXPECT_EQ(measure(r, GreyBufferView{}).flags.list(), c.flags);
    }
}

// Every pair of edges that are not neighbours, each end against the other edge's line: the
// answer the sweep must give.
bool crossingByEveryPair(const std::vector<ContourPoint>& p, bool closed) {
    const auto side = [](const ContourPoint& a, const ContourPoint& b, const ContourPoint& c) {
        const double o = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        return (o > 0) - (o < 0);
    };
    const std::size_t n = p.size(), edges = closed ? n : n - 1;
    for (std::size_t i = 0; i < edges; ++i)
        for (std::size_t j = i + 2; j < edges; ++j) {
            if (closed && i == 0 && j == n - 1) continue;
            const ContourPoint &a = p[i], &b = p[(i + 1) % n], &c = p[j], &d = p[(j + 1) % n];
            if (side(a, b, c) * side(a, b, d) < 0 && side(c, d, a) * side(c, d, b) < 0) return true;
        }
    return false;
}

bool flaggedCrossing(const std::vector<ContourPoint>& p, bool closed) {
    return measure(resultWith(p, closed), GreyBufferView{}).flags.has(ResultFlag::SelfCrossing);
}

// The sweep tests only edges that meet in its order; all pairs must give the same answer.
TEST(Measurements, SelfCrossingAgreesWithTestingEveryPairOfEdges) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(0, 60);
    std::uniform_int_distribution<int> count(4, 14);
    for (int shape = 0; shape < 500; ++shape) {
        std::vector<ContourPoint> p(static_cast<std::size_t>(count(random)));
        for (ContourPoint& q : p)
            q = {coordinate(random), coordinate(random)};
        const bool closed = shape % 2 == 0;
        EXPECT_EQ(flaggedCrossing(p, closed), crossingByEveryPair(p, closed)) << "shape " << shape;
    }
}

// Points on grids of 3 × 3 to 8 × 8 (edges that touch, overlap along a line, pass through
// vertices, repeat points, run vertical and have no length), walks of unit steps like traced
// outlines, and random points: every kind, closed and open, against every pair.
TEST(Measurements, SelfCrossingAgreesWithEveryPairOnGridsAndWalks) {
    std::mt19937 random(11);
    int crossings = 0, clean = 0;
    for (int shape = 0; shape < 30000; ++shape) {
        const bool closed = shape % 2 == 0;
        const int kind = shape / 2 % 3;
        const int side = 3 + shape / 6 % 6;
        std::uniform_int_distribution<int> grid(0, side - 1), step(-1, 1);
        std::uniform_real_distribution<double> coordinate(0, 60);
        std::vector<ContourPoint> p(static_cast<std::size_t>(4 + shape % 37));
        ContourPoint at{double(grid(random)), double(grid(random))};
        for (ContourPoint& q : p) {
            if (kind == 0) {
                q = {double(grid(random)), double(grid(random))};
            } else if (kind == 1) {
                q = at;
                at = {std::clamp(at.x + step(random), 0.0, side - 1.0),
                      std::clamp(at.y + step(random), 0.0, side - 1.0)};
            } else {
                q = {coordinate(random), coordinate(random)};
            }
        }
        const bool expected = crossingByEveryPair(p, closed);
        (expected ? crossings : clean)++;
        ASSERT_EQ(flaggedCrossing(p, closed), expected) << "shape " << shape;
    }
    // Both answers are common, so neither side of the comparison is empty.
    EXPECT_GT(crossings, 3000);
    EXPECT_GT(clean, 3000);
}

// A traced outline of 3,000 points (long vertical and horizontal runs of unit edges, which
// the sweep must hold in order), then with one point moved so that two far edges cross.
TEST(Measurements, SelfCrossingOfALongTracedOutline) {
    std::vector<ContourPoint> p;
    for (int y = 0; y < 1000; ++y)
        p.push_back({10, double(y)});
    for (int x = 10; x < 510; ++x)
        p.push_back({double(x), 1000});
    for (int y = 1000; y > 0; --y)
        p.push_back({510, double(y)});
    for (int x = 510; x > 10; --x)
        p.push_back({double(x), 0});
    EXPECT_FALSE(crossingByEveryPair(p, true));
    EXPECT_FALSE(flaggedCrossing(p, true));
    p[1500] = {600, 500}; // pokes out through the right side
    EXPECT_TRUE(crossingByEveryPair(p, true));
    EXPECT_TRUE(flaggedCrossing(p, true));
}

TEST(Measurements, StatusAndClipboardTexts) {
    const ColumnRamp ramp(100, 80);
    const ContourResult box = resultWith({{0, 0}, {50, 0}, {50, 24.69}, {0, 24.69}});
    const Measurements m = measure(box, ramp.view());
    EXPECT_EQ(statusText(m, box).toStdString(),
              "Area 1,234.5 px² · Perimeter 149.4 px · Circularity 0.70 · Mean grey 24.5");
    const ContourResult chain = resultWith({{0, 0}, {3, 4}}, false);
    EXPECT_EQ(statusText(measure(chain, GreyBufferView{}), chain), QStringLiteral("Length 5.0 px"));
    EXPECT_EQ(statusText(Measurements{}, ContourResult{}), QString());

    const QStringList lines = clipboardText(m, box).split(u'\n');
    EXPECT_EQ(lines[0], QStringLiteral("area\t1234.5"));
    EXPECT_EQ(lines[2], QStringLiteral("centroid\t25\t12.345"));
    const qsizetype header = lines.indexOf(QStringLiteral("x\ty"));
    ASSERT_GT(header, 0);
    EXPECT_EQ(lines[header - 1], QString());
    EXPECT_EQ(lines[header + 3], QStringLiteral("50\t24.69"));
    EXPECT_EQ(lines[header - 2], QStringLiteral("flags"));

    // Flags follow the measurements in the status line and end the clipboard's list.
    const ContourResult outside = resultWith({{-5, 0}, {50, 0}, {50, 24.69}, {-5, 24.69}});
    const Measurements flagged = measure(outside, ramp.view());
    EXPECT_TRUE(statusText(flagged, outside).endsWith(u" · Mean grey 24.5 · Flags: outside"))
        << statusText(flagged, outside).toStdString();
    const ContourResult piled = resultWith({{0, 0}, {0, 0}, {0, 0}}, false);
    EXPECT_EQ(statusText(measure(piled, GreyBufferView{}), piled),
              QStringLiteral("Length 0.0 px · Flags: collapsed"));
    const QStringList flaggedLines = clipboardText(flagged, outside).split(u'\n');
    EXPECT_EQ(flaggedLines[flaggedLines.indexOf(QStringLiteral("x\ty")) - 2],
              QStringLiteral("flags\toutside"));
}

} // namespace
} // namespace orvik
