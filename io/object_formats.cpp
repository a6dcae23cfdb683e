// The formats of a list of objects, and the readers of a saved list.
#include "io/object_formats.h"

#include "core/number_text.h"
#include "io/formats.h"
#include "io/json_text.h"
#include "io/settings.h"
#include "io/zip_archive.h"
#include "render/raster_canvas.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>

namespace orvik {

namespace {

GreyBufferView greyOf(const GreyImage& image) {
    return {image.GreyData.get(), image.ImageWidth, image.ImageHeight};
}

// The objects by rising id: the order every format lists them in, and on overlap the later
// id is drawn last.
std::vector<const PictureObject*> byId(const std::vector<PictureObject>& objects) {
    std::vector<const PictureObject*> sorted;
    for (const PictureObject& object : objects)
        sorted.push_back(&object);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const PictureObject* a, const PictureObject* b) { return a->id < b->id; });
    return sorted;
}

// The object's settings as a run context on `image`: what the list formats name beside the
// contour, so that a saved list brings back what the objects hold now.
RunContext settingsOf(const PictureObject& object, const GreyImage& image,
                      const QString& imageFile) {
    return runContext(imageFile.toStdString(), image.ImageWidth, image.ImageHeight, object.values);
}

std::string cell(double v) {
    return std::isfinite(v) ? doubleNumber(v) : std::string();
}

} // namespace

