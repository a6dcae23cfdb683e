// The shared pieces of the list formats.
#include "io/list_common.h"

#include "grey_image.h"
#include "io/settings.h"

#include <algorithm>
#include <cmath>

namespace orvik {

bool withinOutlineRange(double x, double y) {
    return std::isfinite(x) && std::isfinite(y) && std::abs(x) <= kMaxOutlineCoordinate &&
           std::abs(y) <= kMaxOutlineCoordinate;
}

std::vector<const PictureObject*> objectsById(const std::vector<PictureObject>& objects) {
    std::vector<const PictureObject*> sorted;
    for (const PictureObject& object : objects)
        sorted.push_back(&object);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const PictureObject* a, const PictureObject* b) { return a->id < b->id; });
    return sorted;
}

namespace {

// The vertices Draw passes for these points: a ring from the last point round, a chain from
// the first.
std::vector<Vertex> verticesOf(const std::vector<ContourPoint>& points, bool closed) {
    std::vector<Vertex> vertices;
    // The readers refuse coordinates out of range; the clamp keeps the conversion defined
    // whatever reaches it.
    const auto whole = [](double v) {
        return static_cast<std::int32_t>(
            std::trunc(std::clamp(v, -kMaxOutlineCoordinate, kMaxOutlineCoordinate)));
    };
    const auto vertex = [&](const ContourPoint& p) { return Vertex{whole(p.x), whole(p.y)}; };
    if (closed && !points.empty()) vertices.push_back(vertex(points.back()));
    for (const ContourPoint& p : points)
        vertices.push_back(vertex(p));
    return vertices;
}

} // namespace

PictureObject outlineObject(int id, const std::vector<ContourPoint>& points, bool closed,
                            const QString& path) {
    PictureObject object;
    object.id = id;
    object.fromOutline = true;
    object.values.model = closed ? ModelChoice::Standard : ModelChoice::Opened;
    double x1 = points[0].x, y1 = points[0].y, x2 = x1, y2 = y1;
    for (const ContourPoint& p : points) {
        x1 = std::min(x1, p.x);
        y1 = std::min(y1, p.y);
        x2 = std::max(x2, p.x);
        y2 = std::max(y2, p.y);
    }
    const auto corner = [](double v) {
        return static_cast<int>(std::clamp(v, 0.0, double(MaxImageSide)));
    };
    setBox(object.values.fields, Box{corner(std::floor(x1)), corner(std::floor(y1)),
                                     corner(std::ceil(x2)), corner(std::ceil(y2))});
    ContourResult& r = object.result;
    r.context = runContext(path.toStdString(), 0, 0, object.values);
    r.closed = closed;
    r.contour = points;
    for (const ContourPoint& p : points)
        r.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y)});
    r.vertices = verticesOf(points, closed);
    return object;
}

void listFileError(const QString& kind, const QString& path, const QString& problem) {
    throw SettingsError(
        printable(QStringLiteral("%1 \"%2\" %3").arg(kind, path, problem)).toStdString());
}

void fixResolution(QImage& picture) {
    picture.setDotsPerMeterX(3780);
    picture.setDotsPerMeterY(3780);
}

} // namespace orvik
