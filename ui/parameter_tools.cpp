// Placeholder until the tools' arithmetic lands.
#include "parameter_tools.h"

namespace orvik {
BoxCentre boxCentre(const Box& box) {
    return {(box.x1 + box.x2) / 2, (box.y1 + box.y2) / 2};
}
int radiusFromClick(const Box&, std::int32_t, std::int32_t) {
    return 0;
}
bool windowToolsApply(std::int32_t w, std::int32_t h) {
    return w >= 33 && h >= 33;
}
void clampClickPoint(std::int32_t&, std::int32_t&, std::int32_t, std::int32_t) {}
std::optional<int> thresholdFromClick(std::int32_t&, std::int32_t&, std::int32_t, std::int32_t) {
    return std::nullopt;
}
std::optional<bool> blackOnWhiteFromClick(std::int32_t&, std::int32_t&, std::int32_t, std::int32_t,
                                          const Box&, bool) {
    return std::nullopt;
}
} // namespace orvik