const std::vector<ObjectsFormatInfo>& objectsFormats() {
    static const std::vector<ObjectsFormatInfo> table{
        {ObjectsFormat::RoiSet, "roiset", ".zip", "ImageJ RoiSet (*.zip)"},
        {ObjectsFormat::GeoJson, "geojson", ".geojson", "GeoJSON FeatureCollection (*.geojson)"},
        {ObjectsFormat::Csv, "csv", ".csv", "CSV measurements table (*.csv)"},
        {ObjectsFormat::Labels, "labels", "-labels.png", "16-bit labels PNG (*.png)"},
        {ObjectsFormat::Json, "json", ".json", "Orvik JSON (*.json)"},
        {ObjectsFormat::Overlay, "overlay", "-overlay.png", "PNG picture (*.png)"},
    };
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

Measurements measureObject(const PictureObject& object, const GreyImage& image,
                           const PictureUnits& units) {
    Measurements m = measureIn(object.result, greyOf(image), units);
    if (!object.error.empty()) m.flags.set(ResultFlag::Failed);
    return m;
}

// ---- the measurements table ----

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

QByteArray toObjectsCsv(const std::vector<PictureObject>& objects, const GreyImage& image,
                        const PictureUnits& units) {
    const bool scaled = units.calibration.known;
    const std::string unit = units.calibration.unit.toStdString();
    std::string csv = "id," + measurementsHeader() +
                      (scaled ? std::string(",").append(calibratedHeader(unit)) : std::string()) +
                      "\n";
    for (const PictureObject* object : byId(objects)) {
        const Measurements m = measureObject(*object, image, units);
        csv += std::to_string(object->id) + "," + measurementsRow(m, object->result) +
               (scaled ? std::string(",").append(calibratedCells(m, object->result, unit)) : "") +
               "\n";
    }
    return bytesOf(csv);
}

QByteArray objectPointsCsv(const std::vector<PictureObject>& objects) {
    std::string csv = "id,x,y\n";
    for (const PictureObject* object : byId(objects)) {
        const std::string id = std::to_string(object->id) + ",";
        for (const ContourPoint& p : object->result.contour)
            csv += id + jsonNumber(p.x, 9) + "," + jsonNumber(p.y, 9) + "\n";
    }
    return bytesOf(csv);
}

// ---- RoiSet, FeatureCollection, JSON ----

QByteArray toRoiSet(const std::vector<PictureObject>& objects) {
    std::vector<ZipEntry> entries;
    for (const PictureObject* object : byId(objects)) {
        // An object never analysed, or whose first analysis failed, has no outline to keep.
        if (object->result.contour.empty()) continue;
        char name[32];
        std::snprintf(name, sizeof name, "%04d.roi", object->id);
        try {
            entries.push_back({name, toRoi(object->result)});
        } catch (const ResultFileError& e) {
            throw ResultFileError("Object " + std::to_string(object->id) + ": " + e.what());
        }
    }
    try {
        return zipStored(entries);
    } catch (const ZipError& e) {
        throw ResultFileError(std::string("The RoiSet cannot be written: ") + e.what());
    }
}

QByteArray toFeatureCollection(const std::vector<PictureObject>& objects, const GreyImage& image,
                               const QString& imageFile, const PictureUnits& units) {
    std::string json = "{\"type\": \"FeatureCollection\", \"features\": [";
    bool first = true;
    for (const PictureObject* object : byId(objects)) {
        const std::string id = std::to_string(object->id);
        json += (first ? "\n" : ",\n") +
                featureJson(object->result, measureObject(*object, image, units),
                            settingsOf(*object, image, imageFile), object->id,
                            "\"name\": \"Object " + id + "\", \"objectType\": \"annotation\", ");
        first = false;
    }
    return bytesOf(json + "]}\n");
}

QByteArray toObjectsJson(const std::vector<PictureObject>& objects, const GreyImage& image,
                         const QString& imageFile, bool oneLine, const PictureUnits& units,
                         int frame) {
    const std::string next = oneLine ? ", " : ",\n ";
    std::string json = "{\"file\": " + quoted(imageFile.toStdString()) +
                       (frame >= 0 ? ", \"frame\": " + std::to_string(frame) : "") +
                       ", \"width\": " + std::to_string(image.ImageWidth) +
                       ", \"height\": " + std::to_string(image.ImageHeight) +
                       ", \"count\": " + std::to_string(objects.size()) + ", \"objects\": [";
    bool first = true;
    for (const PictureObject* object : byId(objects)) {
        const ControlValues& v = object->values;
        const Box box = boxOf(v.fields);
        const ContourResult& r = object->result;
        json +=
            (first ? "" : next) + "{\"id\": " + std::to_string(object->id) + ", \"model\": \"" +
            modelKey(v.model) + "\", \"object\": \"" + polarityKey(v.blackOnWhite) +
            "\", \"box\": [" + std::to_string(box.x1) + ", " + std::to_string(box.y1) + ", " +
            std::to_string(box.x2) + ", " + std::to_string(box.y2) +
            "], \"fields\": " + fieldsObject(v.fields) +
            ", \"iteration\": " + std::to_string(r.iteration) + ", \"points\": " + pointsArray(r) +
            ", \"vertices\": " + verticesArray(r) +
            ", \"measurements\": " + measurementsObject(measureObject(*object, image, units), r) +
            ", \"error\": " + (object->error.empty() ? "null" : quoted(object->error)) + "}";
        first = false;
    }
    return bytesOf(json + "], \"error\": null}\n");
}

// ---- pictures ----

namespace {

// A PNG whose bytes do not depend on the screen: a fixed resolution of 96 dpi.
void fixResolution(QImage& picture) {
    picture.setDotsPerMeterX(3780);
    picture.setDotsPerMeterY(3780);
}

// The grey picture itself, as a load shows it, in the display's 24-bit layout.
QImage greyDisplay(const GreyImage& image) {
    const int width = std::max(image.ImageWidth, 1), height = std::max(image.ImageHeight, 1);
    QImage picture(width, height, QImage::Format_BGR888);
    if (picture.isNull()) throw ResultFileError("There is not enough memory for the overlay");
    picture.fill(Qt::black);
    for (int y = 0; y < image.ImageHeight; ++y) {
        const std::uint8_t* grey =
            image.GreyData.get() + static_cast<std::size_t>(y) * image.ImageWidth;
        std::uint8_t* line = picture.scanLine(y);
        for (int x = 0; x < image.ImageWidth; ++x)
            line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = grey[x];
    }
    return picture;
}

// Digits 0..9 in a 3 × 5 grid, a row a number whose bit 2 is the left column.
constexpr std::array<std::array<std::uint8_t, 5>, 10> kDigits{{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 1, 1, 1},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
}};
constexpr int kDigitScale = 2; // picture pixels per grid cell

// The id in the outline's colour, centred on (cx, cy), on a black ground one cell wider, so
// that it reads on light and dark pictures alike.
void drawNumber(QImage& picture, int id, int cx, int cy, RasterCanvas::Colour colour) {
    const std::string digits = std::to_string(id);
    const int cells = 4 * static_cast<int>(digits.size()) - 1;
    const int left = cx - cells * kDigitScale / 2, top = cy - 5 * kDigitScale / 2;
    const auto fill = [&](int x0, int y0, int w, int h, RasterCanvas::Colour c) {
        for (int y = std::max(y0, 0); y < std::min(y0 + h, picture.height()); ++y)
            for (int x = std::max(x0, 0); x < std::min(x0 + w, picture.width()); ++x) {
                std::uint8_t* p = picture.scanLine(y) + 3 * x;
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
            }
    };
    fill(left - kDigitScale, top - kDigitScale, (cells + 2) * kDigitScale, 7 * kDigitScale, {});
    for (std::size_t d = 0; d < digits.size(); ++d)
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 3; ++column)
                if (kDigits[digits[d] - '0'][row] & (4 >> column))
                    fill(left + (4 * static_cast<int>(d) + column) * kDigitScale,
                         top + row * kDigitScale, kDigitScale, kDigitScale, colour);
}

} // namespace

