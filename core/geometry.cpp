// The outline of a level of the contour model and a polygon's centroid.
#include "core/geometry.h"

namespace orvik {

std::vector<ContourPoint> levelOutline(const KONTUR& k, std::int32_t level) {
    std::vector<ContourPoint> outline;
    outline.reserve(static_cast<std::size_t>(std::max(k.PointCount, 0)));
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        if (k.ModelKind == 1) {
            const float r = pointX(k, i, level); // model 1 keeps the radius in the x slot
            const Direction d = pointDirection(i, k.PointCount);
            outline.push_back({static_cast<double>(r) * d.cos + k.CenterX,
                               static_cast<double>(r) * d.sin + k.CenterY});
        } else {
            outline.push_back({pointX(k, i, level), pointY(k, i, level)});
        }
    }
    return outline;
}

ContourPoint polygonCentroid(const std::vector<ContourPoint>& p) {
    const std::size_t n = p.size();
    if (n == 0) return {};
    const double ox = p[0].x, oy = p[0].y;
    double twiceArea = 0, cx = 0, cy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const ContourPoint& a = p[i];
        const ContourPoint& b = p[(i + 1) % n];
        const double ax = a.x - ox, ay = a.y - oy, bx = b.x - ox, by = b.y - oy;
        const double cross = ax * by - bx * ay;
        twiceArea += cross;
        cx += (ax + bx) * cross;
        cy += (ay + by) * cross;
    }
    if (twiceArea != 0) return {ox + cx / (3 * twiceArea), oy + cy / (3 * twiceArea)};
    double sx = 0, sy = 0;
    for (const ContourPoint& q : p) {
        sx += q.x;
        sy += q.y;
    }
    return {sx / static_cast<double>(n), sy / static_cast<double>(n)};
}

} // namespace orvik
