// The arithmetic of the popup tools: radius, threshold and polarity from a clicked point.
#include "core/parameter_tools.h"

#include "checked_float.h"

#include <cmath>

namespace orvik {

namespace {

// Sum of the grey levels of the (2·half + 1)² window centred on (cx, cy), row by row.
int windowSum(std::int32_t cx, std::int32_t cy, std::int32_t half) {
    int sum = 0;
    for (std::int32_t y = cy - half; y <= cy + half; ++y)
        for (std::int32_t x = cx - half; x <= cx + half; ++x)
            sum += Sample(x, y);
    return sum;
}

} // namespace

BoxCentre boxCentre(const Box& box) {
    // Integer division in C++ truncates toward zero, as the centre wants.
    return {(box.x1 + box.x2) / 2, (box.y1 + box.y2) / 2};
}

int radiusFromClick(const Box& box, std::int32_t clickX, std::int32_t clickY) {
    const BoxCentre c = boxCentre(box);
    // 64-bit: on an image near the 32767-pixel limit the squared distance exceeds 32 bits.
    const std::int64_t dx = std::int64_t{c.x} - clickX, dy = std::int64_t{c.y} - clickY;
    const std::int64_t s = dx * dx + dy * dy;
    return static_cast<int>(truncChecked(std::sqrt(static_cast<double>(s))));
}

bool windowToolsApply(std::int32_t imageWidth, std::int32_t imageHeight) {
    return imageWidth >= 33 && imageHeight >= 33;
}

void clampClickPoint(std::int32_t& clickX, std::int32_t& clickY, std::int32_t imageWidth,
                     std::int32_t imageHeight) {
    if (clickX < 16) clickX = 16;
    if (clickY < 16) clickY = 16;
    if (clickX > imageWidth - 17) clickX = imageWidth - 17;
    if (clickY > imageHeight - 17) clickY = imageHeight - 17;
}

std::optional<int> thresholdFromClick(std::int32_t& clickX, std::int32_t& clickY,
                                      std::int32_t imageWidth, std::int32_t imageHeight) {
    if (!windowToolsApply(imageWidth, imageHeight)) return std::nullopt;
    clampClickPoint(clickX, clickY, imageWidth, imageHeight);
    const int sum = windowSum(clickX, clickY, 10);
    return 4 * sum / 441; // four times the mean: the field counts quarter grey levels
}

std::optional<bool> blackOnWhiteFromClick(std::int32_t& clickX, std::int32_t& clickY,
                                          std::int32_t imageWidth, std::int32_t imageHeight,
                                          const Box& box, bool opened) {
    if (!windowToolsApply(imageWidth, imageHeight)) return std::nullopt;
    clampClickPoint(clickX, clickY, imageWidth, imageHeight);

    // The direction from the click toward the inside: the box centre for a closed contour,
    // the chord's normal for an open one.
    double ux = 0, uy = 0;
    if (opened) {
        ux = static_cast<double>(box.y2 - box.y1);
        uy = static_cast<double>(box.x1 - box.x2);
    } else {
        const BoxCentre c = boxCentre(box);
        ux = static_cast<double>(c.x - clickX);
        uy = static_cast<double>(c.y - clickY);
    }
    // Scaled to length 5 in this order (m = 0.2·L, then u / m): for some axis-aligned
    // lengths this lands just below 5 and truncates to 4. A zero-length direction makes
    // 0 / 0, an invalid operation.
    const double length = std::sqrt(ux * ux + uy * uy);
    const double m = 0.2 * length;
    const double vx = divideChecked(ux, m), vy = divideChecked(uy, m);
    const std::int32_t tx = truncChecked(vx);
    const std::int32_t ty = truncChecked(vy);

    const int outside = windowSum(clickX - tx, clickY - ty, 5);
    const int inside = windowSum(clickX + tx, clickY + ty, 5);
    return !(inside > outside);
}

} // namespace orvik
