// How the window's control values become the sixteen arguments of Init, and the box a
// load starts with. Widget-free, so the window and orvik-cli run the same code.
#pragma once

#include "field_table.h"
#include "kontur.h"

#include <cstdint>

namespace orvik {

enum class ModelChoice : std::int32_t { CenterPoint = 1, Standard = 2, Balloon = 3, Opened = 4 };

// Everything an analysis reads from the window.
struct ControlValues {
    FieldValues fields = defaultFieldValues();
    ModelChoice model = ModelChoice::CenterPoint;
    bool blackOnWhite = true;
};

struct InitArguments {
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::int32_t modelKind = 1;
    std::int32_t pointCount = 0;
    float tension = 0, rigidity = 0, radius = 0, formWeight = 0, imageWeight = 0, threshold = 0,
          gradientWeight = 0, inertia = 0, viscosity = 0;
    std::int32_t iterations = 0;
};

// All sixteen arguments, as "Analysis" passes them: each weight is the field value times
// its factor rounded to float; the image weight is negated for "Black on white" unless the
// model is "Opened".
InitArguments analysisArguments(const ControlValues& values);

// The box, model and point count only, the rest zero: what a preview passes.
InitArguments geometryArguments(const ControlValues& values);

void applyInit(KONTUR& k, const InitArguments& a);

struct Box {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const Box&) const = default;
};

// The middle fifth of a width × height image, each quotient rounded to nearest.
Box middleFifth(int width, int height);

} // namespace orvik
