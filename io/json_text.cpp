// The JSON pieces of the result formats.
#include "io/json_text.h"

#include "core/number_text.h"

#include <QFileInfo>
#include <QString>
#include <cmath>
#include <cstdio>

namespace orvik {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string floatNumber(float v) {
    return jsonNumber(v, 9);
}

std::string doubleNumber(double v) {
    return jsonNumber(v, 17);
}

std::string pair(double x, double y, int digits) {
    std::string text = "[";
    text += jsonNumber(x, digits);
    text += ", ";
    text += jsonNumber(y, digits);
    return text + "]";
}

std::string fieldsObject(const FieldValues& fields) {
    std::string json = "{";
    bool first = true;
    for (const FieldInfo& entry : fieldTable()) {
        json += std::string(first ? "" : ", ") + "\"" + entry.key +
                "\": " + std::to_string(at(fields, entry.field));
        first = false;
    }
    return json + "}";
}

namespace {

// ["outside", "self-crossing"]; [] for a plain result.
std::string flagsArray(const ResultFlags& flags) {
    std::string json = "[";
    for (const ResultFlag flag : flags.list())
        json += std::string(json.size() > 1 ? ", " : "") + "\"" + flagKey(flag) + "\"";
    return json + "]";
}

bool allFinite(const std::vector<ContourPoint>& points) {
    for (const ContourPoint& p : points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    return true;
}

// "calibrated": {...}, with its trailing ", "; empty when the scale is unknown.
std::string calibratedMember(const Measurements& m) {
    if (!m.calibrated) return {};
    const CalibratedValues& c = *m.calibrated;
    std::string json = "\"calibrated\": {\"unit\": " + quoted(c.unit);
    if (m.closed)
        json += ", \"area\": " + doubleNumber(c.area) +
                ", \"perimeter\": " + doubleNumber(c.perimeter) +
                ", \"equivalent_diameter\": " + doubleNumber(c.equivalentDiameter) +
                ", \"centroid\": " + pair(c.centroid.x, c.centroid.y, 17);
    else
        json += ", \"length\": " + doubleNumber(c.length);
    return json + "}, ";
}

} // namespace

std::string measurementsObject(const Measurements& m, const ContourResult& result) {
    const std::string flags = calibratedMember(m) + "\"flags\": " + flagsArray(m.flags) + "}";
    if (result.contour.empty()) return "{" + flags;
    if (!m.closed)
        return "{\"length\": " + doubleNumber(m.length) + ", \"ends\": [" +
               pair(m.ends[0].x, m.ends[0].y, 17) + ", " + pair(m.ends[1].x, m.ends[1].y, 17) +
               "], " + flags;
    const bool any = m.pixels > 0;
    return "{\"area\": " + doubleNumber(m.area) + ", \"perimeter\": " + doubleNumber(m.perimeter) +
           ", \"centroid\": " + pair(m.centroid.x, m.centroid.y, 17) + ", \"bbox\": [" +
           doubleNumber(m.bbox[0]) + ", " + doubleNumber(m.bbox[1]) + ", " +
           doubleNumber(m.bbox[2]) + ", " + doubleNumber(m.bbox[3]) +
           "], \"equivalent_diameter\": " + doubleNumber(m.equivalentDiameter) +
           ", \"circularity\": " + doubleNumber(m.circularity) +
           ", \"pixels\": " + std::to_string(m.pixels) +
           ", \"mean_grey\": " + (any ? doubleNumber(m.meanGrey) : "null") +
           ", \"min_grey\": " + (any ? std::to_string(m.minGrey) : "null") +
           ", \"max_grey\": " + (any ? std::to_string(m.maxGrey) : "null") + ", " + flags;
}

std::string pointsArray(const ContourResult& result) {
    std::string json = "[";
    if (!result.radii.empty()) {
        for (std::size_t i = 0; i < result.radii.size(); ++i)
            json += (i ? ", [" : "[") + floatNumber(result.radii[i]) + "]";
    } else {
        for (std::size_t i = 0; i < result.points.size(); ++i)
            json += (i ? ", [" : "[") + floatNumber(result.points[i].x) + ", " +
                    floatNumber(result.points[i].y) + "]";
    }
    return json + "]";
}

std::string verticesArray(const ContourResult& result) {
    std::string json = "[";
    for (std::size_t i = 0; i < result.vertices.size(); ++i)
        json += (i ? ", [" : "[") + std::to_string(result.vertices[i].x) + ", " +
                std::to_string(result.vertices[i].y) + "]";
    return json + "]";
}

std::string featureJson(const ContourResult& result, const Measurements& m,
                        const RunContext& settings, int id, const std::string& leading) {
    std::string geometry = "null";
    // A diverged contour has no coordinates another program could draw.
    if (!result.contour.empty() && allFinite(result.contour)) {
        std::string coordinates;
        for (const ContourPoint& p : result.contour)
            coordinates += (coordinates.empty() ? "" : ", ") + pair(p.x, p.y, 9);
        if (result.closed)
            geometry = "{\"type\": \"Polygon\", \"coordinates\": [[" + coordinates + ", " +
                       pair(result.contour[0].x, result.contour[0].y, 9) + "]]}";
        else
            geometry = "{\"type\": \"LineString\", \"coordinates\": [" + coordinates + "]}";
    }
    const std::string name =
        QFileInfo(QString::fromStdString(settings.imageFile)).fileName().toStdString();
    return "{\"type\": \"Feature\", " + (id >= 0 ? "\"id\": " + std::to_string(id) + ", " : "") +
           "\"geometry\": " + geometry + ", \"properties\": {" + leading +
           "\"file\": " + quoted(name) + ", \"model\": \"" + modelKey(settings.model) +
           "\", \"object\": \"" + polarityKey(settings.blackOnWhite) +
           "\", \"fields\": " + fieldsObject(settings.fields) +
           ", \"measurements\": " + measurementsObject(m, result) + "}}";
}

} // namespace orvik
