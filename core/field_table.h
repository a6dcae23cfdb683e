// The numeric parameter fields of the main window: names, labels, defaults, ranges and
// increments, shared by the window and orvik-cli so that both accept the same values.
#pragma once

#include <array>
#include <cstddef>

namespace orvik {

// In the window's keyboard focus order.
enum class Field : std::size_t {
    Inertia,
    Viscosity,
    Tension,
    Rigidity,
    Form,
    Radius,
    Image,
    Threshold,
    Gradient,
    Iterations,
    Points,
    X1,
    Y1,
    Y2,
    X2,
};
inline constexpr std::size_t FieldCount = 15;

struct FieldInfo {
    Field field;
    const char* label;      // "Inertia ="
    const char* editName;   // "Edit1"
    const char* upDownName; // "UpDown1"
    const char* key;        // "inertia": the JSON key and the orvik-cli option without "--"
    int defaultValue;
    int minimum;
    int maximum; // the box fields: before the first load; a load sets the image's size
    int increment;
    const char* unit; // what the number means, for the field's tooltip
};

const std::array<FieldInfo, FieldCount>& fieldTable();
const FieldInfo& fieldInfo(Field field);

// All fields' values, indexed by Field.
using FieldValues = std::array<int, FieldCount>;
FieldValues defaultFieldValues();

inline int& at(FieldValues& values, Field field) {
    return values[static_cast<std::size_t>(field)];
}
inline int at(const FieldValues& values, Field field) {
    return values[static_cast<std::size_t>(field)];
}

// X1, Y1, X2 or Y2: the corners of the box, whose maxima follow the picture.
constexpr bool isBoxField(Field field) {
    return field == Field::X1 || field == Field::Y1 || field == Field::X2 || field == Field::Y2;
}

// The value a field holds when the program sets `value`: clamped to [minimum, maximum].
int clampToField(int value, int minimum, int maximum);

} // namespace orvik
