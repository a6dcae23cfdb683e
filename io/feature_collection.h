// GeoJSON FeatureCollections of a list of objects, and reading the outlines of one made
// elsewhere (QuPath, shapely, geopandas).
#pragma once

#include "core/picture_object.h"
#include "core/picture_units.h"
#include "grey_image.h"
#include "io/measurement_table.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <string>
#include <vector>

namespace orvik {

// The Features of `objects` by rising id, each after "\n" and separated by ",": properties
// {"name": "Object N", "objectType": "annotation", ("frame": f on a frame, 0 or more,) the
// file, model, polarity, fields, measurements}.
std::string objectFeatures(const std::vector<PictureObject>& objects, const GreyImage& image,
                           const QString& imageFile, const PictureUnits& units, int frame);
// The same Features from the objects' measurements.
std::string objectFeatures(const std::vector<PictureObject>& objects,
                           const ListMeasurements& measured, const GreyImage& image,
                           const QString& imageFile, int frame);
// {"type": "FeatureCollection", "features": [...]} around Features.
QByteArray featureCollectionOf(const std::string& features);
QByteArray toFeatureCollection(const std::vector<PictureObject>& objects, const GreyImage& image,
                               const QString& imageFile, const PictureUnits& units = {},
                               int frame = -1);

// The outlines of a FeatureCollection's Features as objects without settings (see
// outlineObject): a Polygon's outer ring closed, a LineString open; a Feature without a
// geometry (an object with no outline) is passed over. The id is each Feature's own "id"
// when every Feature has a distinct whole one in range, else 1, 2, .... Throws SettingsError
// naming the file and the Feature at fault.
std::vector<PictureObject> objectsOfFeatureCollection(const QJsonObject& root, const QString& path);

} // namespace orvik
