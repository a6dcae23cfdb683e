// Capturing a contour result from the contour model.
#include "core/result.h"

#include "checked_float.h"

#include <utility>

namespace orvik {

namespace {

class VertexRecorder final : public ContourCanvas {
public:
    void SelectRedPen() override {}
    void RestorePen() override {}
    void MoveTo(std::int32_t x, std::int32_t y) override { vertices.push_back({x, y}); }
    void LineTo(std::int32_t x, std::int32_t y) override { vertices.push_back({x, y}); }
    std::vector<Vertex> vertices;
};

// Model 1: the centre plus each radius along the direction Draw takes.
void captureCenterPoint(const KONTUR& k, std::int32_t level, ContourResult& result) {
    const std::int32_t n = k.PointCount;
    for (std::int32_t i = 0; i < n; ++i) {
        const float r = pointX(k, i, level); // model 1 keeps the radius in the x slot
        const Direction d = pointDirection(i, n);
        result.radii.push_back(r);
        result.contour.push_back({static_cast<double>(r) * d.cos + k.CenterX,
                                  static_cast<double>(r) * d.sin + k.CenterY});
    }
}

void captureXY(const KONTUR& k, std::int32_t level, ContourResult& result) {
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        const float x = pointX(k, i, level), y = pointY(k, i, level);
        result.points.push_back({x, y});
        result.contour.push_back({x, y});
    }
}

} // namespace

RunContext runContext(std::string imageFile, std::int32_t width, std::int32_t height,
                      const ControlValues& values) {
    return {std::move(imageFile), width,        height, values.model, values.blackOnWhite,
            boxOf(values.fields), values.fields};
}

std::vector<Vertex> recordVertices(const KONTUR& k) {
    VertexRecorder recorder;
    try {
        Draw(k, recorder);
    } catch (const FloatingPointError&) {
        // A diverged contour cannot be drawn whole; keep the vertices it reached.
    }
    return std::move(recorder.vertices);
}

ContourResult captureResult(const KONTUR& k, RunContext context, std::string error) {
    ContourResult result;
    result.context = std::move(context);
    result.error = std::move(error);
    result.iteration = k.Iteration;
    result.energy = k.Energy;
    result.closed = isClosed(result.context.model);
    if (!k.Points || k.PointCount < 1 || k.ModelKind < 1 || k.ModelKind > 4) return result;
    result.closed = k.ModelKind != 4;
    const std::int32_t level = k.Iteration & 1;
    if (k.ModelKind == 1)
        captureCenterPoint(k, level, result);
    else
        captureXY(k, level, result);
    result.vertices = recordVertices(k);
    return result;
}

const char* modelKey(ModelChoice model) {
    switch (model) {
    case ModelChoice::Standard:
        return "standard";
    case ModelChoice::Balloon:
        return "balloon";
    case ModelChoice::Opened:
        return "opened";
    case ModelChoice::CenterPoint:
        break;
    }
    return "center";
}

const char* polarityKey(bool blackOnWhite) {
    return blackOnWhite ? "black-on-white" : "white-on-black";
}

} // namespace orvik
