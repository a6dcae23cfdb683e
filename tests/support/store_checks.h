// Checks of a grey image store that tests and fuzzers share: its grey buffer as a vector, and
// whether its parts agree with each other.
#pragma once

#include "grey_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvik::test {

// The grey buffer, top row first.
std::vector<std::uint8_t> greyBuffer(const GreyImage& store);

// What is wrong with a loaded store, or "" when nothing is: a grey buffer and a positive size,
// a 24-bit display of the same size with rows padded to 4 bytes, every display pixel showing
// its grey value in all three channels.
std::string storeInconsistency(const GreyImage& store);

} // namespace orvik::test
