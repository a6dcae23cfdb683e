// GeoJSON FeatureCollections of objects, written and read.
#include "io/feature_collection.h"

#include "io/json_text.h"
#include "io/list_common.h"
#include "io/measurement_table.h"
#include "io/settings.h"

#include <QJsonArray>
#include <cmath>
#include <functional>
#include <optional>
#include <set>

namespace orvik {

std::string objectFeatures(const std::vector<PictureObject>& objects, const GreyImage& image,
                           const QString& imageFile, const PictureUnits& units, int frame) {
    return objectFeatures(objects, measureObjects(objects, image, units), image, imageFile, frame);
}

std::string objectFeatures(const std::vector<PictureObject>& objects,
                           const ListMeasurements& measured, const GreyImage& image,
                           const QString& imageFile, int frame) {
    const std::string f = frame >= 0 ? "\"frame\": " + std::to_string(frame) + ", " : "";
    std::string json;
    for (const PictureObject* object : objectsById(objects)) {
        const std::string id = std::to_string(object->id);
        json +=
            (json.empty() ? "\n" : ",\n") +
            featureJson(object->result, measurementOf(measured, objects, object),
                        runContext(imageFile.toStdString(), image.ImageWidth, image.ImageHeight,
                                   object->values),
                        object->id,
                        "\"name\": \"Object " + id + "\", \"objectType\": \"annotation\", " + f);
    }
    return json;
}

QByteArray featureCollectionOf(const std::string& features) {
    return bytesOf("{\"type\": \"FeatureCollection\", \"features\": [" + features + "]}\n");
}

QByteArray toFeatureCollection(const std::vector<PictureObject>& objects, const GreyImage& image,
                               const QString& imageFile, const PictureUnits& units, int frame) {
    return featureCollectionOf(objectFeatures(objects, image, imageFile, units, frame));
}

namespace {

// More points than any outline of a picture needs.
constexpr qsizetype kMaxOutlinePoints = 1 << 20;

struct FeatureOutline {
    std::optional<int> id;
    bool closed = true;
    std::vector<ContourPoint> points;
};

// [x, y] positions, each finite; `what` names them in the errors.
std::vector<ContourPoint> positions(const QJsonValue& value,
                                    const std::function<void(const QString&)>& fail) {
    if (!value.isArray()) fail(QStringLiteral("its coordinates are not an array"));
    const QJsonArray array = value.toArray();
    if (array.size() > kMaxOutlinePoints) fail(QStringLiteral("it has too many points"));
    std::vector<ContourPoint> points;
    for (const QJsonValue& position : array) {
        const QJsonArray xy = position.toArray();
        if (!position.isArray() || xy.size() < 2 || !xy[0].isDouble() || !xy[1].isDouble())
            fail(QStringLiteral("a position is not [x, y]"));
        const ContourPoint p{xy[0].toDouble(), xy[1].toDouble()};
        if (!withinOutlineRange(p.x, p.y))
            fail(QStringLiteral("a position is not a number within %1 pixels of the picture's "
                                "corner")
                     .arg(kMaxOutlineCoordinate, 0, 'f', 0));
        points.push_back(p);
    }
    return points;
}

} // namespace

std::vector<PictureObject> objectsOfFeatureCollection(const QJsonObject& root,
                                                      const QString& path) {
    const QJsonValue features = root.value(QLatin1String("features"));
    if (!features.isArray())
        listFileError(QStringLiteral("GeoJSON file"), path,
                      QStringLiteral("has no array \"features\""));
    std::vector<FeatureOutline> outlines;
    const QJsonArray array = features.toArray();
    if (array.size() > kMaxListObjects)
        listFileError(QStringLiteral("GeoJSON file"), path,
                      QStringLiteral("holds %1 features, more than the %2 a list may hold")
                          .arg(array.size())
                          .arg(kMaxListObjects));
    for (qsizetype i = 0; i < array.size(); ++i) {
        const std::function<void(const QString&)> fail = [&](const QString& problem) {
            listFileError(QStringLiteral("GeoJSON file"), path,
                          QStringLiteral("feature %1: %2").arg(i).arg(problem));
        };
        const QJsonObject feature = array[i].toObject();
        if (!array[i].isObject()) fail(QStringLiteral("not an object"));
        const QJsonValue geometry = feature.value(QLatin1String("geometry"));
        if (geometry.isNull() || geometry.isUndefined()) continue; // no outline to keep
        const QString type = geometry.toObject().value(QLatin1String("type")).toString();
        const QJsonValue coordinates = geometry.toObject().value(QLatin1String("coordinates"));
        FeatureOutline outline;
        if (type == QLatin1String("Polygon")) {
            // The outer ring; GeoJSON repeats its first position at its end.
            const QJsonArray rings = coordinates.toArray();
            if (rings.isEmpty()) fail(QStringLiteral("its polygon has no ring"));
            outline.points = positions(rings[0], fail);
            if (outline.points.size() > 1 && outline.points.front() == outline.points.back())
                outline.points.pop_back();
            if (outline.points.size() < 3) fail(QStringLiteral("its ring has fewer than 3 points"));
        } else if (type == QLatin1String("LineString")) {
            outline.closed = false;
            outline.points = positions(coordinates, fail);
            if (outline.points.size() < 2) fail(QStringLiteral("its line has fewer than 2 points"));
        } else {
            fail(QStringLiteral("a geometry of type \"%1\"; only Polygon and LineString are read")
                     .arg(type));
        }
        const QJsonValue id = feature.value(QLatin1String("id"));
        const double number = id.toDouble();
        if (id.isDouble() && number >= 1 && number <= kMaxObjectId && std::floor(number) == number)
            outline.id = static_cast<int>(number);
        outlines.push_back(std::move(outline));
    }
    if (outlines.empty())
        listFileError(QStringLiteral("GeoJSON file"), path, QStringLiteral("holds no outline"));
    std::set<int> ids;
    for (const FeatureOutline& outline : outlines)
        if (outline.id) ids.insert(*outline.id);
    const bool ownIds = ids.size() == outlines.size();
    std::vector<PictureObject> objects;
    for (const FeatureOutline& outline : outlines)
        objects.push_back(outlineObject(ownIds ? *outline.id : static_cast<int>(objects.size()) + 1,
                                        outline.points, outline.closed, path));
    return objects;
}

} // namespace orvik
