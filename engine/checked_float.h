// Checked real arithmetic of the engine: float stores, real-to-integer truncation and
// divisions that raise a FloatingPointError where the hardware would produce an infinity
// or a NaN, so that a diverging contour stops with a message instead of running on.
#pragma once

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace orvik {

// Thrown by the checked operations below; what() is exactly one of the three texts.
class FloatingPointError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kFloatOverflowText = "Floating point overflow";
inline constexpr const char* kFloatInvalidText = "Invalid floating point operation";
inline constexpr const char* kFloatDivideByZeroText = "Floating point division by zero";

[[noreturn]] void throwFloatOverflow();
[[noreturn]] void throwFloatInvalid();
[[noreturn]] void throwFloatDivideByZero();

// Rounds to the nearest float. A value that rounds to an infinity (FLT_MAX plus half a unit
// in the last place, or more) is an overflow; a NaN is an invalid operation. A value just
// above FLT_MAX still rounds to FLT_MAX.
inline float toSingleChecked(double v) {
    constexpr double kRoundsToInfinity = 0x1.ffffffp127;
    if (!(std::fabs(v) < kRoundsToInfinity)) {
        if (std::isnan(v)) throwFloatInvalid();
        throwFloatOverflow();
    }
    return static_cast<float>(v);
}

// Truncates toward zero through a 64-bit integer and keeps its low 32 bits; a NaN or a
// magnitude of 2^63 or more is an invalid operation.
inline std::int32_t truncChecked(double v) {
    constexpr double kTwoTo63 = 0x1p63;
    if (!(std::fabs(v) < kTwoTo63)) throwFloatInvalid();
    const auto wide = static_cast<std::int64_t>(v);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
}

// num / den, where a zero divisor is a division by zero, or an invalid operation when the
// dividend is zero or a NaN as well.
inline double divideChecked(double num, double den) {
    if (den == 0.0) {
        if (num == 0.0 || std::isnan(num)) throwFloatInvalid();
        throwFloatDivideByZero();
    }
    return num / den;
}

} // namespace orvik
