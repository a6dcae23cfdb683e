// The checked conversions: where a float store overflows, which truncations are invalid,
// the low 32 bits of a wide truncation, and the two kinds of zero division.
#include "checked_float.h"

#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace orvik {
namespace {

// The text of the FloatingPointError that f throws, or "" when it returns.
template <typename F>
std::string errorText(F f) {
    try {
        f();
    } catch (const FloatingPointError& e) {
        return e.what();
    }
    return "";
}

TEST(CheckedFloat, StoreOverflowsOnlyWhenTheValueRoundsToInfinity) {
    const double halfUlpAboveMax = 0x1.ffffffp127;
    struct Case {
        double value;
        const char* error;
    };
    const Case cases[] = {
        {static_cast<double>(FLT_MAX), ""},
        {std::nextafter(halfUlpAboveMax, 0.0), ""}, // just above FLT_MAX rounds down to it
        {-std::nextafter(halfUlpAboveMax, 0.0), ""},
        {halfUlpAboveMax, "Floating point overflow"}, // the tie rounds to even: infinity
        {-halfUlpAboveMax, "Floating point overflow"},
        {1e39, "Floating point overflow"},
        {std::numeric_limits<double>::infinity(), "Floating point overflow"},
        {std::numeric_limits<double>::quiet_NaN(), "Invalid floating point operation"},
        {1e-50, ""}, // underflow is masked
    };
    for (const Case& c : cases) {
        EXPECT_EQ(errorText([&] { (void)toSingleChecked(c.value); }), c.error) << c.value;
    }
    EXPECT_EQ(toSingleChecked(std::nextafter(halfUlpAboveMax, 0.0)), FLT_MAX);
    EXPECT_EQ(toSingleChecked(1e-50), 0.0f);
}

TEST(CheckedFloat, TruncationTowardZeroKeepsTheLow32Bits) {
    struct Case {
        double value;
        std::int32_t expected;
    };
    const Case cases[] = {
        {-0.7, 0},
        {3.9, 3},
        {-3.9, -3},
        {29.9999, 29},
        {2147483647.0, 2147483647},
        {2147483648.0, std::numeric_limits<std::int32_t>::min()}, // 2^31 wraps
        {4294967296.0 + 5.0, 5},                                  // 2^32 + 5
        {-4294967296.0 - 5.0, -5},
        {0x1.fffffffffffffp62, -1024}, // the largest double below 2^63: low bits 0xFFFFFC00
    };
    for (const Case& c : cases) {
        EXPECT_EQ(truncChecked(c.value), c.expected) << c.value;
    }
}

TEST(CheckedFloat, TruncationOfNaNOrMagnitudeTwoTo63IsInvalid) {
    const double cases[] = {0x1p63,
                            -0x1p63,
                            1e19,
                            -1e30,
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (const double v : cases) {
        EXPECT_EQ(errorText([&] { (void)truncChecked(v); }), "Invalid floating point operation")
            << v;
    }
}

TEST(CheckedFloat, DivisionByZeroAndZeroOverZero) {
    EXPECT_EQ(errorText([] { (void)divideChecked(1.0, 0.0); }), "Floating point division by zero");
    EXPECT_EQ(errorText([] { (void)divideChecked(-2.0, -0.0); }),
              "Floating point division by zero");
    EXPECT_EQ(errorText([] { (void)divideChecked(0.0, 0.0); }), "Invalid floating point operation");
    EXPECT_EQ(divideChecked(1.0, 4.0), 0.25);
}

TEST(CheckedFloat, ErrorIsARuntimeError) {
    try {
        (void)truncChecked(1e300);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid floating point operation");
    }
}

} // namespace
} // namespace orvik