QImage objectsOverlay(const std::vector<PictureObject>& objects, const GreyImage& image,
                      int currentId) {
    constexpr RasterCanvas::Colour red{255, 0, 0}, yellow{255, 255, 0};
    QImage picture = greyDisplay(image);
    RasterCanvas canvas(
        PixelView{picture.bits(), picture.width(), picture.height(), picture.bytesPerLine()});
    std::vector<const PictureObject*> order = byId(objects);
    // The current outline last, on top of the others.
    std::stable_partition(order.begin(), order.end(),
                          [currentId](const PictureObject* o) { return o->id != currentId; });
    for (const PictureObject* object : order) {
        const std::vector<Vertex>& v = object->result.vertices;
        if (v.empty()) continue;
        canvas.setPenColour(object->id == currentId ? red : yellow);
        // The vertices as Draw passed them: move to the first, a line to each of the others.
        canvas.MoveTo(v[0].x, v[0].y);
        for (std::size_t i = 1; i < v.size(); ++i)
            canvas.LineTo(v[i].x, v[i].y);
    }
    for (const PictureObject* object : order) {
        const std::vector<Vertex>& v = object->result.vertices;
        if (v.empty()) continue;
        const auto [left, right] = std::minmax_element(
            v.begin(), v.end(), [](const Vertex& a, const Vertex& b) { return a.x < b.x; });
        const auto [top, bottom] = std::minmax_element(
            v.begin(), v.end(), [](const Vertex& a, const Vertex& b) { return a.y < b.y; });
        drawNumber(picture, object->id, static_cast<int>((std::int64_t{left->x} + right->x) / 2),
                   static_cast<int>((std::int64_t{top->y} + bottom->y) / 2),
                   object->id == currentId ? red : yellow);
    }
    fixResolution(picture);
    return picture;
}

std::vector<std::uint16_t> labelPixels(const std::vector<PictureObject>& objects,
                                       std::int32_t width, std::int32_t height) {
    std::vector<std::uint16_t> labels;
    try {
        labels.assign(std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0)), 0);
    } catch (const std::bad_alloc&) {
        throw ResultFileError("There is not enough memory for the labels");
    }
    for (const PictureObject* object : byId(objects)) {
        if (!object->result.closed || object->result.contour.empty()) continue; // encloses nothing
        if (object->id < 1 || object->id > 0xffff)
            throw ResultFileError("Object " + std::to_string(object->id) +
                                  ": a 16-bit labels picture holds the ids 1..65535");
        const auto id = static_cast<std::uint16_t>(object->id);
        forEachInsideSpan(object->result.contour, width, height,
                          [&](std::int32_t row, std::int32_t first, std::int32_t last) {
                              std::uint16_t* line = labels.data() + std::size_t(row) * width;
                              std::fill(line + first, line + last + 1, id);
                          });
    }
    return labels;
}

QByteArray toLabelsPng(const std::vector<PictureObject>& objects, const GreyImage& image) {
    const std::vector<std::uint16_t> pixels =
        labelPixels(objects, image.ImageWidth, image.ImageHeight);
    QImage labels(std::max(image.ImageWidth, 1), std::max(image.ImageHeight, 1),
                  QImage::Format_Grayscale16);
    if (labels.isNull()) throw ResultFileError("There is not enough memory for the labels");
    labels.fill(0);
    fixResolution(labels);
    for (std::int32_t y = 0; y < image.ImageHeight; ++y)
        std::copy_n(pixels.data() + std::size_t(y) * image.ImageWidth, image.ImageWidth,
                    reinterpret_cast<std::uint16_t*>(labels.scanLine(y)));
    return toPng(labels);
}

