// The measurement table and the points beside it.
#include "io/measurement_table.h"

#include "core/number_text.h"
#include "io/json_text.h"
#include "io/list_common.h"

#include <QString>
#include <algorithm>
#include <array>
#include <cmath>

namespace orvik {

namespace {

std::string cell(double v) {
    return std::isfinite(v) ? doubleNumber(v) : std::string();
}

std::string calibratedCell(double v) {
    return std::isfinite(v) ? jsonNumber(v, 17) : std::string();
}

// A unit as a column name that any program reads: the micro sign (ImageJ's "µm") becomes
// "u", and everything else but ASCII letters and digits an underscore, so that no quote,
// comma or line break of a file's own unit can split the header.
std::string columnUnit(const std::string& unit) {
    QString name = QString::fromStdString(unit);
    name.replace(QChar(0x00b5), u'u').replace(QChar(0x03bc), u'u');
    std::string column;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool plain =
            (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9');
        column += plain ? static_cast<char>(u) : '_';
    }
    return column;
}

} // namespace

Measurements measureObject(const PictureObject& object, const GreyImage& image,
                           const PictureUnits& units) {
    Measurements m = measureIn(object.result,
                               {image.GreyData.get(), image.ImageWidth, image.ImageHeight}, units);
    if (!object.error.empty()) m.flags.set(ResultFlag::Failed);
    if (!object.overlapping.empty()) m.flags.set(ResultFlag::Overlap);
    return m;
}

ListMeasurements measureObjects(const std::vector<PictureObject>& objects, const GreyImage& image,
                                const PictureUnits& units) {
    ListMeasurements measured;
    measured.reserve(objects.size());
    for (const PictureObject& object : objects)
        measured.push_back(measureObject(object, image, units));
    return measured;
}

std::string measurementsHeader() {
    return "area,perimeter,centroid_x,centroid_y,bbox_xmin,bbox_ymin,bbox_xmax,bbox_ymax,"
           "equivalent_diameter,circularity,pixels,mean_grey,min_grey,max_grey,"
           "length,end1_x,end1_y,end2_x,end2_y,flags";
}

std::string measurementsRow(const Measurements& m, const ContourResult& result) {
    std::array<std::string, 19> cells; // every column but the flags
    if (!result.contour.empty() && m.closed) {
        const bool any = m.pixels > 0;
        cells = {cell(m.area),
                 cell(m.perimeter),
                 cell(m.centroid.x),
                 cell(m.centroid.y),
                 cell(m.bbox[0]),
                 cell(m.bbox[1]),
                 cell(m.bbox[2]),
                 cell(m.bbox[3]),
                 cell(m.equivalentDiameter),
                 cell(m.circularity),
                 std::to_string(m.pixels),
                 any ? cell(m.meanGrey) : "",
                 any ? std::to_string(m.minGrey) : "",
                 any ? std::to_string(m.maxGrey) : ""};
    } else if (!result.contour.empty()) {
        cells[14] = cell(m.length);
        cells[15] = cell(m.ends[0].x);
        cells[16] = cell(m.ends[0].y);
        cells[17] = cell(m.ends[1].x);
        cells[18] = cell(m.ends[1].y);
    }
    std::string row;
    for (const std::string& c : cells)
        row += c + ",";
    return row + flagNames(m.flags, " ");
}

std::string csvCell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string calibratedHeader(const std::string& unit) {
    const std::string u = columnUnit(unit);
    return "area_" + u + "2,perimeter_" + u + ",equivalent_diameter_" + u + ",centroid_x_" + u +
           ",centroid_y_" + u + ",length_" + u;
}

std::string calibratedCells(const Measurements& m, const ContourResult& result,
                            const std::string& unit) {
    if (!m.calibrated || m.calibrated->unit != unit || result.contour.empty()) return ",,,,,";
    const CalibratedValues& c = *m.calibrated;
    if (!m.closed) return ",,,,," + calibratedCell(c.length);
    return calibratedCell(c.area) + "," + calibratedCell(c.perimeter) + "," +
           calibratedCell(c.equivalentDiameter) + "," + calibratedCell(c.centroid.x) + "," +
           calibratedCell(c.centroid.y) + ",";
}

MeasurementRow measurementRow(std::string file, int frame, std::string id, const Measurements& m,
                              const ContourResult& result) {
    MeasurementRow row{std::move(file), frame, std::move(id), measurementsRow(m, result), {}, {}};
    if (m.calibrated) {
        row.unit = m.calibrated->unit;
        row.calibrated = calibratedCells(m, result, row.unit);
    }
    return row;
}

std::string measurementTable(const std::vector<MeasurementRow>& rows, TableColumns columns) {
    std::vector<std::string>& units = columns.units;
    for (const MeasurementRow& r : rows)
        if (!r.unit.empty() && std::find(units.begin(), units.end(), r.unit) == units.end())
            units.push_back(r.unit);
    std::string text = std::string(columns.file ? "file," : "") + (columns.frame ? "frame," : "") +
                       "id," + measurementsHeader();
    for (const std::string& unit : units)
        text += "," + calibratedHeader(unit);
    text += "\n";
    for (const MeasurementRow& r : rows) {
        if (columns.file) text += csvCell(r.file) + ",";
        if (columns.frame) text += (r.frame >= 0 ? std::to_string(r.frame) : "") + ",";
        text += r.id + "," + r.cells;
        for (const std::string& unit : units)
            text += "," + (r.unit == unit ? r.calibrated : std::string(",,,,,"));
        text += "\n";
    }
    return text;
}

std::vector<MeasurementRow> objectRows(const std::vector<PictureObject>& objects,
                                       const GreyImage& image, const PictureUnits& units,
                                       int frame) {
    return objectRows(objects, measureObjects(objects, image, units), frame);
}

std::vector<MeasurementRow> objectRows(const std::vector<PictureObject>& objects,
                                       const ListMeasurements& measured, int frame) {
    std::vector<MeasurementRow> rows;
    for (const PictureObject* object : objectsById(objects))
        rows.push_back(measurementRow({}, frame, std::to_string(object->id),
                                      measurementOf(measured, objects, object), object->result));
    return rows;
}

std::vector<std::string> unitsOf(const PictureUnits& units) {
    if (!units.calibration.known) return {};
    return {units.calibration.unit.toStdString()};
}

QByteArray toObjectsCsv(const std::vector<PictureObject>& objects, const GreyImage& image,
                        const PictureUnits& units, int frame) {
    return bytesOf(measurementTable(objectRows(objects, image, units, frame),
                                    {false, frame >= 0, unitsOf(units)}));
}

std::string objectPointRows(const std::vector<PictureObject>& objects, int frame) {
    const std::string f = frame >= 0 ? std::to_string(frame) + "," : "";
    std::string csv;
    for (const PictureObject* object : objectsById(objects)) {
        const std::string id = f + std::to_string(object->id) + ",";
        for (const ContourPoint& p : object->result.contour)
            csv += id + jsonNumber(p.x, 9) + "," + jsonNumber(p.y, 9) + "\n";
    }
    return csv;
}

QByteArray objectPointsCsv(const std::vector<PictureObject>& objects, int frame) {
    return bytesOf((frame >= 0 ? "frame,id,x,y\n" : "id,x,y\n") + objectPointRows(objects, frame));
}

} // namespace orvik
