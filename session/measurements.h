// Measurements of a contour result: its geometry, the grey values of the pixels it encloses,
// and the texts the status line and the clipboard show.
#pragma once

#include "result.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace orvik {

// A read-only view of a grey buffer, one byte per pixel, rows without padding. (Not the
// engine's GreyView, which is how a step reads the bound picture.)
struct GreyBufferView {
    const std::uint8_t* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct Measurements {
    bool closed = true;
    // Closed contours.
    double area = 0;      // shoelace, absolute value, px²
    double perimeter = 0; // px
    ContourPoint centroid;
    double bbox[4] = {0, 0, 0, 0}; // xmin, ymin, xmax, ymax of the points
    double equivalentDiameter = 0; // √(4·area/π)
    double circularity = 0;        // 4π·area/perimeter²; 0 for a contour without perimeter
    // The pixels whose centre lies inside (even-odd rule), inside the image.
    std::int64_t pixels = 0;
    double meanGrey = 0; // the grey statistics are 0 when no pixel is inside
    int minGrey = 0;
    int maxGrey = 0;
    // "Opened".
    double length = 0;
    ContourPoint ends[2];
};

// Calls `span(row, first, last)` for every run of pixels of a row whose centres lie inside
// the closed polygon (even-odd rule), clipped to a width × height image, rows in rising
// order. Nothing for fewer than three points or a point that is not a finite number.
void forEachInsideSpan(
    const std::vector<ContourPoint>& polygon, std::int32_t width, std::int32_t height,
    const std::function<void(std::int32_t row, std::int32_t first, std::int32_t last)>& span);

// Measures the contour; `grey` is the image the analysis ran on (its size bounds the pixels).
Measurements measure(const ContourResult& result, const GreyBufferView& grey);

// "Area 1,234.5 px² · Perimeter 130.2 px · Circularity 0.91 · Mean grey 43.1", or for
// "Opened" "Length 123.4 px"; empty for a result without a contour.
QString statusText(const Measurements& m, const ContourResult& result);

// The measurements, one per line as name, tab, value(s), then an empty line and the contour's
// points under the header "x<tab>y": text that pastes into a spreadsheet.
QString clipboardText(const Measurements& m, const ContourResult& result);

} // namespace orvik
