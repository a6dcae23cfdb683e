// A contour result as a value: what a run produced (the stored points of the current level,
// the vertices Draw passes, the contour polygon) together with the run's context (image,
// model, polarity, box and field values), so that it can be measured and saved after the
// contour model has moved on.
#pragma once

#include "core/field_table.h"
#include "core/init_arguments.h"
#include "kontur.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

struct FloatPoint {
    float x = 0, y = 0;
    bool operator==(const FloatPoint&) const = default;
};

struct Vertex {
    std::int32_t x = 0, y = 0;
    bool operator==(const Vertex&) const = default;
};

struct ContourPoint {
    double x = 0, y = 0;
    bool operator==(const ContourPoint&) const = default;
};

// What the analysis ran on and with.
struct RunContext {
    std::string imageFile; // the path the image was loaded from
    std::int32_t width = 0, height = 0;
    ModelChoice model = ModelChoice::CenterPoint;
    bool blackOnWhite = true;
    Box box;
    FieldValues fields = defaultFieldValues(); // after any popup tool
};

// The context of an analysis of `values` on the picture read from `imageFile`.
RunContext runContext(std::string imageFile, std::int32_t width, std::int32_t height,
                      const ControlValues& values);

struct ContourResult {
    RunContext context;
    std::int32_t iteration = 0;
    double energy = 0;
    // The stored floats of the current level: model 1 keeps its radii, the others x and y.
    std::vector<float> radii;
    std::vector<FloatPoint> points;
    // The integer vertices exactly as Draw passes them, move-to first. A contour that cannot
    // be drawn whole keeps the vertices reached before the failing one.
    std::vector<Vertex> vertices;
    // The contour polygon in image pixel coordinates (pixel (i, j) covers [i, i+1) x [j, j+1),
    // y downward): the stored points, or for model 1 the centre plus each radius along the
    // angle Draw uses. Closed for models 1 to 3, an open chain for "Opened".
    std::vector<ContourPoint> contour;
    bool closed = true;
    std::string error; // the floating-point error that ended the analysis; empty when none
};

// Captures the current level of k. Before the first Init (or with no points) the result has
// no points, vertices or contour.
ContourResult captureResult(const KONTUR& k, RunContext context, std::string error = {});

// The vertices Draw passes for k, move-to first, up to the first that cannot be converted.
std::vector<Vertex> recordVertices(const KONTUR& k);

// "center", "standard", "balloon", "opened": the names orvik-cli and the saved files use.
const char* modelKey(ModelChoice model);
// "black-on-white" or "white-on-black".
const char* polarityKey(bool blackOnWhite);

} // namespace orvik
