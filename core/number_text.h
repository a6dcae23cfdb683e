// How result files and texts print numbers: locale-free, with a fixed count of significant
// digits, and "null" where JSON has no number (NaN, infinities).
#pragma once

#include <charconv>
#include <cmath>
#include <string>

namespace orvik {

// 9 significant digits read a float back exactly; 17 a double. The shortest form of %g with
// that precision, always with a decimal point: std::to_chars ignores the C library's locale,
// which the application object sets from the environment (a German one writes 1,5).
inline std::string significantDigits(double value, int digits) {
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    return ec == std::errc{} ? std::string(buffer, end) : std::string();
}

inline std::string jsonNumber(double value, int digits) {
    return std::isfinite(value) ? significantDigits(value, digits) : std::string("null");
}

} // namespace orvik
