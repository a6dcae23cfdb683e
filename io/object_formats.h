// The formats of a picture's objects, each written by its own file: an ImageJ RoiSet
// (io/roiset.h), a GeoJSON FeatureCollection (io/feature_collection.h), the measurements
// table with the points beside it (io/measurement_table.h), a 16-bit labels picture
// (io/labels.h), the Orvik JSON of the list (io/objects_json.h) and the overlay of every
// outline (io/objects_overlay.h). Here: choosing a format, writing it to a file, and reading
// a saved list back whatever its format. The window's "Save objects as…" and orvik-cli's
// --save write the same bytes.
#pragma once

#include "core/measurements.h"
#include "core/picture_object.h"
#include "core/picture_units.h"
#include "grey_image.h"
#include "io/feature_collection.h"
#include "io/format_table.h"
#include "io/formats.h"
#include "io/labels.h"
#include "io/measurement_table.h"
#include "io/objects_json.h"
#include "io/objects_overlay.h"
#include "io/roiset.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace orvik {

// A list's rows of formatTable(), as the window's dialogs list them.
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

// Whether `format` writes the objects' measurements (the table, the Features, the JSON).
bool measuresObjects(ObjectsFormat format);

// The bytes of `format` for `objects` on `image`, which was read from `imageFile`; the
// overlay draws `currentId`'s outline in red, the others in yellow. For Csv the table; its
// points come from objectPointsCsv. On `frame` of a stack (0 or more; -1 for none) the bytes
// are those the frames writer gives that frame alone: each ROI on its slice, the table with
// its frame column, the Features and the JSON (on one line) with "frame".
QByteArray objectsBytes(ObjectsFormat format, const std::vector<PictureObject>& objects,
                        const GreyImage& image, int currentId, const QString& imageFile,
                        const PictureUnits& units = {}, int frame = -1);
// The same from the objects' measurements on `image` in `units`, made once by the caller.
QByteArray objectsBytes(ObjectsFormat format, const std::vector<PictureObject>& objects,
                        const ListMeasurements& measured, const GreyImage& image, int currentId,
                        const QString& imageFile, const PictureUnits& units, int frame);

// The files of `format` at `path`: the one file, or for Csv the table and its points. Bytes
// the format refuses (an id a labels picture cannot hold) throw a ResultFileError that names
// the file.
std::vector<FileBytes> objectsFiles(ObjectsFormat format, const QString& path,
                                    const std::vector<PictureObject>& objects,
                                    const GreyImage& image, int currentId, const QString& imageFile,
                                    const PictureUnits& units = {}, int frame = -1);
// The same from the objects' measurements, made once by the caller.
std::vector<FileBytes> objectsFiles(ObjectsFormat format, const QString& path,
                                    const std::vector<PictureObject>& objects,
                                    const ListMeasurements& measured, const GreyImage& image,
                                    int currentId, const QString& imageFile,
                                    const PictureUnits& units, int frame);

// Writes the files of `format` at `path` (for Csv the table and the points beside it), all
// whole or none; throws ResultFileError.
void saveObjects(ObjectsFormat format, const QString& path,
                 const std::vector<PictureObject>& objects, const GreyImage& image, int currentId,
                 const QString& imageFile, const PictureUnits& units = {}, int frame = -1);

// The objects of a saved list, told apart by their content: an ImageJ RoiSet or a GeoJSON
// FeatureCollection gives outlines without settings (see outlineObject), an Orvik JSON its
// objects with their settings and saved points (see objectsOfJson). Objects read from
// outlines still need their settings seeded on the picture they are used on
// (placeObjects in document/find_objects.h). Throws SettingsError naming the file and what
// is wrong.
std::vector<PictureObject> parseObjects(const QByteArray& bytes, const QString& path);
std::vector<PictureObject> readObjects(const QString& path);

} // namespace orvik
