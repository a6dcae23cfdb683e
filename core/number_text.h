// How result files and texts print numbers: locale-free, with a fixed count of significant
// digits, and "null" where JSON has no number (NaN, infinities).
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace orvik {

// 9 significant digits read a float back exactly; 17 a double.
inline std::string significantDigits(double value, int digits) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    return buffer;
}

inline std::string jsonNumber(double value, int digits) {
    return std::isfinite(value) ? significantDigits(value, digits) : std::string("null");
}

} // namespace orvik
