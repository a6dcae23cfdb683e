// Splitting an object by a line and merging objects into one (see editing.h).
#include "checked_float.h"
#include "core/measurements.h"
#include "document/editing.h"
#include "document/find_objects.h"
#include "document/worker_pool.h"

#include <algorithm>
#include <cmath>
#include <queue>

namespace orvik {
namespace {

// The part of `polygon` on the side of the line a → b where the cross product has `sign`.
std::vector<ContourPoint> clipToSide(const std::vector<ContourPoint>& polygon, ContourPoint a,
                                     ContourPoint b, double sign) {
    const auto side = [&](const ContourPoint& p) {
        return sign * ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x));
    };
    std::vector<ContourPoint> out;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const ContourPoint& p = polygon[i];
        const ContourPoint& q = polygon[(i + 1) % n];
        const double sp = side(p), sq = side(q);
        if (sp >= 0) out.push_back(p);
        if ((sp >= 0) != (sq >= 0)) {
            const double t = sp / (sp - sq);
            out.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
        }
    }
    return out;
}

// An object seeded from the closed `outline` (as an outline read from a file is), added to the
// list; returns its id.
int addOutlineObject(Document& doc, const std::vector<ContourPoint>& outline,
                     const ControlValues& base) {
    const GreyImage& image = doc.image();
    const int id = doc.objects().add(seedValues(outlineRegion(image, outline, true, base), base));
    PictureObject& object = *doc.objects().find(id);
    object.fromOutline = true;
    ContourResult& r = object.result;
    r.context =
        runContext(doc.file().toStdString(), image.ImageWidth, image.ImageHeight, object.values);
    r.closed = true;
    r.contour = outline;
    for (const ContourPoint& p : outline)
        r.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y)});
    return id;
}

void analyseNew(Document& doc, const std::vector<int>& ids, int threads) {
    doc.listChanged();
    doc.analyseAll(threads, {}, [&](const PictureObject& o) {
        return std::find(ids.begin(), ids.end(), o.id) != ids.end();
    });
    doc.setCurrent(ids.front(), doc.objects().find(ids.front())->error);
}

std::vector<ContourPoint> convexHull(std::vector<ContourPoint> points) {
    std::sort(points.begin(), points.end(), [](const ContourPoint& a, const ContourPoint& b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
    if (points.size() < 3) return points;
    const auto cross = [](const ContourPoint& o, const ContourPoint& a, const ContourPoint& b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    std::vector<ContourPoint> hull(2 * points.size());
    std::size_t k = 0;
    for (const ContourPoint& p : points) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0)
            --k;
        hull[k++] = p;
    }
    for (std::size_t i = points.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    hull.resize(k - 1);
    return hull;
}

} // namespace

std::vector<int> splitObject(Document& doc, int id, double x1, double y1, double x2, double y2,
                             int threads) {
    const PictureObject* object = doc.objects().find(id);
    if (object == nullptr || !object->result.closed || object->result.contour.size() < 3 ||
        object->values.model == ModelChoice::Opened || (x1 == x2 && y1 == y2))
        return {};
    const ContourPoint a{x1, y1}, b{x2, y2};
    const std::vector<ContourPoint> parts[2] = {clipToSide(object->result.contour, a, b, 1.0),
                                                clipToSide(object->result.contour, a, b, -1.0)};
    const GreyImage& image = doc.image();
    for (const std::vector<ContourPoint>& part : parts)
        if (part.size() < 3 || outlineRegion(image, part, true, object->values).area < 1) return {};
    const ControlValues base = object->values;
    doc.objects().remove(id);
    std::vector<int> ids;
    for (const std::vector<ContourPoint>& part : parts)
        ids.push_back(addOutlineObject(doc, part, base));
    // The picture with the line drawn across it, three pixels wide, in the ground's grey: a
    // wall that keeps each part's contour on its own side, as the picture's ground does.
    const int width = image.ImageWidth, height = image.ImageHeight;
    GreyImage walled;
    walled.ImageWidth = width;
    walled.ImageHeight = height;
    const std::size_t size = std::size_t(width) * std::size_t(height);
    walled.GreyData = std::make_unique<std::uint8_t[]>(size);
    if (size > 0) std::copy_n(image.GreyData.get(), size, walled.GreyData.get());
    const std::uint8_t ground = base.blackOnWhite ? 255 : 0;
    const double length = std::hypot(x2 - x1, y2 - y1);
    const double reach = std::hypot(double(width), double(height)) + length;
    for (double t = -reach; t <= reach; t += 0.25) {
        const double x = x1 + (x2 - x1) * t / length, y = y1 + (y2 - y1) * t / length;
        const int px = static_cast<int>(std::floor(x)), py = static_cast<int>(std::floor(y));
        for (const auto& [dx, dy] : {std::pair{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}})
            if (px + dx >= 0 && py + dy >= 0 && px + dx < width && py + dy < height)
                walled.GreyData[std::size_t(py + dy) * std::size_t(width) + std::size_t(px + dx)] =
                    ground;
    }
    std::vector<PictureObject*> made;
    for (const int part : ids)
        made.push_back(doc.objects().find(part));
    std::vector<ObjectAnalysis> analyses(made.size());
    WorkerPool(threads).run(made.size(), [&](std::size_t i, StepScratch& scratch) {
        analyses[i] = analyseObject(walled, doc.file().toStdString(), *made[i], scratch);
    });
    for (std::size_t i = 0; i < made.size(); ++i) {
        made[i]->error = analyses[i].error;
        if (analyses[i].error.empty()) made[i]->result = std::move(analyses[i].result);
    }
    doc.listChanged();
    doc.setCurrent(ids.front(), made.front()->error);
    return ids;
}

int mergeObjects(Document& doc, const std::vector<int>& ids, int threads) {
    const GreyImage& image = doc.image();
    const int width = image.ImageWidth, height = image.ImageHeight;
    std::vector<const PictureObject*> merged;
    for (const int id : ids)
        if (const PictureObject* o = doc.objects().find(id);
            o != nullptr && o->result.closed && o->result.contour.size() >= 3 &&
            std::find(merged.begin(), merged.end(), o) == merged.end())
            merged.push_back(o);
    if (merged.size() < 2 || width < 1 || height < 1) return 0;
    std::vector<std::uint8_t> mask(std::size_t(width) * std::size_t(height), 0);
    std::vector<ContourPoint> all;
    for (const PictureObject* o : merged) {
        forEachInsideSpan(o->result.contour, width, height,
                          [&](std::int32_t row, std::int32_t first, std::int32_t last) {
                              std::fill(mask.begin() + std::ptrdiff_t(row) * width + first,
                                        mask.begin() + std::ptrdiff_t(row) * width + last + 1, 1);
                          });
        all.insert(all.end(), o->result.contour.begin(), o->result.contour.end());
    }
    std::size_t inside = 0;
    for (const std::uint8_t m : mask)
        inside += m;
    std::vector<ContourPoint> outline = maskOutline(mask, width, height);
    // The shoelace area of the traced border counts the largest piece: less than every pixel
    // inside means more than one piece (or a hole), and the pieces are joined by their hull.
    double twiceArea = 0;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const ContourPoint& p = outline[i];
        const ContourPoint& q = outline[(i + 1) % outline.size()];
        twiceArea += p.x * q.y - q.x * p.y;
    }
    if (outline.size() < 3 || std::fabs(twiceArea) / 2 < static_cast<double>(inside) - 0.5)
        outline = convexHull(all);
    const ControlValues base = merged.front()->values;
    std::vector<int> gone;
    for (const PictureObject* o : merged)
        gone.push_back(o->id);
    for (const int id : gone)
        doc.objects().remove(id);
    const int id = addOutlineObject(doc, outline, base);
    analyseNew(doc, {id}, threads);
    return id;
}

