// Measurements of a contour result: its geometry, the grey values of the pixels it encloses,
// the flags that say when its numbers cannot be trusted, and the texts the status line and
// the clipboard show.
#pragma once

#include "core/result.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

// A read-only view of a grey buffer, one byte per pixel, rows without padding. (Not the
// engine's GreyView, which is how a step reads the bound picture.)
struct GreyBufferView {
    const std::uint8_t* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Why a result's numbers cannot be trusted as an object's outline. Each rule is written once,
// in measurements.cpp, with these thresholds:
//  - Failed: a floating-point error ended the run (or a point is not a finite number). The
//    measurements are those of the last complete step, which has diverged.
//  - Outside: a point lies more than kOutsideMargin beyond the picture [0, width] × [0, height].
//  - SelfCrossing: two edges that are not neighbours cross (for "Opened", two segments of the
//    chain); edges that only touch, or overlap along a line, do not count.
//  - Collapsed: a closed contour encloses less than kCollapsedArea, or all points lie within
//    kCollapsedExtent of one another both ways, or kPiledRun points in a row lie each within
//    kPiledDistance of the one before.
//  - Overlap: the contour of an object analysed with others still covers more than a hundredth
//    of a neighbour's pixels (or the neighbour of its) after they were kept apart; set by
//    the document, which knows the neighbours, never by measuring one contour.
enum class ResultFlag : std::uint8_t { Failed, Outside, SelfCrossing, Collapsed, Overlap };

// A contour may wobble a little over the border when the object touches it; one pixel beyond
// is the picture's own edge pixel still, anything further is no part of the picture.
inline constexpr double kOutsideMargin = 1.0; // px
// Below four square pixels (a 2 × 2 block) a contour outlines no object it could follow: the
// model has shrunk onto a point or a line.
inline constexpr double kCollapsedArea = 4.0; // px²
// All points within one pixel both ways: nothing is outlined, also for an open chain.
inline constexpr double kCollapsedExtent = 1.0; // px
// The tension spreads healthy neighbours about the contour's length over the point count
// apart; three points in a row within a hundredth of a pixel have run into one another.
inline constexpr double kPiledDistance = 0.01; // px
inline constexpr int kPiledRun = 3;            // points

// "failed", "outside", "self-crossing", "collapsed", "overlap": the names the formats and texts
// use.
const char* flagKey(ResultFlag flag);

// A set of flags; listed always in the enum's order.
class ResultFlags {
public:
    void set(ResultFlag flag) { bits_ |= bit(flag); }
    bool has(ResultFlag flag) const { return (bits_ & bit(flag)) != 0; }
    bool empty() const { return bits_ == 0; }
    std::vector<ResultFlag> list() const;
    bool operator==(const ResultFlags&) const = default;

private:
    static std::uint8_t bit(ResultFlag flag) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(flag));
    }
    std::uint8_t bits_ = 0;
};

// "outside, self-crossing": the names joined with `separator`.
std::string flagNames(const ResultFlags& flags, const char* separator);

// The geometry of a contour in the picture's own unit, for a picture whose pixel size is known.
struct CalibratedValues {
    std::string unit;     // "micron"
    double area = 0;      // unit²
    double perimeter = 0; // unit
    double equivalentDiameter = 0;
    ContourPoint centroid; // in unit from the picture's top-left corner
    double length = 0;     // "Opened"
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
    // Every model.
    ResultFlags flags;
    // When the picture's pixel size is known (set by measureIn).
    std::optional<CalibratedValues> calibrated;
};

// Calls `span(row, first, last)` for every run of pixels of a row whose centres lie inside
// the closed polygon (even-odd rule), clipped to a width × height image, rows in rising
// order. Nothing for fewer than three points or a point that is not a finite number.
void forEachInsideSpan(
    const std::vector<ContourPoint>& polygon, std::int32_t width, std::int32_t height,
    const std::function<void(std::int32_t row, std::int32_t first, std::int32_t last)>& span);

// Measures the contour and flags it; `grey` is the image the analysis ran on (its size bounds
// the pixels), and the result's context gives the picture's size for "outside".
Measurements measure(const ContourResult& result, const GreyBufferView& grey);
// The same with the grey statistics over `raw`, the values of a 16-bit picture of the grey's
// size (none: over the grey), in one pass over the pixels inside.
Measurements measure(const ContourResult& result, const GreyBufferView& grey,
                     const std::uint16_t* raw);

// "Area 1,234.5 px² · Perimeter 130.2 px · Circularity 0.91 · Mean grey 43.1", or for
// "Opened" "Length 123.4 px", followed by " · Flags: outside, self-crossing" when there are
// any; empty for a result without a contour.
QString statusText(const Measurements& m, const ContourResult& result);

// The measurements, one per line as name, tab, value(s), the last line "flags" with the flag
// names, then an empty line and the contour's points under the header "x<tab>y": text that
// pastes into a spreadsheet.
QString clipboardText(const Measurements& m, const ContourResult& result);

} // namespace orvik
