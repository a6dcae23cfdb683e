// ImageJ RoiSets: writing a list's outlines (on a frame of a stack, each on its slice) and
// reading the outlines back.
#pragma once

#include "core/picture_object.h"
#include "io/zip_archive.h"

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

namespace orvik {

// The entries of the objects with an outline, by rising id: "0007.roi", or on `frame` (0 or
// more) "TTTT-0007.roi" whose ROI lies on slice TTTT = frame + 1. Throws ResultFileError.
std::vector<ZipEntry> roiEntries(const std::vector<PictureObject>& objects, int frame = -1);
QByteArray toRoiSet(const std::vector<PictureObject>& objects, int frame = -1);
// The zip of `entries`; throws ResultFileError.
QByteArray roiSetOf(const std::vector<ZipEntry>& entries);

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

// The outlines of the RoiSet's lowest slice as objects (see outlineObject), with the id of
// the entry's number ("0007.roi" is 7) when every entry has one, else 1, 2, ....
std::vector<PictureObject> objectsOfRoiSet(const QByteArray& bytes, const QString& path);

} // namespace orvik