std::vector<ContourPoint> maskOutline(const std::vector<std::uint8_t>& mask, int width,
                                      int height) {
    if (width < 1 || height < 1 || mask.size() < std::size_t(width) * std::size_t(height))
        return {};
    // The largest 8-connected piece.
    std::vector<int> label(mask.size(), -1);
    int bestLabel = -1;
    std::size_t bestSize = 0, bestStart = 0;
    int next = 0;
    for (std::size_t s = 0; s < mask.size(); ++s) {
        if (mask[s] == 0 || label[s] >= 0) continue;
        std::size_t size = 0;
        std::queue<std::size_t> todo;
        todo.push(s);
        label[s] = next;
        while (!todo.empty()) {
            const std::size_t p = todo.front();
            todo.pop();
            ++size;
            const int px = static_cast<int>(p % std::size_t(width));
            const int py = static_cast<int>(p / std::size_t(width));
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int qx = px + dx, qy = py + dy;
                    if (qx < 0 || qy < 0 || qx >= width || qy >= height) continue;
                    const std::size_t q = std::size_t(qy) * std::size_t(width) + std::size_t(qx);
                    if (mask[q] == 0 || label[q] >= 0) continue;
                    label[q] = next;
                    todo.push(q);
                }
        }
        if (size > bestSize) {
            bestSize = size;
            bestLabel = next;
            bestStart = s; // the piece's first pixel in raster order
        }
        ++next;
    }
    if (bestLabel < 0) return {};
    const auto in = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < width && y < height &&
               label[std::size_t(y) * std::size_t(width) + std::size_t(x)] == bestLabel;
    };
    const auto floorHalf = [](int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); };
    // Along the pixels' edges with the piece on the right (y down), from the top-left corner
    // of its first pixel, heading east; at each corner turn left when the pixel ahead-left is
    // inside (a diagonal neighbour joins), go on when the one ahead-right is, else turn right.
    const int sx = static_cast<int>(bestStart % std::size_t(width));
    const int sy = static_cast<int>(bestStart / std::size_t(width));
    int x = sx, y = sy, dx = 1, dy = 0;
    std::vector<ContourPoint> out;
    const std::size_t limit = 4 * mask.size() + 8;
    for (std::size_t steps = 0; steps < limit; ++steps) {
        x += dx;
        y += dy;
        const int rx = -dy, ry = dx; // right of the heading
        const int lx = dy, ly = -dx;
        const bool aheadLeft = in(floorHalf(2 * x + dx + lx), floorHalf(2 * y + dy + ly));
        const bool aheadRight = in(floorHalf(2 * x + dx + rx), floorHalf(2 * y + dy + ry));
        int ndx = dx, ndy = dy;
        if (aheadLeft) {
            ndx = lx;
            ndy = ly;
        } else if (!aheadRight) {
            ndx = rx;
            ndy = ry;
        }
        if (ndx != dx || ndy != dy) out.push_back({double(x), double(y)});
        dx = ndx;
        dy = ndy;
        if (x == sx && y == sy && dx == 1 && dy == 0) break;
    }
    return out;
}

} // namespace orvik
