// The measurement table: its columns written once for the objects CSV, the frames CSV and
// orvik-cli's --table. A row per result; optional file and frame columns before the id; the
// pixel measurements; then the calibrated columns of each unit the table holds.
#pragma once

#include "core/measurements.h"
#include "core/picture_object.h"
#include "core/picture_units.h"
#include "grey_image.h"

#include <QByteArray>
#include <string>
#include <vector>

namespace orvik {

// The measurements of an object's shown result: its last good contour on `image`, flagged
// "failed" when its last analysis failed, in the picture's `units` too.
Measurements measureObject(const PictureObject& object, const GreyImage& image,
                           const PictureUnits& units = {});

// The measurements of a list's objects on one frame, in the list's order: made once and read
// by the JSON, the table and every format written for that frame.
using ListMeasurements = std::vector<Measurements>;
ListMeasurements measureObjects(const std::vector<PictureObject>& objects, const GreyImage& image,
                                const PictureUnits& units = {});
// The measurements of `object`, an element of `objects`, in `measured`.
inline const Measurements& measurementOf(const ListMeasurements& measured,
                                         const std::vector<PictureObject>& objects,
                                         const PictureObject* object) {
    return measured[static_cast<std::size_t>(object - objects.data())];
}

// The measurement columns after the id, and a result's cells in them: every key of a closed
// and of an open contour, the flags last, separated by spaces. A value that does not apply
// is empty.
std::string measurementsHeader();
std::string measurementsRow(const Measurements& m, const ContourResult& result);
// A CSV cell: quoted when it holds a comma, a quote or a line break.
std::string csvCell(const std::string& text);

// "area_micron2,perimeter_micron,...": the columns of a unit, and a row's cells in them
// (empty where a value does not apply or the row has no calibration in `unit`).
std::string calibratedHeader(const std::string& unit);
std::string calibratedCells(const Measurements& m, const ContourResult& result,
                            const std::string& unit);

// A row, made when its result is measured.
struct MeasurementRow {
    std::string file;
    int frame = -1;    // -1: none (a single picture)
    std::string id;    // empty for a single contour
    std::string cells; // measurementsRow
    std::string unit;  // of the calibrated cells; empty without a known pixel size
    std::string calibrated;
};
MeasurementRow measurementRow(std::string file, int frame, std::string id, const Measurements& m,
                              const ContourResult& result);

struct TableColumns {
    bool file = false;  // "file," first
    bool frame = false; // "frame," before the id; empty for a row without one
    // The units whose calibrated columns the table has even if no row is calibrated in them;
    // every other unit a row is calibrated in follows, in the order met.
    std::vector<std::string> units;
};
std::string measurementTable(const std::vector<MeasurementRow>& rows, TableColumns columns);

// The rows of `objects` by rising id, on `frame` (-1 for none).
std::vector<MeasurementRow> objectRows(const std::vector<PictureObject>& objects,
                                       const GreyImage& image, const PictureUnits& units,
                                       int frame = -1);
// The same rows from the objects' measurements.
std::vector<MeasurementRow> objectRows(const std::vector<PictureObject>& objects,
                                       const ListMeasurements& measured, int frame);
// The unit the picture's calibrated columns are in, none when its pixel size is unknown.
std::vector<std::string> unitsOf(const PictureUnits& units);

// The objects CSV: "id," (after "frame," for a frame of a stack, 0 or more) and the
// measurement columns; with a known pixel size the unit's columns follow the pixel ones.
QByteArray toObjectsCsv(const std::vector<PictureObject>& objects, const GreyImage& image,
                        const PictureUnits& units = {}, int frame = -1);
// Header "id,x,y" ("frame,id,x,y" on a frame), then every object's contour points.
QByteArray objectPointsCsv(const std::vector<PictureObject>& objects, int frame = -1);
// The rows of objectPointsCsv without the header.
std::string objectPointRows(const std::vector<PictureObject>& objects, int frame);

} // namespace orvik
