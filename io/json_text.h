// The pieces of text the JSON and GeoJSON result formats are made of, written once for the
// single contour and for the objects of a picture.
#pragma once

#include "core/field_table.h"
#include "core/measurements.h"
#include "core/result.h"

#include <QByteArray>
#include <string>

namespace orvik {

// A JSON string: quotes, backslashes and control characters escaped.
std::string quoted(const std::string& text);
// A float with 9 significant digits, which reads back as the same float; "null" when not
// finite.
std::string floatNumber(float v);
// A double with 17 significant digits, likewise.
std::string doubleNumber(double v);
// "[x, y]" with `digits` significant digits.
std::string pair(double x, double y, int digits);

// {"inertia": 10, ...}: every field in the field table's order.
std::string fieldsObject(const FieldValues& fields);
// The measurements with their flags; only the flags for a result without a contour.
std::string measurementsObject(const Measurements& m, const ContourResult& result);
// The stored points: [[x, y], ...], or model 1's radii [[r], ...].
std::string pointsArray(const ContourResult& result);
// The vertices Draw passes: [[x, y], ...].
std::string verticesArray(const ContourResult& result);

// A GeoJSON Feature of the contour (a closed ring or a line; null geometry without a
// contour), whose properties are `leading` (members with their trailing ", ", or empty),
// then the picture's file name, the settings and the measurements. `id` is the Feature's own
// id, none when negative.
std::string featureJson(const ContourResult& result, const Measurements& m,
                        const RunContext& settings, int id, const std::string& leading);

inline QByteArray bytesOf(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace orvik
