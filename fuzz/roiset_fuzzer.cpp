// libFuzzer target of the RoiSet reader: any bytes give outlines of finite points, at least
// one each, or a SettingsError naming the file; never a crash, another exception, or memory
// beyond what the archive's limits allow, however large its entries claim to unpack.
// An input whose first byte is odd is read as raw archive bytes; one whose first byte is even
// is cut into ROI entries at each "|ROI|" and packed into an archive with correct CRC-32s, so
// that mutated ROIs reach the ROI decoder instead of stopping at the archive's checksum.
#include "io/object_formats.h"
#include "io/settings.h"
#include "io/zip_archive.h"

#include <QByteArray>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

QByteArray packedRois(const QByteArray& rois) {
    static const QByteArray separator("|ROI|");
    std::vector<orvik::ZipEntry> entries;
    for (qsizetype from = 0; from <= rois.size();) {
        qsizetype to = rois.indexOf(separator, from);
        if (to < 0) to = rois.size();
        entries.push_back({std::to_string(entries.size() + 1) + ".roi", rois.mid(from, to - from)});
        from = to + separator.size();
    }
    return orvik::zipStored(entries);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvik;
    if (size == 0) return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1,
                          static_cast<qsizetype>(size - 1));
    const QByteArray bytes = data[0] % 2 ? rest : packedRois(rest);
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
