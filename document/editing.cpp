// Correcting a contour by hand (see editing.h).
#include "document/editing.h"

#include "checked_float.h"
#include "core/measurements.h"
#include "document/find_objects.h"
#include "document/follow.h"
#include "step_constants.h"

#include <algorithm>
#include <cmath>

namespace orvik {

bool loadContour(KONTUR& k, const ControlValues& values, const ContourResult& from,
                 const std::vector<std::int32_t>& pinned) {
    applyInit(k, analysisArguments(values));
    const bool centre = values.model == ModelChoice::CenterPoint;
    const std::size_t count = centre ? from.radii.size() : from.points.size();
    if (k.PointCount < 1 || count != static_cast<std::size_t>(k.PointCount)) return false;
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        for (const std::int32_t level : {0, 1}) {
            if (centre) {
                pointX(k, i, level) = from.radii[at];
            } else {
                pointX(k, i, level) = from.points[at].x;
                pointY(k, i, level) = from.points[at].y;
            }
        }
    }
    for (const std::int32_t i : pinned)
        if (i >= 0 && i < k.PointCount) k.Pinned.push_back(i);
    std::sort(k.Pinned.begin(), k.Pinned.end());
    k.Pinned.erase(std::unique(k.Pinned.begin(), k.Pinned.end()), k.Pinned.end());
    return true;
}

void relaxContour(KONTUR& k, StepScratch& scratch, const ControlValues& values,
                  const ContourResult& from, const std::vector<std::int32_t>& pinned) {
    if (!loadContour(k, values, from, pinned)) {
        analyseFromOutline(k, scratch, values, from.contour);
        return;
    }
    Run(k, scratch);
}

namespace {

// The object's result remade from a model holding its new points: vertices and contour as an
// analysis would capture them.
void reshape(PictureObject& object, const std::vector<float>& radii,
             const std::vector<FloatPoint>& points) {
    ContourResult from = object.result;
    from.radii = radii;
    from.points = points;
    KONTUR k;
    if (!loadContour(k, object.values, from, {})) return;
    k.Iteration = object.result.iteration; // both levels hold the new points
    object.result = captureResult(k, object.result.context);
    object.edited = true;
}

bool isPointOf(const PictureObject& object, int index) {
    const std::size_t count = object.values.model == ModelChoice::CenterPoint
                                  ? object.result.radii.size()
                                  : object.result.points.size();
    return index >= 0 && static_cast<std::size_t>(index) < count;
}

ContourPoint centreOf(const ControlValues& values) {
    const InitArguments a = analysisArguments(values);
    return {static_cast<float>((static_cast<double>(a.x1) + a.x2) * 0.5),
            static_cast<float>((static_cast<double>(a.y1) + a.y2) * 0.5)};
}

} // namespace

std::vector<ContourPoint> contourPoints(const PictureObject& object) {
    const ContourResult& r = object.result;
    std::vector<ContourPoint> out;
    if (object.values.model == ModelChoice::CenterPoint) {
        const ContourPoint c = centreOf(object.values);
        const auto n = static_cast<std::int32_t>(r.radii.size());
        for (std::int32_t i = 0; i < n; ++i) {
            const Direction d = pointDirection(i, n);
            out.push_back({c.x + r.radii[std::size_t(i)] * static_cast<double>(d.cos),
                           c.y + r.radii[std::size_t(i)] * static_cast<double>(d.sin)});
        }
        return out;
    }
    for (const FloatPoint& p : r.points)
        out.push_back({p.x, p.y});
    return out;
}

