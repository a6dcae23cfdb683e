// Control values → Init arguments, and the middle-fifth box of a load.
#include "core/init_arguments.h"

namespace orvik {

namespace {

// The field value times its factor, the product rounded once to float.
float scaled(const FieldValues& values, Field field, double factor) {
    return static_cast<float>(static_cast<double>(at(values, field)) * factor);
}

// Rounds n·numerator/5 to the nearest whole number for n ≥ 0; with a divisor of 5 an
// exact half never occurs.
int fifths(int n, int numerator) {
    const long long product = static_cast<long long>(n) * numerator;
    return static_cast<int>((product + 2) / 5);
}

} // namespace

Box boxOf(const FieldValues& fields) {
    Box box;
    for (const BoxField& b : BoxFields)
        box.*b.coordinate = at(fields, b.field);
    return box;
}

void setBox(FieldValues& fields, const Box& box) {
    for (const BoxField& b : BoxFields)
        at(fields, b.field) = box.*b.coordinate;
}

std::optional<BoxField> offPicture(const Box& box, int width, int height) {
    for (const BoxField& b : BoxFields) {
        const int v = box.*b.coordinate;
        if (v < 0 || v > (b.horizontal ? width : height)) return b;
    }
    return std::nullopt;
}

InitArguments geometryArguments(const ControlValues& values) {
    const FieldValues& f = values.fields;
    const Box box = boxOf(f);
    InitArguments a;
    a.x1 = box.x1;
    a.y1 = box.y1;
    a.x2 = box.x2;
    a.y2 = box.y2;
    a.modelKind = static_cast<std::int32_t>(values.model);
    a.pointCount = at(f, Field::Points);
    return a;
}

InitArguments analysisArguments(const ControlValues& values) {
    const FieldValues& f = values.fields;
    InitArguments a = geometryArguments(values);
    a.tension = scaled(f, Field::Tension, 0.005);
    a.rigidity = scaled(f, Field::Rigidity, 0.005);
    a.radius = static_cast<float>(at(f, Field::Radius));
    a.formWeight = scaled(f, Field::Form, 0.001);
    a.imageWeight = scaled(f, Field::Image, 0.005);
    // The pressure pushes outward over pixels brighter than the threshold; a dark object
    // on a light ground needs it reversed. "Opened" follows the grey gradient instead and
    // takes the weight as it is.
    if (values.blackOnWhite && values.model != ModelChoice::Opened) a.imageWeight = -a.imageWeight;
    a.threshold = scaled(f, Field::Threshold, 0.25);
    a.gradientWeight = scaled(f, Field::Gradient, 0.01);
    a.inertia = scaled(f, Field::Inertia, 0.1);
    a.viscosity = scaled(f, Field::Viscosity, 0.2);
    a.iterations = at(f, Field::Iterations);
    return a;
}

void applyInit(KONTUR& k, const InitArguments& a) {
    Init(k, a.x1, a.y1, a.x2, a.y2, a.modelKind, a.pointCount, a.tension, a.rigidity, a.radius,
         a.formWeight, a.imageWeight, a.threshold, a.gradientWeight, a.inertia, a.viscosity,
         a.iterations);
}

Box middleFifth(int width, int height) {
    return {fifths(width, 2), fifths(height, 2), fifths(width, 3), fifths(height, 3)};
}

} // namespace orvik
