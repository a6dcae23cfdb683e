// Tests of the rasteriser: line end points, clipping, the inverting pen and the ellipse.
#include "render/raster_canvas.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace orvik {
namespace {

// A 24-bit bitmap with rows padded to four bytes, like the display bitmap.
struct Bitmap {
    Bitmap(int w, int h, std::uint8_t fill = 0)
        : width(w), height(h), stride((3 * w + 3) / 4 * 4),
          bytes(static_cast<std::size_t>(stride) * h, fill) {}
    PixelView view() { return {bytes.data(), width, height, stride}; }
    const std::uint8_t* pixel(int x, int y) const { return &bytes[y * stride + 3 * x]; }
    bool isRed(int x, int y) const {
        const auto* p = pixel(x, y);
        return p[0] == 0 && p[1] == 0 && p[2] == 255;
    }
    std::vector<std::pair<int, int>> redPixels() const {
        std::vector<std::pair<int, int>> out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (isRed(x, y)) out.emplace_back(x, y);
        return out;
    }
    int width, height;
    std::ptrdiff_t stride;
    std::vector<std::uint8_t> bytes;
};

void polyline(RasterCanvas& canvas, const std::vector<std::pair<int, int>>& vertices) {
    canvas.SelectRedPen();
    canvas.MoveTo(vertices[0].first, vertices[0].second);
    for (std::size_t i = 1; i < vertices.size(); ++i)
        canvas.LineTo(vertices[i].first, vertices[i].second);
    canvas.RestorePen();
}

TEST(RasterCanvas, LinesLeaveOutTheirEndPixelInEveryDirection) {
    struct Case {
        int x0, y0, x1, y1;
        std::vector<std::pair<int, int>> pixels; // in row-major order
    };
    const std::vector<Case> cases = {
        {1, 1, 5, 1, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}},
        {5, 1, 1, 1, {{2, 1}, {3, 1}, {4, 1}, {5, 1}}},
        {2, 0, 2, 3, {{2, 0}, {2, 1}, {2, 2}}},
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
        {3, 3, 0, 0, {{1, 1}, {2, 2}, {3, 3}}},
        {0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {4, 4, 4, 4, {}},
    };
    for (const Case& c : cases) {
        Bitmap bmp(8, 6, 128);
        RasterCanvas canvas(bmp.view());
        polyline(canvas, {{c.x0, c.y0}, {c.x1, c.y1}});
        EXPECT_EQ(bmp.redPixels(), c.pixels)
            << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    }
}

TEST(RasterCanvas, AClosedOutlineDrawsEveryVertexAndAnOpenOneLeavesOutTheLast) {
    Bitmap closed(60, 50);
    RasterCanvas c1(closed.view());
    polyline(c1, {{10, 30}, {30, 40}, {50, 30}, {29, 20}, {10, 30}});
    for (auto [x, y] : std::vector<std::pair<int, int>>{{10, 30}, {30, 40}, {50, 30}, {29, 20}})
        EXPECT_TRUE(closed.isRed(x, y)) << x << "," << y;

    Bitmap open(60, 50);
    RasterCanvas c2(open.view());
    polyline(c2, {{10, 20}, {20, 25}, {30, 30}, {40, 35}, {50, 40}});
    EXPECT_TRUE(open.isRed(10, 20));
    EXPECT_TRUE(open.isRed(40, 35));
    EXPECT_FALSE(open.isRed(50, 40));
    EXPECT_TRUE(open.isRed(49, 39));
}

TEST(RasterCanvas, ClippingDrawsWhatAnUnclippedCanvasShowsInTheSameWindow) {
    // The same lines drawn on a small bitmap and, shifted, on one large enough to hold
    // them whole: the small one must show exactly the large one's pixels in its window.
    const int ox = 600, oy = 400;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(-500, 560);
    for (int trial = 0; trial < 200; ++trial) {
        const int x0 = coord(rng), y0 = coord(rng) * 2 / 3, x1 = coord(rng),
                  y1 = coord(rng) * 2 / 3;
        Bitmap small(53, 41), large(1200, 800);
        RasterCanvas cs(small.view()), cl(large.view());
        polyline(cs, {{x0, y0}, {x1, y1}});
        polyline(cl, {{x0 + ox, y0 + oy}, {x1 + ox, y1 + oy}});
        for (int y = 0; y < small.height; ++y)
            for (int x = 0; x < small.width; ++x)
                ASSERT_EQ(small.isRed(x, y), large.isRed(x + ox, y + oy))
                    << "line " << x0 << "," << y0 << " -> " << x1 << "," << y1 << " at " << x << ","
                    << y;
    }
}

TEST(RasterCanvas, LinesBetweenFarOffPointsAreClippedQuickly) {
    Bitmap bmp(40, 30);
    RasterCanvas canvas(bmp.view());
    polyline(canvas, {{-2147483647, 5}, {2147483647, 5}});
    for (int x = 0; x < 40; ++x)
        EXPECT_TRUE(bmp.isRed(x, 5));
    EXPECT_EQ(bmp.redPixels().size(), 40u);

    Bitmap diagonal(40, 30);
    RasterCanvas c2(diagonal.view());
    polyline(c2, {{-2000000000, -2000000000}, {2000000000, 2000000000}});
    EXPECT_EQ(diagonal.redPixels().size(), 30u); // (0,0) .. (29,29)
    EXPECT_TRUE(diagonal.isRed(29, 29));
}

TEST(RasterCanvas, RestorePenGivesBackThePreviousPen) {
    Bitmap bmp(4, 4);
    RasterCanvas canvas(bmp.view());
    const auto before = canvas.penColour();
    canvas.SelectRedPen();
    EXPECT_EQ(canvas.penColour(), (RasterCanvas::Colour{255, 0, 0}));
    canvas.RestorePen();
    EXPECT_EQ(canvas.penColour(), before);
}

TEST(RasterCanvas, AnInvertingOutlineDrawnTwiceRestoresEveryPixel) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> coord(-20, 90);
    std::uniform_int_distribution<int> grey(0, 255);
    for (int trial = 0; trial < 300; ++trial) {
        Bitmap bmp(71, 53);
        for (auto& b : bmp.bytes)
            b = static_cast<std::uint8_t>(grey(rng));
        const auto original = bmp.bytes;
        RasterCanvas canvas(bmp.view());
        canvas.setPenMode(RasterCanvas::PenMode::Invert);
        const int x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
        const bool ellipse = trial % 2 == 0;
        for (int pass = 0; pass < 2; ++pass) {
            if (ellipse) {
                canvas.Ellipse(x1, y1, x2, y2);
            } else {
                canvas.MoveTo(x1, y1);
                canvas.LineTo(x2, y2);
            }
            const bool visible = (ellipse ? (x1 != x2 && y1 != y2) : (x1 != x2 || y1 != y2)) &&
                                 x1 >= 0 && y1 >= 0 && x1 < 71 && y1 < 53;
            if (pass == 0 && visible) {
                EXPECT_NE(bmp.bytes, original) << "first outline drew nothing";
            }
        }
        ASSERT_EQ(bmp.bytes, original)
            << (ellipse ? "ellipse " : "line ") << x1 << "," << y1 << " - " << x2 << "," << y2;
    }
}

