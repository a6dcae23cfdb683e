// Capturing a contour result from the contour model.
#include "core/result.h"

#include "checked_float.h"
#include "core/geometry.h"

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

// Model 1 keeps its radii; the others x and y.
void captureStored(const KONTUR& k, std::int32_t level, ContourResult& result) {
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        if (k.ModelKind == 1)
            result.radii.push_back(pointX(k, i, level));
        else
            result.points.push_back({pointX(k, i, level), pointY(k, i, level)});
    }
    result.contour = levelOutline(k, level);
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
    captureStored(k, level, result);
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
