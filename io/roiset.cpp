// ImageJ RoiSets: the outlines of a list as ImageJ ROIs in a zip, and read back.
#include "io/roiset.h"

#include "io/formats.h"
#include "io/list_common.h"
#include "io/settings.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>

namespace orvik {

std::vector<ZipEntry> roiEntries(const std::vector<PictureObject>& objects, int frame) {
    std::vector<ZipEntry> entries;
    for (const PictureObject* object : objectsById(objects)) {
        // An object never analysed, or whose first analysis failed, has no outline to keep.
        if (object->result.contour.empty()) continue;
        char name[32];
        // ImageJ numbers the slices of a stack from 1.
        if (frame >= 0)
            std::snprintf(name, sizeof name, "%04d-%04d.roi", frame + 1, object->id);
        else
            std::snprintf(name, sizeof name, "%04d.roi", object->id);
        try {
            entries.push_back({name, toRoi(object->result, frame >= 0 ? frame + 1 : 0)});
        } catch (const ResultFileError& e) {
            throw ResultFileError("Object " + std::to_string(object->id) +
                                  (frame >= 0 ? ", frame " + std::to_string(frame) : "") + ": " +
                                  e.what());
        }
    }
    return entries;
}

QByteArray roiSetOf(const std::vector<ZipEntry>& entries) {
    try {
        return zipStored(entries);
    } catch (const ZipError& e) {
        throw ResultFileError(std::string("The RoiSet cannot be written: ") + e.what());
    }
}

QByteArray toRoiSet(const std::vector<PictureObject>& objects, int frame) {
    return roiSetOf(roiEntries(objects, frame));
}

namespace {

// An ImageJ ROI of 65535 points with its float coordinates and a generous second header.
constexpr qsizetype kRoiEntryLimit = 4 << 20;
// Thousands of ordinary ROIs; more than a picture's outlines could need.
constexpr qsizetype kRoiSetLimit = 256 << 20;

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
        throw SettingsError(printable(QStringLiteral("RoiSet file \"%1\", entry \"%2\": %3")
                                          .arg(path, QString::fromStdString(entry.name), problem))
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
        if (!withinOutlineRange(p.x, p.y))
            fail(QStringLiteral("point %1 lies beyond %2 pixels from the picture's corner")
                     .arg(i + 1)
                     .arg(kMaxOutlineCoordinate, 0, 'f', 0));
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
    return ok && id >= 1 && id <= kMaxObjectId ? id : 0;
}

} // namespace

std::vector<RoiOutline> parseRoiSet(const QByteArray& bytes, const QString& path) {
    std::vector<ZipEntry> entries;
    try {
        entries = unzip(bytes, kRoiEntryLimit, kRoiSetLimit);
    } catch (const ZipError& e) {
        listFileError(QStringLiteral("RoiSet file"), path,
                      QStringLiteral("cannot be read: %1").arg(QString::fromStdString(e.what())));
    }
    if (static_cast<qsizetype>(entries.size()) > kMaxListObjects)
        listFileError(QStringLiteral("RoiSet file"), path,
                      QStringLiteral("holds %1 entries, more than the %2 a list may hold")
                          .arg(entries.size())
                          .arg(kMaxListObjects));
    std::vector<RoiOutline> outlines;
    for (const ZipEntry& entry : entries)
        if (QString::fromStdString(entry.name).endsWith(QLatin1String(".roi"), Qt::CaseInsensitive))
            outlines.push_back(roiOutline(entry, path));
    if (outlines.empty())
        listFileError(QStringLiteral("RoiSet file"), path, QStringLiteral("holds no ROI"));
    return outlines;
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
    for (const RoiOutline& outline : outlines)
        objects.push_back(
            outlineObject(ownIds ? idOfName(outline) : static_cast<int>(objects.size()) + 1,
                          outline.points, outline.closed, path));
    return objects;
}

} // namespace orvik
