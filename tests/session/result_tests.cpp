// Tests of the captured contour result: the polygon agrees with what Draw draws.
#include "core/result.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace orvik {
namespace {

// A dark disc of radius 25 around (50, 40) on a light 100 × 80 ground, bound for Sample.
struct DiscImage {
    DiscImage() {
        grey = std::make_unique<std::uint8_t[]>(100 * 80);
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 100; ++x)
                grey[y * 100 + x] = (x - 50) * (x - 50) + (y - 40) * (y - 40) <= 625 ? 30 : 220;
        BindImage({&grey, &width, &height, &blackOnWhite});
    }
    ~DiscImage() { BindImage({}); }
    std::unique_ptr<std::uint8_t[]> grey;
    std::int32_t width = 100, height = 80;
    bool blackOnWhite = true;
};

// The point of the polygon that Draw passes as vertex `v`.
std::size_t drawnPoint(ModelChoice model, std::size_t v, std::size_t n) {
    switch (model) {
    case ModelChoice::CenterPoint: // angle 0, then falling angles down to 0 again
        return v == 0 ? 0 : n - v;
    case ModelChoice::Standard:
    case ModelChoice::Balloon: // the last point, then all in order
        return v == 0 ? n - 1 : v - 1;
    case ModelChoice::Opened:
        break;
    }
    return v;
}

TEST(ContourResult, EveryModelsPolygonTruncatesToTheVerticesDrawPasses) {
    const DiscImage image;
    for (const ModelChoice model : {ModelChoice::CenterPoint, ModelChoice::Standard,
                                    ModelChoice::Balloon, ModelChoice::Opened}) {
        for (const int iterations : {0, 7}) {
            SCOPED_TRACE(std::string(modelKey(model)) + " after " + std::to_string(iterations));
            KONTUR k;
            Init(k, 20, 15, 80, 65, static_cast<std::int32_t>(model), 24, 0.4f, 0.1f, 30, 0.1f,
                 -0.3f, 100, 0, 0.1f, 1, iterations);
            StepScratch scratch;
            orvik::Run(k, scratch);
            RunContext context;
            context.model = model;
            const ContourResult r = captureResult(k, context);
            ASSERT_EQ(r.contour.size(), 24u);
            EXPECT_EQ(r.closed, model != ModelChoice::Opened);
            EXPECT_EQ(r.iteration, iterations);
            EXPECT_EQ(model == ModelChoice::CenterPoint ? r.radii.size() : r.points.size(), 24u);
            const std::size_t expectedVertices = model == ModelChoice::Opened ? 24 : 25;
            ASSERT_EQ(r.vertices.size(), expectedVertices);
            for (std::size_t v = 0; v < r.vertices.size(); ++v) {
                const ContourPoint& p = r.contour[drawnPoint(model, v, 24)];
                EXPECT_EQ(r.vertices[v], (Vertex{static_cast<std::int32_t>(std::trunc(p.x)),
                                                 static_cast<std::int32_t>(std::trunc(p.y))}))
                    << "vertex " << v;
            }
        }
    }
}

TEST(ContourResult, NothingIsCapturedBeforeTheFirstInit) {
    const KONTUR k;
    const ContourResult r = captureResult(k, RunContext{});
    EXPECT_TRUE(r.contour.empty());
    EXPECT_TRUE(r.vertices.empty());
}

} // namespace
} // namespace orvik
