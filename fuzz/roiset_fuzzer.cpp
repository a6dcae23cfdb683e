// libFuzzer target of the RoiSet reader: any bytes give outlines of finite points, at least
// one each, or a SettingsError naming the file; never a crash, another exception, or memory
// beyond what the archive's limits allow, however large its entries claim to unpack.
#include "io/object_formats.h"
#include "io/settings.h"

#include <QByteArray>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvik;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        for (const RoiOutline& outline : parseRoiSet(bytes, QStringLiteral("fuzz.zip"))) {
            if (outline.points.empty()) std::abort();
            for (const ContourPoint& p : outline.points)
                if (!std::isfinite(p.x) || !std::isfinite(p.y)) std::abort();
        }
    } catch (const SettingsError& e) {
        if (std::string(e.what()).find("\"fuzz.zip\"") == std::string::npos) std::abort();
    }
    return 0;
}
