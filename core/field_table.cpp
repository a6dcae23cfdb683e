// The table of the window's numeric fields.
#include "core/field_table.h"

#include <algorithm>

namespace orvik {

const std::array<FieldInfo, FieldCount>& fieldTable() {
    static const std::array<FieldInfo, FieldCount> table{{
        {Field::Inertia, "Inertia =", "Edit1", "UpDown1", "inertia", 10, 0, 100, 1,
         "in tenths (10 is an inertia of 1.0)"},
        {Field::Viscosity, "Viscosity =", "Edit2", "UpDown2", "viscosity", 10, 1, 100, 1,
         "in fifths (10 is a viscosity of 2.0)"},
        {Field::Tension, "Tension =", "Edit3", "UpDown3", "tension", 40, 0, 500, 1,
         "in units of 0.005 (40 is a tension of 0.2)"},
        {Field::Rigidity, "Rigidity =", "Edit4", "UpDown4", "rigidity", 10, 0, 100, 1,
         "in units of 0.005 (10 is a rigidity of 0.05)"},
        {Field::Form, "Form =", "Edit5", "UpDown5", "form", 10, 0, 100, 1,
         "in thousandths (10 is a form weight of 0.01)"},
        {Field::Radius, "Radius =", "Edit6", "UpDown6", "radius", 100, 2, 1000, 1,
         "pixels, the radius the contour is drawn toward"},
        {Field::Image, "Image =", "Edit7", "UpDown7", "image", 30, 0, 100, 1,
         "in units of 0.005 (30 is an image weight of 0.15)"},
        {Field::Threshold, "Threshold =", "Edit8", "UpDown8", "threshold", 100, 0, 1020, 1,
         "in quarter grey levels (400 is grey 100)"},
        {Field::Gradient, "Gradient =", "Edit9", "UpDown9", "gradient", 0, 0, 100, 1,
         "in hundredths (20 is an edge weight of 0.2)"},
        {Field::Iterations, "Iterations =", "Edit10", "UpDown10", "iterations", 100, 0, 32760, 5,
         "steps of an analysis (the arrows step in fives)"},
        {Field::Points, "Points =", "Edit11", "UpDown11", "points", 32, 3, 200, 1,
         "points of the contour"},
        {Field::X1, "X1 =", "Edit12", "UpDown12", "x1", 0, 0, 100, 1,
         "pixels: the left edge of the box"},
        {Field::Y1, "Y1 =", "Edit13", "UpDown13", "y1", 0, 0, 100, 1,
         "pixels: the top edge of the box"},
        {Field::Y2, "Y2 =", "Edit14", "UpDown15", "y2", 0, 0, 100, 1,
         "pixels: the bottom edge of the box"},
        {Field::X2, "X2 =", "Edit15", "UpDown14", "x2", 0, 0, 100, 1,
         "pixels: the right edge of the box"},
    }};
    return table;
}

const FieldInfo& fieldInfo(Field field) {
    return fieldTable()[static_cast<std::size_t>(field)];
}

FieldValues defaultFieldValues() {
    FieldValues values{};
    for (const FieldInfo& entry : fieldTable())
        at(values, entry.field) = entry.defaultValue;
    return values;
}

int clampToField(int value, int minimum, int maximum) {
    return std::clamp(value, minimum, std::max(minimum, maximum));
}

} // namespace orvik