QByteArray objectsBytes(ObjectsFormat format, const std::vector<PictureObject>& objects,
                        const GreyImage& image, int currentId, const QString& imageFile,
                        const PictureUnits& units) {
    switch (format) {
    case ObjectsFormat::RoiSet:
        return toRoiSet(objects);
    case ObjectsFormat::GeoJson:
        return toFeatureCollection(objects, image, imageFile, units);
    case ObjectsFormat::Csv:
        return toObjectsCsv(objects, image, units);
    case ObjectsFormat::Labels:
        return toLabelsPng(objects, image);
    case ObjectsFormat::Json:
        return toObjectsJson(objects, image, imageFile, false, units);
    case ObjectsFormat::Overlay:
        break;
    }
    return toPng(objectsOverlay(objects, image, currentId));
}

void saveObjects(ObjectsFormat format, const QString& path,
                 const std::vector<PictureObject>& objects, const GreyImage& image, int currentId,
                 const QString& imageFile, const PictureUnits& units) {
    // Both files' bytes are made before either is written: a list the format cannot hold
    // leaves no file changed. Each file is then written whole or not at all.
    const QByteArray bytes = objectsBytes(format, objects, image, currentId, imageFile, units);
    if (format == ObjectsFormat::Csv) {
        const QByteArray points = objectPointsCsv(objects);
        saveFile(path, bytes);
        saveFile(pointsCsvPath(path), points);
        return;
    }
    saveFile(path, bytes);
}

// ---- reading a saved list ----

