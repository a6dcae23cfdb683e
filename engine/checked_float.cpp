// The throwing halves of the checked conversions, kept out of line so that the fast paths
// inline small.
#include "checked_float.h"

namespace orvik {

void throwFloatOverflow() {
    throw FloatingPointError(kFloatOverflowText);
}

void throwFloatInvalid() {
    throw FloatingPointError(kFloatInvalidText);
}

void throwFloatDivideByZero() {
    throw FloatingPointError(kFloatDivideByZeroText);
}

} // namespace orvik
