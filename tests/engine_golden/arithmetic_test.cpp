// The arithmetic the steps are written in: the checked pair of divisions raises the first
// pair's error first, and the plain truncation the fast path reads pixels with keeps the low
// bits as the checked one does.
#include "kontur_internal.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

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
