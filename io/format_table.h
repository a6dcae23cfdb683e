// The one table of file formats: each format's --save key, the ending --save appends to the
// picture's name, the file dialog's filter, and what it serves (a single contour, a picture's
// list of objects, the frames of a stack's objects). The window's dialogs, orvik-cli's --save
// and the writers all read it.
#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace orvik {

// The writers of a single contour.
enum class ResultFormat { Csv, Roi, GeoJson, Json, Mask, Overlay };
// The writers of a list of objects.
enum class ObjectsFormat { RoiSet, GeoJson, Csv, Labels, Json, Overlay };

// What a format serves, as bits.
enum FormatUse : unsigned {
    ForContour = 1, // a single contour (per frame of a stack as NAME-007.csv, ...)
    ForList = 2,    // the objects of a picture
    ForFrames = 4,  // the objects followed through a stack's frames
};

struct FormatEntry {
    const char* key;        // orvik-cli's --save name: "roiset"
    const char* fileEnding; // what --save appends to the image's base name: ".zip"
    const char* filter;     // a file dialog's filter: "ImageJ RoiSet (*.zip)"
    unsigned uses;          // FormatUse bits
    // The writer: a contour's for ForContour, a list's for ForList; neither for the Cell
    // Tracking Challenge folder, which the frames writer makes.
    std::optional<ResultFormat> contour;
    std::optional<ObjectsFormat> list;
};

// Every format, the contour's first, then the list's, then the frames' own.
const std::vector<FormatEntry>& formatTable();
// The entry of a format of `use` with `key`, or none.
const FormatEntry* formatEntry(unsigned use, const QString& key);
const FormatEntry& formatEntry(ResultFormat format);
const FormatEntry& formatEntry(ObjectsFormat format);

} // namespace orvik
