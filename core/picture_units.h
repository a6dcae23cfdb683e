// What a picture's measurements are stated in besides pixels and the engine's 8-bit grey: the
// size of a pixel when it is known, and for a 16-bit picture the raw values of the frame, so
// that the grey statistics come out in the picture's own units.
#pragma once

#include "calibration.h"
#include "core/measurements.h"
#include "picture_stack.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace orvik {

struct PictureUnits {
    Calibration calibration;            // known: calibrated values beside the pixel ones
    const std::uint16_t* raw = nullptr; // the 16-bit frame's values, rows without padding
    std::shared_ptr<const std::uint16_t[]> rawFrame; // holds `raw` while the units live
};

// The units of `frame` of `stack`: `scale` when one was given, else the file's calibration;
// the raw values when the frames are 16-bit.
PictureUnits pictureUnits(const PictureStack& stack, int frame,
                          const std::optional<Calibration>& scale);

// The pixel size a picture is measured in when none is given: the file's for a stack or a
// 16-bit picture; none (pixels) for a single 8-bit picture, whose density (72 dpi, 96 dpi)
// is the print's or the screen's rather than a pixel size.
Calibration fileScale(const PictureStack& stack);

// measure() on the grey the engine saw, its grey statistics over the raw values (when there
// are any), and the calibrated values (when the scale is known).
Measurements measureIn(const ContourResult& result, const GreyBufferView& grey,
                       const PictureUnits& units);

// The calibrated values of `m` with `calibration`: areas scale with the square of the pixel
// size, lengths and positions with the pixel size.
CalibratedValues calibrate(const Measurements& m, const Calibration& calibration);

} // namespace orvik
