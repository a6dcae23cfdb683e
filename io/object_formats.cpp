// Choosing, writing and reading the formats of a list of objects.
#include "io/object_formats.h"

#include "io/formats.h"
#include "io/json_text.h"
#include "io/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <new>

namespace orvik {

namespace {

// As much as a RoiSet may unpack to: a list file of more is no list of a picture's objects.
constexpr qint64 kObjectsFileLimit = 256 << 20;

} // namespace

const std::vector<ObjectsFormatInfo>& objectsFormats() {
    static const std::vector<ObjectsFormatInfo> table = [] {
        std::vector<ObjectsFormatInfo> rows;
        for (const FormatEntry& entry : formatTable())
            if (entry.list)
                rows.push_back({*entry.list, entry.key, entry.fileEnding, entry.filter});
        return rows;
    }();
    return table;
}

const ObjectsFormatInfo& objectsFormatInfo(ObjectsFormat format) {
    for (const ObjectsFormatInfo& info : objectsFormats())
        if (info.format == format) return info;
    return objectsFormats().front();
}

std::optional<ObjectsFormat> objectsFormatFromKey(const QString& key) {
    for (const ObjectsFormatInfo& info : objectsFormats())
        if (key == QLatin1String(info.key)) return info.format;
    return std::nullopt;
}

std::optional<ObjectsFormat> objectsFormatForPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) return ObjectsFormat::Labels;
    for (const ObjectsFormat format :
         {ObjectsFormat::RoiSet, ObjectsFormat::GeoJson, ObjectsFormat::Csv, ObjectsFormat::Json})
        if (QLatin1Char('.') + suffix == QLatin1String(objectsFormatInfo(format).fileEnding))
            return format;
    return std::nullopt;
}

QString objectsOutputPath(const QString& folder, const QString& imageFile, ObjectsFormat format) {
    const QString name = QFileInfo(imageFile).completeBaseName();
    return QDir(folder).filePath(name + QLatin1String(objectsFormatInfo(format).fileEnding));
}

QString pointsCsvPath(const QString& tablePath) {
    const QFileInfo info(tablePath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-points.csv"));
}

bool measuresObjects(ObjectsFormat format) {
    return format == ObjectsFormat::GeoJson || format == ObjectsFormat::Csv ||
           format == ObjectsFormat::Json;
}

QByteArray objectsBytes(ObjectsFormat format, const std::vector<PictureObject>& objects,
                        const GreyImage& image, int currentId, const QString& imageFile,
                        const PictureUnits& units, int frame) {
    return objectsBytes(format, objects,
                        measuresObjects(format) ? measureObjects(objects, image, units)
                                                : ListMeasurements(),
                        image, currentId, imageFile, units, frame);
}

QByteArray objectsBytes(ObjectsFormat format, const std::vector<PictureObject>& objects,
                        const ListMeasurements& measured, const GreyImage& image, int currentId,
                        const QString& imageFile, const PictureUnits& units, int frame) {
    switch (format) {
    case ObjectsFormat::RoiSet:
        return toRoiSet(objects, frame);
    case ObjectsFormat::GeoJson:
        return featureCollectionOf(objectFeatures(objects, measured, image, imageFile, frame));
    case ObjectsFormat::Csv:
        return bytesOf(measurementTable(objectRows(objects, measured, frame),
                                        {false, frame >= 0, unitsOf(units)}));
    case ObjectsFormat::Labels:
        return toLabelsPng(objects, image);
    case ObjectsFormat::Json:
        return toObjectsJson(objects, measured, image, imageFile, frame >= 0, frame);
    case ObjectsFormat::Overlay:
        break;
    }
    return toPng(objectsOverlay(objects, image, currentId));
}

std::vector<FileBytes> objectsFiles(ObjectsFormat format, const QString& path,
                                    const std::vector<PictureObject>& objects,
                                    const GreyImage& image, int currentId, const QString& imageFile,
                                    const PictureUnits& units, int frame) {
    return objectsFiles(format, path, objects,
                        measuresObjects(format) ? measureObjects(objects, image, units)
                                                : ListMeasurements(),
                        image, currentId, imageFile, units, frame);
}

std::vector<FileBytes> objectsFiles(ObjectsFormat format, const QString& path,
                                    const std::vector<PictureObject>& objects,
                                    const ListMeasurements& measured, const GreyImage& image,
                                    int currentId, const QString& imageFile,
                                    const PictureUnits& units, int frame) {
    // Every file's bytes are made before any is written: a list the format cannot hold
    // leaves no file changed.
    std::vector<FileBytes> files;
    try {
        files.push_back({path, objectsBytes(format, objects, measured, image, currentId, imageFile,
                                            units, frame)});
    } catch (const ResultFileError& e) {
        throw ResultFileError(
            QStringLiteral("Cannot save \"%1\": %2").arg(path, e.what()).toStdString());
    }
    if (format == ObjectsFormat::Csv)
        files.push_back({pointsCsvPath(path), objectPointsCsv(objects, frame)});
    return files;
}

void saveObjects(ObjectsFormat format, const QString& path,
                 const std::vector<PictureObject>& objects, const GreyImage& image, int currentId,
                 const QString& imageFile, const PictureUnits& units, int frame) {
    saveFiles(objectsFiles(format, path, objects, image, currentId, imageFile, units, frame));
}

std::vector<PictureObject> parseObjects(const QByteArray& bytes, const QString& path) {
    if (bytes.startsWith("PK")) return objectsOfRoiSet(bytes, path);
    // A FeatureCollection is one JSON object whose "type" says so.
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (document.isObject() &&
        document.object().value(QLatin1String("type")) == QLatin1String("FeatureCollection"))
        return objectsOfFeatureCollection(document.object(), path);
    return objectsOfJson(bytes, path);
}

std::vector<PictureObject> readObjects(const QString& path) {
    try {
        return parseObjects(
            readBoundedFile(QStringLiteral("objects file"), path, kObjectsFileLimit), path);
    } catch (const std::bad_alloc&) {
        throw SettingsError(
            printable(QStringLiteral("Not enough memory to read objects file \"%1\"").arg(path))
                .toStdString());
    }
}

} // namespace orvik