TEST(RasterCanvas, TheEllipseIsInscribedInItsBoxWithoutGapsOrDoubleTouches) {
    struct Case {
        int x1, y1, x2, y2;
    };
    for (const Case c : {Case{10, 10, 41, 31}, Case{41, 31, 10, 10}, Case{5, 5, 6, 20},
                         Case{5, 5, 20, 6}, Case{3, 4, 8, 9}, Case{0, 0, 64, 48}}) {
        Bitmap bmp(64, 48);
        RasterCanvas canvas(bmp.view());
        canvas.setPenMode(RasterCanvas::PenMode::Invert);
        canvas.Ellipse(c.x1, c.y1, c.x2, c.y2);
        int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
        for (int y = 0; y < bmp.height; ++y)
            for (int x = 0; x < bmp.width; ++x)
                if (bmp.pixel(x, y)[0] == 255) { // touched an odd number of times
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
        EXPECT_EQ(minX, std::min(c.x1, c.x2));
        EXPECT_EQ(maxX, std::max(c.x1, c.x2) - 1);
        EXPECT_EQ(minY, std::min(c.y1, c.y2));
        EXPECT_EQ(maxY, std::max(c.y1, c.y2) - 1);
        // Every row between top and bottom holds outline pixels: no gap left by a pixel
        // that was inverted twice.
        for (int y = minY; y <= maxY; ++y) {
            bool any = false;
            for (int x = minX; x <= maxX; ++x)
                any = any || bmp.pixel(x, y)[0] == 255;
            EXPECT_TRUE(any) << "row " << y;
        }
    }

    Bitmap empty(20, 20);
    RasterCanvas canvas(empty.view());
    canvas.setPenMode(RasterCanvas::PenMode::Invert);
    canvas.Ellipse(5, 5, 5, 15);
    canvas.Ellipse(5, 5, 15, 5);
    EXPECT_TRUE(empty.redPixels().empty());
    EXPECT_EQ(empty.bytes, std::vector<std::uint8_t>(empty.bytes.size(), 0));
}

} // namespace
} // namespace orvik
