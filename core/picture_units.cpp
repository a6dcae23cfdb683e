// Measurements in the picture's own units: raw grey statistics and calibrated geometry.
#include "core/picture_units.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvik {

namespace {

// The grey statistics over the raw values of the pixels inside, by the same inside rule as
// the 8-bit ones.
void measureRawGrey(const ContourResult& result, const GreyBufferView& grey,
                    const std::uint16_t* raw, Measurements& m) {
    std::int64_t pixels = 0;
    double sum = 0;
    int least = std::numeric_limits<int>::max(), most = 0;
    forEachInsideSpan(result.contour, grey.width, grey.height,
                      [&](std::int32_t row, std::int32_t first, std::int32_t last) {
                          const std::uint16_t* line = raw + std::size_t(row) * grey.width;
                          for (std::int32_t x = first; x <= last; ++x) {
                              sum += line[x];
                              least = std::min<int>(least, line[x]);
                              most = std::max<int>(most, line[x]);
                          }
                          pixels += last - first + 1;
                      });
    m.pixels = pixels;
    m.meanGrey = pixels > 0 ? sum / double(pixels) : 0;
    m.minGrey = pixels > 0 ? least : 0;
    m.maxGrey = pixels > 0 ? most : 0;
}

} // namespace

PictureUnits pictureUnits(const PictureStack& stack, int frame,
                          const std::optional<Calibration>& scale) {
    PictureUnits units;
    units.calibration = scale ? *scale : stack.calibration;
    if (stack.frames.layout() == SampleLayout::Grey16) units.raw = stack.frames.frame16(frame);
    return units;
}

Calibration fileScale(const PictureStack& stack) {
    if (stack.frames.frameCount() > 1 || stack.frames.layout() == SampleLayout::Grey16)
        return stack.calibration;
    return {};
}

CalibratedValues calibrate(const Measurements& m, const Calibration& calibration) {
    const double s = calibration.pixelSize;
    CalibratedValues c;
    c.unit = calibration.unit.toStdString();
    c.area = m.area * s * s;
    c.perimeter = m.perimeter * s;
    c.equivalentDiameter = m.equivalentDiameter * s;
    c.centroid = {m.centroid.x * s, m.centroid.y * s};
    c.length = m.length * s;
    return c;
}

Measurements measureIn(const ContourResult& result, const GreyBufferView& grey,
                       const PictureUnits& units) {
    Measurements m = measure(result, grey);
    if (units.raw != nullptr && m.closed && !result.contour.empty())
        measureRawGrey(result, grey, units.raw, m);
    if (units.calibration.known && !result.contour.empty())
        m.calibrated = calibrate(m, units.calibration);
    return m;
}

} // namespace orvik
