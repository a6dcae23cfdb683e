// Whether a contour crosses itself: the rule of the "self-crossing" flag.
#pragma once

#include "core/result.h"

#include <vector>

namespace orvik {

// True when two edges that are not neighbours cross properly: each one's ends lie strictly on
// either side of the other's line. Edge i runs from point i to the next one, the last back to
// the first when `closed`; for a chain the last point ends the last edge. Edges that only touch
// (at an end or through a vertex), overlap along a line, or have no length never count.
// A sweep over the edges, O(N log N) in the points.
bool crossesItself(const std::vector<ContourPoint>& points, bool closed);

} // namespace orvik
