// libFuzzer target of the saved-list reader: any bytes give objects with distinct ids and
// settings within every field's range, or a SettingsError naming the file, never a crash or
// another exception. Bytes that start like a zip take the RoiSet path, a JSON object whose
// "type" is "FeatureCollection" the GeoJSON path.
#include "grey_image.h"
#include "io/object_formats.h"
#include "io/settings.h"

#include <QByteArray>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvik;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        std::set<int> ids;
        for (const PictureObject& object : parseObjects(bytes, QStringLiteral("fuzz"))) {
            if (object.id < 1 || !ids.insert(object.id).second) std::abort();
            for (const FieldInfo& entry : fieldTable()) {
                const int value = at(object.values.fields, entry.field);
                const int maximum = isBoxField(entry.field) ? MaxImageSide : entry.maximum;
                const int minimum = isBoxField(entry.field) ? 0 : entry.minimum;
                if (value < minimum || value > maximum) std::abort();
            }
            if (static_cast<int>(object.values.model) < 1 ||
                static_cast<int>(object.values.model) > 4)
                std::abort();
            for (const ContourPoint& p : object.result.contour)
                if (!std::isfinite(p.x) || !std::isfinite(p.y)) std::abort();
        }
    } catch (const SettingsError& e) {
        if (std::string(e.what()).find("\"fuzz\"") == std::string::npos) std::abort();
    }
    return 0;
}
