// The Orvik JSON of a picture's objects, and reading a saved one back.
#pragma once

#include "core/picture_object.h"
#include "core/picture_units.h"
#include "grey_image.h"
#include "io/measurement_table.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace orvik {

// {"file", "width", "height", "count", "objects": [{"id", "model", "object", "box", "fields",
// "iteration", "points", "vertices", "measurements", "error"}, ...], "error": null}: one
// object a line, or all on one line for orvik-cli's JSON Lines. A frame of a stack (`frame`
// 0 or more) is named after the file: {"file", "frame", ...}.
QByteArray toObjectsJson(const std::vector<PictureObject>& objects, const GreyImage& image,
                         const QString& imageFile, bool oneLine = false,
                         const PictureUnits& units = {}, int frame = -1);
// The same from the objects' measurements.
QByteArray toObjectsJson(const std::vector<PictureObject>& objects,
                         const ListMeasurements& measured, const GreyImage& image,
                         const QString& imageFile, bool oneLine, int frame);

// The pieces of that text, for writers that make the objects' texts apart (on several
// threads): one object's {"id", ...} measured as `m`, and the whole around the objects'
// texts, given in the list's order.
std::string objectJsonText(const PictureObject& object, const Measurements& m);
std::string objectsJsonOf(const std::vector<PictureObject>& objects,
                          const std::vector<std::string>& texts, const GreyImage& image,
                          const QString& imageFile, bool oneLine, int frame);

// The objects of a saved Orvik JSON (a list, the first line of a stack's lines, or a single
// result as one object): each object's id, model, polarity, box and fields, checked as
// settings are, and its saved points (when it has them) as its result at its saved
// iteration, with its saved error: measured, it gives what was saved. Throws SettingsError
// naming the file and what is wrong.
std::vector<PictureObject> objectsOfJson(const QByteArray& bytes, const QString& path);

} // namespace orvik
