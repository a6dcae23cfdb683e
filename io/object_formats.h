// The formats of a picture's objects: an ImageJ RoiSet, a GeoJSON FeatureCollection, a
// measurements table with the points beside it, a 16-bit labels picture, the Orvik JSON of
// the list and the overlay of every outline; and reading a saved list (Orvik JSON or
// RoiSet) back. The window's "Save objects as…" and orvik-cli's --save write the same bytes.
#pragma once

#include "core/measurements.h"
#include "core/picture_object.h"
#include "core/picture_units.h"
#include "grey_image.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

enum class ObjectsFormat { RoiSet, GeoJson, Csv, Labels, Json, Overlay };

struct ObjectsFormatInfo {
    ObjectsFormat format;
    const char* key;        // orvik-cli's --save name: "roiset"
    const char* fileEnding; // what --save appends to the image's base name: ".zip"
    const char* filter;     // a file dialog's filter: "ImageJ RoiSet (*.zip)"
};
const std::vector<ObjectsFormatInfo>& objectsFormats();
const ObjectsFormatInfo& objectsFormatInfo(ObjectsFormat format);
std::optional<ObjectsFormat> objectsFormatFromKey(const QString& key);
// "Save objects as…" chooses by the file name's ending: .zip, .geojson, .csv, .json, and
// .png for the labels (the overlay is saved by its own command).
std::optional<ObjectsFormat> objectsFormatForPath(const QString& path);
// DIR/NAME.zip, DIR/NAME-labels.png, ...: NAME is the image file's name without its extension.
QString objectsOutputPath(const QString& folder, const QString& imageFile, ObjectsFormat format);
// The csv format's second file: the points beside the table, "cells.csv" -> "cells-points.csv".
QString pointsCsvPath(const QString& tablePath);

// The measurements of an object's shown result: its last good contour on `image`, flagged
// "failed" when its last analysis failed, in the picture's `units` too.
Measurements measureObject(const PictureObject& object, const GreyImage& image,
                           const PictureUnits& units = {});

// The measurement table's columns after the id, and an object's cells in them: every key of
// a closed and of an open contour, the flags last, separated by spaces. A value that does not
// apply is empty.
std::string measurementsHeader();
std::string measurementsRow(const Measurements& m, const ContourResult& result);
// A CSV cell: quoted when it holds a comma, a quote or a line break.
std::string csvCell(const std::string& text);

// The bytes of `format` for `objects` on `image`, which was read from `imageFile`; the
// overlay draws `currentId`'s outline in red, the others in yellow. For Csv the table; its
// points come from objectPointsCsv.
QByteArray objectsBytes(ObjectsFormat format, const std::vector<PictureObject>& objects,
                        const GreyImage& image, int currentId, const QString& imageFile,
                        const PictureUnits& units = {});

QByteArray toRoiSet(const std::vector<PictureObject>& objects);
QByteArray toFeatureCollection(const std::vector<PictureObject>& objects, const GreyImage& image,
                               const QString& imageFile, const PictureUnits& units = {});
// With a known scale, the unit's columns follow the pixel ones.
QByteArray toObjectsCsv(const std::vector<PictureObject>& objects, const GreyImage& image,
                        const PictureUnits& units = {});
// Header "id,x,y", then every object's contour points.
QByteArray objectPointsCsv(const std::vector<PictureObject>& objects);
QByteArray toLabelsPng(const std::vector<PictureObject>& objects, const GreyImage& image);
// The labels picture's values, width × height, rows from the top: 0 for the background, each
// closed object's id inside it, the later id where objects overlap.
std::vector<std::uint16_t> labelPixels(const std::vector<PictureObject>& objects,
                                       std::int32_t width, std::int32_t height);
// {"file", "width", "height", "count", "objects": [{"id", "model", "object", "box", "fields",
// "iteration", "points", "vertices", "measurements", "error"}, ...], "error": null}: one
// object a line, or all on one line for orvik-cli's JSON Lines. A frame of a stack (`frame`
// 0 or more) is named after the file: {"file", "frame", ...}.
QByteArray toObjectsJson(const std::vector<PictureObject>& objects, const GreyImage& image,
                         const QString& imageFile, bool oneLine = false,
                         const PictureUnits& units = {}, int frame = -1);
QImage objectsOverlay(const std::vector<PictureObject>& objects, const GreyImage& image,
                      int currentId);

// Writes the file of `format` at `path` (and for Csv the points beside it), each whole or
// not at all; throws ResultFileError.
void saveObjects(ObjectsFormat format, const QString& path,
                 const std::vector<PictureObject>& objects, const GreyImage& image, int currentId,
                 const QString& imageFile, const PictureUnits& units = {});

// One ROI of a RoiSet: its entry's name and its outline.
struct RoiOutline {
    std::string name;
    int position = 0; // the stack slice it belongs to (1, 2, ...); 0 for every slice
    bool closed = true;
    std::vector<ContourPoint> points;
};

// The outlines of an ImageJ RoiSet: polygons, freehand and traced outlines, rectangles
// (closed), polylines, freelines and angles (open), each in pixel coordinates. `path` names
// the file in the errors. Throws SettingsError for a file that cannot be used.
std::vector<RoiOutline> parseRoiSet(const QByteArray& bytes, const QString& path);

// The objects of a saved Orvik JSON (a list, or a single result as one object) or of an
// ImageJ RoiSet (by its content). From the JSON each object's id, model, polarity, box and
// fields, checked as settings are, and no result: an analysis gives it. From a RoiSet each
// outline as the result of a "Standard" (closed) or "Opened" object whose box bounds it, with
// the id of its entry's number ("0007.roi" is 7) when every entry has one, else 1, 2, ....
// Throws SettingsError naming the file and what is wrong.
std::vector<PictureObject> parseObjects(const QByteArray& bytes, const QString& path);
std::vector<PictureObject> readObjects(const QString& path);

} // namespace orvik