namespace {

constexpr int kMaxId = 1'000'000'000;
// An ImageJ ROI of 65535 points with its float coordinates and a generous second header.
constexpr qsizetype kRoiEntryLimit = 4 << 20;
// Thousands of ordinary ROIs; more than a picture's outlines could need.
constexpr qsizetype kRoiSetLimit = 256 << 20;

[[noreturn]] void fileError(const QString& kind, const QString& path, const QString& problem) {
    throw SettingsError(QStringLiteral("%1 \"%2\" %3").arg(kind, path, problem).toStdString());
}

// The vertices Draw passes for these points: a ring from the last point round, a chain from
// the first.
std::vector<Vertex> verticesOf(const std::vector<ContourPoint>& points, bool closed) {
    std::vector<Vertex> vertices;
    const auto vertex = [](const ContourPoint& p) {
        return Vertex{static_cast<std::int32_t>(std::trunc(p.x)),
                      static_cast<std::int32_t>(std::trunc(p.y))};
    };
    if (closed && !points.empty()) vertices.push_back(vertex(points.back()));
    for (const ContourPoint& p : points)
        vertices.push_back(vertex(p));
    return vertices;
}

// Big-endian fields of an ROI, each read only within its bytes.
class RoiFields {
public:
    RoiFields(const QByteArray& bytes, const std::function<void(const QString&)>& fail)
        : bytes_(bytes), fail_(fail) {}
    int u8(qsizetype at) const {
        if (at < 0 || at >= bytes_.size()) fail_(QStringLiteral("is cut short"));
        return static_cast<unsigned char>(bytes_[at]);
    }
    int s16(qsizetype at) const { return static_cast<std::int16_t>(u16(at)); }
    int u16(qsizetype at) const { return u8(at) << 8 | u8(at + 1); }
    float f32(qsizetype at) const {
        const std::uint32_t bits =
            static_cast<std::uint32_t>(u16(at)) << 16 | static_cast<std::uint32_t>(u16(at + 2));
        float v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    const QByteArray& bytes_;
    const std::function<void(const QString&)>& fail_;
};

RoiOutline roiOutline(const ZipEntry& entry, const QString& path) {
    const std::function<void(const QString&)> fail = [&](const QString& problem) {
        throw SettingsError(QStringLiteral("RoiSet file \"%1\", entry \"%2\": %3")
                                .arg(path, QString::fromStdString(entry.name), problem)
                                .toStdString());
    };
    const RoiFields f(entry.data, fail);
    if (entry.data.size() < 64 || !entry.data.startsWith("Iout"))
        fail(QStringLiteral("not an ImageJ ROI"));
    const int version = f.s16(4), type = f.u8(6);
    const int top = f.s16(8), left = f.s16(10), bottom = f.s16(12), right = f.s16(14);
    const int n = f.u16(16), options = f.s16(50);
    RoiOutline outline;
    outline.name = entry.name;
    outline.position = std::max(0, f.u16(56) << 16 | f.u16(58));
    enum {
        Polygon = 0,
        Rect = 1,
        Line = 3,
        Freeline = 4,
        Polyline = 5,
        Freehand = 7,
        Traced = 8,
        Angle = 9
    };
    if (type == Rect) {
        outline.points = {{double(left), double(top)},
                          {double(right), double(top)},
                          {double(right), double(bottom)},
                          {double(left), double(bottom)}};
        return outline;
    }
    if (type != Polygon && type != Freeline && type != Polyline && type != Freehand &&
        type != Traced && type != Angle)
        fail(QStringLiteral("an ROI of type %1; only polygons, polylines and rectangles are read")
                 .arg(type));
    outline.closed = type == Polygon || type == Freehand || type == Traced;
    if (n < 1) fail(QStringLiteral("it has no points"));
    const bool subPixel = version >= 222 && (options & 128) != 0;
    const qsizetype floats = 64 + 4 * qsizetype{n};
    for (int i = 0; i < n; ++i) {
        ContourPoint p;
        if (subPixel) {
            p = {f.f32(floats + 4 * i), f.f32(floats + 4 * qsizetype{n} + 4 * i)};
        } else {
            p = {double(left + f.s16(64 + 2 * i)), double(top + f.s16(64 + 2 * n + 2 * i))};
        }
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            fail(QStringLiteral("point %1 is not a finite number").arg(i + 1));
        outline.points.push_back(p);
    }
    return outline;
}

// "0007.roi" -> 7, and on slice 3 of a stack "0003-0007.roi" -> 7 (the slice must be the ROI's
// own: ImageJ names its ROIs "YYYY-XXXX" by their position, which is no id); 0 for a name that
// is no positive number with ".roi".
int idOfName(const RoiOutline& outline) {
    QStringList parts =
        QFileInfo(QString::fromStdString(outline.name)).completeBaseName().split(u'-');
    bool ok = false;
    if (parts.size() == 2 && outline.position > 0 && parts[0].toInt(&ok) == outline.position && ok)
        parts.removeFirst();
    ok = false;
    const int id = parts.size() == 1 ? parts[0].toInt(&ok) : 0;
    return ok && id >= 1 && id <= kMaxId ? id : 0;
}

std::vector<PictureObject> objectsOfRoiSet(const QByteArray& bytes, const QString& path) {
    std::vector<RoiOutline> outlines = parseRoiSet(bytes, path);
    // The outlines of a stack's RoiSet that lie on its first slice: the objects as they start.
    const auto first = std::min_element(
        outlines.begin(), outlines.end(),
        [](const RoiOutline& a, const RoiOutline& b) { return a.position < b.position; });
    const int firstSlice = first->position;
    std::erase_if(outlines, [firstSlice](const RoiOutline& o) { return o.position != firstSlice; });
    std::set<int> ids;
    for (const RoiOutline& outline : outlines)
        ids.insert(idOfName(outline));
    const bool ownIds = !ids.contains(0) && ids.size() == outlines.size();
    std::vector<PictureObject> objects;
    for (const RoiOutline& outline : outlines) {
        PictureObject object;
        object.id = ownIds ? idOfName(outline) : static_cast<int>(objects.size()) + 1;
        object.values.model = outline.closed ? ModelChoice::Standard : ModelChoice::Opened;
        double x1 = outline.points[0].x, y1 = outline.points[0].y, x2 = x1, y2 = y1;
        for (const ContourPoint& p : outline.points) {
            x1 = std::min(x1, p.x);
            y1 = std::min(y1, p.y);
            x2 = std::max(x2, p.x);
            y2 = std::max(y2, p.y);
        }
        const auto corner = [](double v) {
            return static_cast<int>(std::clamp(v, 0.0, double(MaxImageSide)));
        };
        setBox(object.values.fields, Box{corner(std::floor(x1)), corner(std::floor(y1)),
                                         corner(std::ceil(x2)), corner(std::ceil(y2))});
        ContourResult& r = object.result;
        r.context = runContext(path.toStdString(), 0, 0, object.values);
        r.closed = outline.closed;
        r.contour = outline.points;
        for (const ContourPoint& p : outline.points)
            r.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y)});
        r.vertices = verticesOf(outline.points, outline.closed);
        objects.push_back(std::move(object));
    }
    return objects;
}

