// The Orvik JSON of a list of objects, written and read.
#include "io/objects_json.h"

#include "core/commands.h"
#include "io/json_text.h"
#include "io/list_common.h"
#include "io/measurement_table.h"
#include "io/settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>
#include <set>

namespace orvik {

namespace {

// The neighbours an object still overlaps ("overlap" among its flags), by id.
std::string overlapsMember(const PictureObject& object) {
    if (object.overlapping.empty()) return {};
    std::string ids;
    for (const int id : object.overlapping)
        ids += (ids.empty() ? "" : ", ") + std::to_string(id);
    return ", \"overlaps\": [" + ids + "]";
}

// Followed with detection: the track it divided from, and why its track ended.
std::string trackMembers(const PictureObject& object) {
    return (object.parent != 0 ? ", \"parent\": " + std::to_string(object.parent) : "") +
           (object.ended.empty() ? "" : ", \"ended\": " + quoted(object.ended));
}

// A contour corrected by hand: "edited" and its pinned points' indices; nothing otherwise.
std::string editedMember(const PictureObject& object) {
    if (!object.edited) return {};
    std::string ids;
    for (const std::int32_t i : object.pinned)
        ids += (ids.empty() ? "" : ", ") + std::to_string(i);
    return ", \"edited\": true, \"pinned\": [" + ids + "]";
}

} // namespace

std::string objectJsonText(const PictureObject& object, const Measurements& m) {
    const ControlValues& v = object.values;
    const Box box = boxOf(v.fields);
    const ContourResult& r = object.result;
    return "{\"id\": " + std::to_string(object.id) + ", \"model\": \"" + modelKey(v.model) +
           "\", \"object\": \"" + polarityKey(v.blackOnWhite) + "\", \"box\": [" +
           std::to_string(box.x1) + ", " + std::to_string(box.y1) + ", " + std::to_string(box.x2) +
           ", " + std::to_string(box.y2) + "], \"fields\": " + fieldsObject(v.fields) +
           ", \"iteration\": " + std::to_string(r.iteration) + ", \"points\": " + pointsArray(r) +
           ", \"vertices\": " + verticesArray(r) +
           ", \"measurements\": " + measurementsObject(m, r) + overlapsMember(object) +
           trackMembers(object) + editedMember(object) +
           ", \"error\": " + (object.error.empty() ? "null" : quoted(object.error)) + "}";
}

std::string objectsJsonOf(const std::vector<PictureObject>& objects,
                          const std::vector<std::string>& texts, const GreyImage& image,
                          const QString& imageFile, bool oneLine, int frame) {
    const std::string next = oneLine ? ", " : ",\n ";
    std::string json = "{\"file\": " + quoted(imageFile.toStdString()) +
                       (frame >= 0 ? ", \"frame\": " + std::to_string(frame) : "") +
                       ", \"width\": " + std::to_string(image.ImageWidth) +
                       ", \"height\": " + std::to_string(image.ImageHeight) +
                       ", \"count\": " + std::to_string(objects.size()) + ", \"objects\": [";
    bool first = true;
    for (const PictureObject* object : objectsById(objects)) {
        json += (first ? "" : next) + texts[static_cast<std::size_t>(object - objects.data())];
        first = false;
    }
    return json + "], \"error\": null}\n";
}

QByteArray toObjectsJson(const std::vector<PictureObject>& objects, const GreyImage& image,
                         const QString& imageFile, bool oneLine, const PictureUnits& units,
                         int frame) {
    return toObjectsJson(objects, measureObjects(objects, image, units), image, imageFile, oneLine,
                         frame);
}

QByteArray toObjectsJson(const std::vector<PictureObject>& objects,
                         const ListMeasurements& measured, const GreyImage& image,
                         const QString& imageFile, bool oneLine, int frame) {
    std::vector<std::string> texts;
    texts.reserve(objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i)
        texts.push_back(objectJsonText(objects[i], measured[i]));
    return bytesOf(objectsJsonOf(objects, texts, image, imageFile, oneLine, frame));
}

namespace {

// A saved coordinate as the float the model stored; none for null (a diverged contour's).
std::optional<float> savedFloat(const SettingsSource& source, const QJsonValue& value,
                                const QString& key) {
    if (value.isNull()) return std::nullopt;
    const double v = value.toDouble();
    if (!value.isDouble() || !std::isfinite(v) || std::abs(v) > FLT_MAX)
        failSetting(source, key, QStringLiteral("not a number within the float range"));
    return static_cast<float>(v);
}

// The object's saved contour as its analysis left it: Init's geometry for its settings, the
// saved points in both levels of the buffer at the saved iteration. None when the object
// saved no points, or a point that is no finite number.
std::optional<ContourResult> savedResult(const QJsonObject& json, const SettingsSource& source,
                                         const ControlValues& values) {
    const QJsonValue list = json.value(QLatin1String("points"));
    if (list.isUndefined()) return std::nullopt;
    if (!list.isArray())
        failSetting(source, QStringLiteral("points"), QStringLiteral("not an array"));
    const QJsonArray points = list.toArray();
    if (points.isEmpty()) return std::nullopt;
    const int n = at(values.fields, Field::Points);
    if (points.size() != n)
        failSetting(source, QStringLiteral("points"),
                    QStringLiteral("%1 points, not the %2 of the field \"points\"")
                        .arg(points.size())
                        .arg(n));
    const bool radii = values.model == ModelChoice::CenterPoint;
    KONTUR k;
    previewContour(k, values);
    if (json.contains(QLatin1String("iteration")))
        k.Iteration = wholeSetting(source, json.value(QLatin1String("iteration")),
                                   QStringLiteral("iteration"), 0, INT32_MAX);
    for (int i = 0; i < n; ++i) {
        const QString key = QStringLiteral("points[%1]").arg(i);
        const QJsonArray point = points[i].toArray();
        if (!points[i].isArray() || point.size() != (radii ? 1 : 2))
            failSetting(source, key,
                        radii ? QStringLiteral("not [r]") : QStringLiteral("not [x, y]"));
        const std::optional<float> x = savedFloat(source, point[0], key);
        const std::optional<float> y = radii ? x : savedFloat(source, point[1], key);
        if (!x || !y) return std::nullopt;
        for (const std::int32_t level : {0, 1}) {
            pointX(k, i, level) = *x;
            pointY(k, i, level) = *y;
        }
    }
    return captureResult(k, runContext({}, 0, 0, values));
}

// "edited" and "pinned" (indices of the object's points), as editedMember writes them.
void readEdited(const QJsonObject& json, const SettingsSource& source, PictureObject& object) {
    const QJsonValue edited = json.value(QLatin1String("edited"));
    if (edited.isUndefined()) return;
    if (!edited.isBool())
        failSetting(source, QStringLiteral("edited"), QStringLiteral("neither true nor false"));
    object.edited = edited.toBool();
    const QJsonValue pinned = json.value(QLatin1String("pinned"));
    if (pinned.isUndefined()) return;
    if (!pinned.isArray())
        failSetting(source, QStringLiteral("pinned"), QStringLiteral("not an array"));
    const int n = at(object.values.fields, Field::Points);
    for (const QJsonValue& index : pinned.toArray())
        object.pinned.push_back(
            wholeSetting(source, index, QStringLiteral("pinned"), 0, std::max(n - 1, 0)));
    std::sort(object.pinned.begin(), object.pinned.end());
    object.pinned.erase(std::unique(object.pinned.begin(), object.pinned.end()),
                        object.pinned.end());
}

PictureObject objectOfJson(const QJsonObject& json, const SettingsSource& source,
                           std::optional<int> id) {
    if (json.contains(QLatin1String("id")))
        id = wholeSetting(source, json.value(QLatin1String("id")), QStringLiteral("id"), 1,
                          kMaxObjectId);
    if (!id) failSetting(source, QStringLiteral("id"), QStringLiteral("missing"));
    const Settings settings = settingsFromJson(json, source);
    if (!settings.box)
        failSetting(source, QStringLiteral("box"),
                    QStringLiteral("missing (neither \"box\" nor the four box fields)"));
    PictureObject object;
    object.id = *id;
    object.values = applySettings(settings, ControlValues{});
    if (json.value(QLatin1String("error")).isString())
        object.error = json.value(QLatin1String("error")).toString().toStdString();
    if (std::optional<ContourResult> saved = savedResult(json, source, object.values))
        object.result = std::move(*saved);
    readEdited(json, source, object);
    return object;
}

} // namespace

std::vector<PictureObject> objectsOfJson(const QByteArray& bytes, const QString& path) {
    const QString kind = QStringLiteral("Objects file");
    QJsonParseError parseError{};
    QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    // A stack's list holds a line per frame: the first frame's objects are where they start.
    if (parseError.error == QJsonParseError::GarbageAtEnd)
        document = QJsonDocument::fromJson(bytes.left(parseError.offset), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        listFileError(kind, path,
                      QStringLiteral("is neither JSON nor an ImageJ RoiSet: %1 at byte %2")
                          .arg(parseError.errorString())
                          .arg(parseError.offset));
    if (!document.isObject())
        listFileError(kind, path, QStringLiteral("does not hold a JSON object"));
    const QJsonObject root = document.object();
    const SettingsSource file{kind, path, {}};
    if (!root.contains(QLatin1String("objects"))) {
        // A single result: its settings as one object.
        if (root.value(QLatin1String("error")).isString() && !root.contains(QLatin1String("box")))
            listFileError(kind, path,
                          QStringLiteral("holds an image that could not be read, and no "
                                         "objects"));
        return {objectOfJson(root, file, 1)};
    }
    const QJsonValue list = root.value(QLatin1String("objects"));
    if (!list.isArray())
        failSetting(file, QStringLiteral("objects"), QStringLiteral("not an array"));
    const QJsonArray array = list.toArray();
    if (array.size() > kMaxListObjects)
        failSetting(file, QStringLiteral("objects"),
                    QStringLiteral("%1 objects, more than the %2 a list may hold")
                        .arg(array.size())
                        .arg(kMaxListObjects));
    if (root.contains(QLatin1String("count")) &&
        wholeSetting(file, root.value(QLatin1String("count")), QStringLiteral("count"), 0,
                     kMaxObjectId) != array.size())
        failSetting(file, QStringLiteral("count"),
                    QStringLiteral("%1 objects are listed, not %2")
                        .arg(array.size())
                        .arg(root.value(QLatin1String("count")).toInt()));
    std::vector<PictureObject> objects;
    std::set<int> ids;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const SettingsSource source{kind, path, QStringLiteral("objects[%1].").arg(i)};
        if (!array[i].isObject())
            failSetting(file, QStringLiteral("objects[%1]").arg(i),
                        QStringLiteral("not an object"));
        PictureObject object = objectOfJson(array[i].toObject(), source, std::nullopt);
        if (!ids.insert(object.id).second)
            failSetting(source, QStringLiteral("id"),
                        QStringLiteral("%1 is the id of an earlier object").arg(object.id));
        objects.push_back(std::move(object));
    }
    return objects;
}

} // namespace orvik
