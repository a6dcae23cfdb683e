// The arithmetic of the popup tools "Set radius", "Set threshold" and "Set object":
// widget-free, reading pixels through the engine's sampling rule, so that the window
// and orvik-cli derive the same values from the same click.
#pragma once

#include "core/init_arguments.h"

#include <cstdint>
#include <optional>

namespace orvik {

// Box centre with each sum halved toward zero.
struct BoxCentre {
    std::int32_t x, y;
};
BoxCentre boxCentre(const Box& box);

// Distance from the box centre to the click, truncated; not yet held to the Radius range.
int radiusFromClick(const Box& box, std::int32_t clickX, std::int32_t clickY);

// Both image sides must be at least 33 pixels for the window tools.
bool windowToolsApply(std::int32_t imageWidth, std::int32_t imageHeight);

// Moves the click point inward so that the 21 × 21 window lies in the image, storing it
// back. Call only when windowToolsApply.
void clampClickPoint(std::int32_t& clickX, std::int32_t& clickY, std::int32_t imageWidth,
                     std::int32_t imageHeight);

// Four times the mean grey of the 21 × 21 window around the (clamped) click point, or
// nothing when the image is too small. Clamps clickX/clickY in place.
std::optional<int> thresholdFromClick(std::int32_t& clickX, std::int32_t& clickY,
                                      std::int32_t imageWidth, std::int32_t imageHeight);

// The polarity that the two 11 × 11 windows either side of the click suggest: true for
// "Black on white" (ties included), false for "White on black"; nothing when the image is
// too small. Clamps clickX/clickY in place. A direction of zero length throws the
// engine's "Invalid floating point operation" error.
std::optional<bool> blackOnWhiteFromClick(std::int32_t& clickX, std::int32_t& clickY,
                                          std::int32_t imageWidth, std::int32_t imageHeight,
                                          const Box& box, bool opened);

} // namespace orvik