PictureObject objectOfJson(const QJsonObject& json, const SettingsSource& source,
                           std::optional<int> id) {
    if (json.contains(QLatin1String("id")))
        id = wholeSetting(source, json.value(QLatin1String("id")), QStringLiteral("id"), 1, kMaxId);
    if (!id) failSetting(source, QStringLiteral("id"), QStringLiteral("missing"));
    const Settings settings = settingsFromJson(json, source);
    if (!settings.box)
        failSetting(source, QStringLiteral("box"),
                    QStringLiteral("missing (neither \"box\" nor the four box fields)"));
    PictureObject object;
    object.id = *id;
    object.values = applySettings(settings, ControlValues{});
    return object;
}

std::vector<PictureObject> objectsOfJson(const QByteArray& bytes, const QString& path) {
    const QString kind = QStringLiteral("Objects file");
    QJsonParseError parseError{};
    QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    // A stack's list holds a line per frame: the first frame's objects are where they start.
    if (parseError.error == QJsonParseError::GarbageAtEnd)
        document = QJsonDocument::fromJson(bytes.left(parseError.offset), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        fileError(kind, path,
                  QStringLiteral("is neither JSON nor an ImageJ RoiSet: %1 at byte %2")
                      .arg(parseError.errorString())
                      .arg(parseError.offset));
    if (!document.isObject()) fileError(kind, path, QStringLiteral("does not hold a JSON object"));
    const QJsonObject root = document.object();
    const SettingsSource file{kind, path, {}};
    if (!root.contains(QLatin1String("objects"))) {
        // A single result: its settings as one object.
        if (root.value(QLatin1String("error")).isString() && !root.contains(QLatin1String("box")))
            fileError(kind, path,
                      QStringLiteral("holds an image that could not be read, and no "
                                     "objects"));
        return {objectOfJson(root, file, 1)};
    }
    const QJsonValue list = root.value(QLatin1String("objects"));
    if (!list.isArray())
        failSetting(file, QStringLiteral("objects"), QStringLiteral("not an array"));
    const QJsonArray array = list.toArray();
    if (root.contains(QLatin1String("count")) &&
        wholeSetting(file, root.value(QLatin1String("count")), QStringLiteral("count"), 0,
                     kMaxId) != array.size())
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

} // namespace

std::vector<RoiOutline> parseRoiSet(const QByteArray& bytes, const QString& path) {
    std::vector<ZipEntry> entries;
    try {
        entries = unzip(bytes, kRoiEntryLimit, kRoiSetLimit);
    } catch (const ZipError& e) {
        fileError(QStringLiteral("RoiSet file"), path,
                  QStringLiteral("cannot be read: %1").arg(QString::fromStdString(e.what())));
    }
    std::vector<RoiOutline> outlines;
    for (const ZipEntry& entry : entries)
        if (QString::fromStdString(entry.name).endsWith(QLatin1String(".roi"), Qt::CaseInsensitive))
            outlines.push_back(roiOutline(entry, path));
    if (outlines.empty())
        fileError(QStringLiteral("RoiSet file"), path, QStringLiteral("holds no ROI"));
    return outlines;
}

std::vector<PictureObject> parseObjects(const QByteArray& bytes, const QString& path) {
    if (bytes.startsWith("PK")) return objectsOfRoiSet(bytes, path);
    return objectsOfJson(bytes, path);
}

std::vector<PictureObject> readObjects(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SettingsError(QStringLiteral("Cannot read objects file \"%1\": %2")
                                .arg(path, file.errorString())
                                .toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw SettingsError(QStringLiteral("Cannot read objects file \"%1\": %2")
                                .arg(path, file.errorString())
                                .toStdString());
    return parseObjects(bytes, path);
}

} // namespace orvik
