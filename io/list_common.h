// What the writers and readers of a list of objects share: the order they list the objects
// in, the object an outline read from a file becomes, and the errors that name the file.
#pragma once

#include "core/picture_object.h"

#include <QImage>
#include <QString>
#include <vector>

namespace orvik {

// The largest id a saved list may give an object.
inline constexpr int kMaxObjectId = 1'000'000'000;

// How far from a picture's corner a read outline's coordinates may lie, in pixels either
// way: well beyond any picture's side, and well within what an int holds, so that the
// vertices, the box and the area drawn from an outline stay meaningful.
inline constexpr double kMaxOutlineCoordinate = 1e6;

// The most objects a list file may hold: far more than a picture's outlines, and few enough
// that reading them stays within memory.
inline constexpr qsizetype kMaxListObjects = 100'000;

// Whether both coordinates are finite and within kMaxOutlineCoordinate.
bool withinOutlineRange(double x, double y);

// The objects by rising id: the order every format lists them in, and on overlap the later
// id is drawn last.
std::vector<const PictureObject*> objectsById(const std::vector<PictureObject>& objects);

// An outline read from a file without settings: a "Standard" (closed) or "Opened" object
// with the field defaults and the box that bounds it, the outline as its result and marked
// to be analysed from it. `path` names the file in the result's context until the object is
// placed on a picture.
PictureObject outlineObject(int id, const std::vector<ContourPoint>& points, bool closed,
                            const QString& path);

// Throws SettingsError: `kind "path" problem`, control characters escaped (see printable).
[[noreturn]] void listFileError(const QString& kind, const QString& path, const QString& problem);

// A PNG whose bytes do not depend on the screen: a fixed resolution of 96 dpi.
void fixResolution(QImage& picture);

} // namespace orvik
