// The step's fast arithmetic against the checked one: wherever no check fails, both must give
// the same bits. The fast one takes float square roots and divides two doubles at once.
#include "kontur_internal.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

namespace orvik {
namespace {

std::vector<float> sampleFloats() {
    std::vector<float> values{0.0f,
                              std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::min(),
                              0.2f,
                              1.0f,
                              2.0f,
                              3.0f,
                              130050.0f,
                              16777215.0f,
                              std::numeric_limits<float>::max()};
    // Whole numbers, as the edge force's squared sums are.
    for (int n = 0; n <= 2000; ++n)
        values.push_back(static_cast<float>(n));
    // Every exponent, and random bit patterns of non-negative finite floats.
    std::mt19937 generator(20240607);
    std::uniform_int_distribution<std::uint32_t> bits(0, 0x7f7fffffu);
    for (int n = 0; n < 200000; ++n)
        values.push_back(std::bit_cast<float>(bits(generator)));
    return values;
}

TEST(StepArithmetic, FloatRootEqualsTheDoubleRootRoundedToFloat) {
    for (const float v : sampleFloats()) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(PlainArithmetic::root(v)),
                  std::bit_cast<std::uint32_t>(CheckedArithmetic::root(v)))
            << "root of " << v;
    }
}

TEST(StepArithmetic, PairedDivisionEqualsTwoDivisions) {
    std::mt19937_64 generator(20240608);
    std::uniform_int_distribution<int> exponent(-60, 60);
    std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
    auto value = [&] { return std::ldexp(mantissa(generator), exponent(generator)); };
    for (int n = 0; n < 200000; ++n) {
        const double a = value(), b = value(), c = value(), d = value();
        if (b == 0.0 || d == 0.0) continue;
        const Quotients plain = PlainArithmetic::divide(a, b, c, d);
        const Quotients checked = CheckedArithmetic::divide(a, b, c, d);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(plain.first), std::bit_cast<std::uint64_t>(a / b));
        ASSERT_EQ(std::bit_cast<std::uint64_t>(plain.second), std::bit_cast<std::uint64_t>(c / d));
        ASSERT_EQ(std::bit_cast<std::uint64_t>(checked.first), std::bit_cast<std::uint64_t>(a / b));
        ASSERT_EQ(std::bit_cast<std::uint64_t>(checked.second),
                  std::bit_cast<std::uint64_t>(c / d));
    }
}

TEST(StepArithmetic, CheckedPairedDivisionTestsTheFirstPairFirst) {
    // A zero divisor in both pairs: the first pair's error is the one raised.
    EXPECT_THROW(
        {
            try {
                CheckedArithmetic::divide(0.0, 0.0, 1.0, 0.0);
            } catch (const FloatingPointError& e) {
                EXPECT_STREQ(e.what(), kFloatInvalidText);
                throw;
            }
        },
        FloatingPointError);
    EXPECT_THROW(
        {
            try {
                CheckedArithmetic::divide(1.0, 2.0, 1.0, 0.0);
            } catch (const FloatingPointError& e) {
                EXPECT_STREQ(e.what(), kFloatDivideByZeroText);
                throw;
            }
        },
        FloatingPointError);
}

TEST(StepArithmetic, PlainTruncationKeepsTheLowBitsLikeTheCheckedOne) {
    for (const double v : {0.0, -0.7, 3.9, -3.9, 2147483647.5, 2147483648.0, -2147483649.0,
                           4294967296.0 + 5.0, 1e15, -1e15}) {
        EXPECT_EQ(PlainArithmetic::trunc(v), CheckedArithmetic::trunc(v)) << v;
    }
}

} // namespace
} // namespace orvik