int pointNear(const PictureObject& object, double x, double y, double reach) {
    const std::vector<ContourPoint> points = contourPoints(object);
    int best = -1;
    double bestDistance = reach;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double d = std::hypot(points[i].x - x, points[i].y - y);
        if (d <= bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

namespace {

// The radius of model 1's point `i` of `n` whose position would be (x, y): the distance from
// the centre along its direction, held to the radii a step allows.
float radiusToward(const ControlValues& values, std::int32_t i, std::int32_t n, double x,
                   double y) {
    const ContourPoint c = centreOf(values);
    const Direction d = pointDirection(i, n);
    const double along = (x - c.x) * d.cos + (y - c.y) * d.sin;
    return static_cast<float>(std::clamp(along, double(kFloor), double(kMaxRadius)));
}

// Moves the points `moved` says to, given the old positions; returns how many moved.
void placePoints(PictureObject& object, const std::vector<ContourPoint>& positions,
                 const std::vector<int>& moved) {
    std::vector<float> radii = object.result.radii;
    std::vector<FloatPoint> points = object.result.points;
    const auto n = static_cast<std::int32_t>(positions.size());
    for (const int i : moved) {
        const ContourPoint& p = positions[std::size_t(i)];
        if (object.values.model == ModelChoice::CenterPoint)
            radii[std::size_t(i)] = radiusToward(object.values, i, n, p.x, p.y);
        else
            points[std::size_t(i)] = {static_cast<float>(p.x), static_cast<float>(p.y)};
    }
    reshape(object, radii, points);
}

} // namespace

bool movePoint(PictureObject& object, int index, double x, double y) {
    if (!isPointOf(object, index)) return false;
    std::vector<ContourPoint> positions = contourPoints(object);
    positions[std::size_t(index)] = {x, y};
    placePoints(object, positions, {index});
    if (std::find(object.pinned.begin(), object.pinned.end(), index) == object.pinned.end()) {
        object.pinned.push_back(index);
        std::sort(object.pinned.begin(), object.pinned.end());
    }
    object.edited = true;
    return true;
}

bool togglePin(PictureObject& object, int index) {
    if (!isPointOf(object, index)) return false;
    const auto it = std::find(object.pinned.begin(), object.pinned.end(), index);
    if (it != object.pinned.end()) {
        object.pinned.erase(it);
    } else {
        object.pinned.push_back(index);
        std::sort(object.pinned.begin(), object.pinned.end());
    }
    object.edited = true;
    return true;
}

int pushOutline(PictureObject& object, double x, double y, double radius) {
    std::vector<ContourPoint> positions = contourPoints(object);
    std::vector<int> moved;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const int index = static_cast<int>(i);
        if (std::find(object.pinned.begin(), object.pinned.end(), index) != object.pinned.end())
            continue;
        ContourPoint& p = positions[i];
        const double dx = p.x - x, dy = p.y - y;
        const double d = std::hypot(dx, dy);
        if (d >= radius) continue;
        // A point on the centre itself goes out along the outline's normal-free default: up.
        const double ux = d > 1e-9 ? dx / d : 0.0, uy = d > 1e-9 ? dy / d : -1.0;
        p = {x + ux * radius, y + uy * radius};
        moved.push_back(index);
    }
    if (!moved.empty()) placePoints(object, positions, moved);
    return static_cast<int>(moved.size());
}

void keepEdit(Document& doc, int id) {
    if (const PictureObject* object = doc.objects().find(id)) {
        const ContourResult result = object->result;
        doc.keepResult(id, result, {});
    }
    doc.listChanged();
}

int followFromFrame(Document& doc, int threads) {
    const int k = doc.frame();
    const int count = doc.frameCount() - k - 1;
    if (count < 1) return 0;
    // Each object starts on the next frame from its outline here, its box around it.
    std::vector<PictureObject> here = doc.objectsOn(k);
    std::erase_if(here, [](const PictureObject& o) {
        return o.result.contour.size() < 3 || !o.error.empty();
    });
    std::vector<PictureObject> starts = here;
    for (PictureObject& o : starts) {
        double x1 = o.result.contour[0].x, y1 = o.result.contour[0].y, x2 = x1, y2 = y1;
        for (const ContourPoint& p : o.result.contour) {
            x1 = std::min(x1, p.x);
            y1 = std::min(y1, p.y);
            x2 = std::max(x2, p.x);
            y2 = std::max(y2, p.y);
        }
        setBox(o.values.fields,
               Box{static_cast<int>(std::floor(x1)), static_cast<int>(std::floor(y1)),
                   static_cast<int>(std::ceil(x2)), static_cast<int>(std::ceil(y2))});
        o.fromOutline = true;
    }
    FollowOutcome outcome = followObjects(
        starts, [&doc](int f) { return doc.frameImage(f); }, k + 1, count, doc.file().toStdString(),
        threads);
    std::vector<Track> tracks = doc.tracks() != nullptr ? *doc.tracks() : std::vector<Track>{};
    for (std::size_t i = 0; i < here.size(); ++i) {
        Track& next = outcome.tracks[i];
        auto old = std::find_if(tracks.begin(), tracks.end(),
                                [&](const Track& t) { return t.id == here[i].id; });
        if (old == tracks.end()) {
            tracks.push_back({here[i].id, here[i].values, k, {}, {}});
            old = tracks.end() - 1;
        }
        if (old->firstFrame > k) {
            old->firstFrame = k;
            old->frames.clear();
        }
        // The frames up to this one as they were, this one as it is now, then the new ones.
        const int kept = std::clamp(k - old->firstFrame, 0, static_cast<int>(old->frames.size()));
        old->frames.resize(static_cast<std::size_t>(kept));
        if (old->firstFrame + kept == k) old->frames.push_back(here[i].result);
        for (ContourResult& r : next.frames)
            old->frames.push_back(std::move(r));
        old->error = next.error;
    }
    doc.setTracks(std::move(tracks));
    doc.listChanged();
    return outcome.framesDone;
}

bool relaxObject(Document& doc, int id) {
    PictureObject* object = doc.objects().find(id);
    if (object == nullptr || object->result.contour.empty()) return false;
    const GreyImage& image = doc.image();
    const ImageBindingScope binding(image, object->values.blackOnWhite);
    KONTUR k;
    StepScratch scratch;
    std::string error;
    try {
        relaxContour(k, scratch, object->values, object->result, object->pinned);
    } catch (const FloatingPointError& e) {
        error = e.what();
    }
    ContourResult result = captureResult(
        k,
        runContext(doc.file().toStdString(), image.ImageWidth, image.ImageHeight, object->values),
        error);
    object->edited = true;
    doc.keepResult(id, result, error);
    doc.listChanged();
    if (doc.currentId() == id) doc.setCurrentError(error);
    return true;
}

} // namespace orvik
