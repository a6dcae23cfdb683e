// How the window's control values become the sixteen arguments of Init, and the box a
// load starts with. Widget-free, so the window and orvik-cli run the same code.
#pragma once

#include "core/field_table.h"
#include "kontur.h"

#include <array>
#include <cstdint>
#include <optional>

namespace orvik {

// Whether the model's contour is a closed ring, which encloses pixels (an area, a mask);
// "Opened" is an open chain.
constexpr bool isClosed(ModelChoice model) {
    return model != ModelChoice::Opened;
}

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

// The four box fields and the corner coordinate each holds, in the order X1, Y1, X2, Y2.
struct BoxField {
    Field field;
    const char* name;
    int Box::*coordinate;
    bool horizontal; // an x, held to the picture's width; else a y, held to its height
};
inline constexpr std::array<BoxField, 4> BoxFields{{
    {Field::X1, "X1", &Box::x1, true},
    {Field::Y1, "Y1", &Box::y1, false},
    {Field::X2, "X2", &Box::x2, true},
    {Field::Y2, "Y2", &Box::y2, false},
}};

// The box the four fields hold, and the fields set to a box.
Box boxOf(const FieldValues& fields);
void setBox(FieldValues& fields, const Box& box);

// The first coordinate of `box` that lies off a picture of width × height, or none. A box
// may reach the far edges: x from 0 to the width, y from 0 to the height.
std::optional<BoxField> offPicture(const Box& box, int width, int height);

// The middle fifth of a width × height image, each quotient rounded to nearest.
Box middleFifth(int width, int height);

} // namespace orvik
