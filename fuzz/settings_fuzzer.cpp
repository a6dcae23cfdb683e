// libFuzzer target of the settings reader: any bytes give settings within every field's range
// or a SettingsError naming the file, never a crash or another exception.
#include "grey_image.h"
#include "io/settings.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvik;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const Settings settings = parseSettings(bytes, QStringLiteral("fuzz.json"));
        for (const FieldInfo& entry : fieldTable()) {
            const auto& value = settings.fields[static_cast<std::size_t>(entry.field)];
            if (value && (*value < entry.minimum || *value > entry.maximum)) std::abort();
        }
        if (settings.box)
            for (const int corner :
                 {settings.box->x1, settings.box->y1, settings.box->x2, settings.box->y2})
                if (corner < 0 || corner > MaxImageSide) std::abort();
        const ControlValues values = applySettings(settings, ControlValues{});
        if (static_cast<int>(values.model) < 1 || static_cast<int>(values.model) > 4) std::abort();
    } catch (const SettingsError& e) {
        if (std::string(e.what()).find("\"fuzz.json\"") == std::string::npos) std::abort();
    }
    return 0;
}
