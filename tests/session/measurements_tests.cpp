// Tests of the measurements: formulas on shapes with known answers, and the inside-pixel scan
// against a pixel-by-pixel even-odd test.
#include "measurements.h"
#include "session_test_support.h"

#include <QStringList>
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
        std::vector<ContourPoint> p(static_cast<std::size_t>(count(random)));
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
}

} // namespace
} // namespace orvik
