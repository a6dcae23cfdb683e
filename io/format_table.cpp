// The table of file formats.
#include "io/format_table.h"

namespace orvik {

const std::vector<FormatEntry>& formatTable() {
    using R = ResultFormat;
    using O = ObjectsFormat;
    constexpr unsigned listAndFrames = ForList | ForFrames;
    static const std::vector<FormatEntry> table{
        {"csv", ".csv", "CSV points (*.csv)", ForContour, R::Csv, {}},
        {"roi", ".roi", "ImageJ ROI (*.roi)", ForContour, R::Roi, {}},
        {"geojson", ".geojson", "GeoJSON (*.geojson)", ForContour, R::GeoJson, {}},
        {"json", ".json", "Orvik JSON (*.json)", ForContour, R::Json, {}},
        {"mask", "-mask.png", "PNG mask (*.png)", ForContour, R::Mask, {}},
        {"overlay", "-overlay.png", "PNG picture (*.png)", ForContour, R::Overlay, {}},
        {"roiset", ".zip", "ImageJ RoiSet (*.zip)", listAndFrames, {}, O::RoiSet},
        {"geojson",
         ".geojson",
         "GeoJSON FeatureCollection (*.geojson)",
         listAndFrames,
         {},
         O::GeoJson},
        {"csv", ".csv", "CSV measurements table (*.csv)", listAndFrames, {}, O::Csv},
        {"labels", "-labels.png", "16-bit labels PNG (*.png)", listAndFrames, {}, O::Labels},
        {"json", ".json", "Orvik JSON (*.json)", listAndFrames, {}, O::Json},
        {"overlay", "-overlay.png", "PNG picture (*.png)", listAndFrames, {}, O::Overlay},
        {"ctc", "/", "Cell Tracking Challenge folder", listAndFrames, {}, {}},
    };
    return table;
}

const FormatEntry* formatEntry(unsigned use, const QString& key) {
    for (const FormatEntry& entry : formatTable())
        if ((entry.uses & use) != 0 && key == QLatin1String(entry.key)) return &entry;
    return nullptr;
}

const FormatEntry& formatEntry(ResultFormat format) {
    for (const FormatEntry& entry : formatTable())
        if (entry.contour == format) return entry;
    return formatTable().front();
}

const FormatEntry& formatEntry(ObjectsFormat format) {
    for (const FormatEntry& entry : formatTable())
        if (entry.list == format) return entry;
    return formatTable().front();
}

} // namespace orvik
