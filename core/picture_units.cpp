// Measurements in the picture's own units: raw grey statistics and calibrated geometry.
#include "core/picture_units.h"

#include <cmath>

namespace orvik {

PictureUnits pictureUnits(const PictureStack& stack, int frame,
                          const std::optional<Calibration>& scale) {
    PictureUnits units;
    units.calibration = scale ? *scale : stack.calibration;
    if (stack.frames.layout() == SampleLayout::Grey16) {
        units.rawFrame = stack.frames.frame16(frame);
        units.raw = units.rawFrame.get();
    }
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
    Measurements m = measure(result, grey, units.raw);
    if (units.calibration.known && !result.contour.empty())
        m.calibrated = calibrate(m, units.calibration);
    return m;
}

} // namespace orvik
