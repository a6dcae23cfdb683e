// Line and ellipse rasterising on the 24-bit display bitmap.
#include "render/raster_canvas.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace orvik {

namespace {

__extension__ typedef __int128 Wide;

constexpr RasterCanvas::Colour Red{255, 0, 0};

// The k-th pixel of a line whose major axis advances one pixel a step: the minor offset
// is the exact offset k·minor/major rounded to nearest, halves toward the start (the
// classic Bresenham choice).
std::int64_t minorOffset(std::int64_t k, std::int64_t minor, std::int64_t major) {
    return static_cast<std::int64_t>((Wide(2) * k * minor + major - 1) / (Wide(2) * major));
}

// The largest k in [lo, hi] for which pred(k) holds, pred being true up to some k and
// false after it; lo - 1 when it holds nowhere.
template <typename Pred>
std::int64_t lastWhere(std::int64_t lo, std::int64_t hi, Pred pred) {
    std::int64_t result = lo - 1;
    while (lo <= hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        if (pred(mid)) {
            result = mid;
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return result;
}

} // namespace

void RasterCanvas::SelectRedPen() {
    savedColour_ = colour_;
    colour_ = Red;
}

void RasterCanvas::RestorePen() {
    colour_ = savedColour_;
}

void RasterCanvas::MoveTo(std::int32_t x, std::int32_t y) {
    curX_ = x;
    curY_ = y;
}

void RasterCanvas::plot(std::int32_t x, std::int32_t y) {
    if (x < 0 || y < 0 || x >= pixels_.width || y >= pixels_.height) return;
    std::uint8_t* p = pixels_.bits + static_cast<std::ptrdiff_t>(y) * pixels_.stride + 3 * x;
    if (mode_ == PenMode::Invert) {
        p[0] = static_cast<std::uint8_t>(~p[0]);
        p[1] = static_cast<std::uint8_t>(~p[1]);
        p[2] = static_cast<std::uint8_t>(~p[2]);
    } else {
        p[0] = colour_.b;
        p[1] = colour_.g;
        p[2] = colour_.r;
    }
}

void RasterCanvas::LineTo(std::int32_t x, std::int32_t y) {
    const std::int64_t x0 = curX_, y0 = curY_;
    curX_ = x;
    curY_ = y;
    const std::int64_t dx = std::int64_t{x} - x0, dy = std::int64_t{y} - y0;
    const std::int64_t major = std::max(std::llabs(dx), std::llabs(dy));
    if (major == 0 || pixels_.width <= 0 || pixels_.height <= 0) return;

    // Walk the major axis; step k draws pixel k of 0 .. major - 1, so the end point itself
    // is left out. Only the steps that can land inside the bitmap are walked, which keeps
    // a line between far-off points (a diverged contour) as cheap as a short one.
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const std::int64_t c0 = xMajor ? x0 : y0, m0 = xMajor ? y0 : x0;
    const std::int64_t cs = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const std::int64_t minor = std::llabs(xMajor ? dy : dx);
    const std::int64_t ms = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t cLimit = xMajor ? pixels_.width : pixels_.height;
    const std::int64_t mLimit = xMajor ? pixels_.height : pixels_.width;

    // Steps whose major coordinate lies in [0, cLimit).
    std::int64_t kLo = 0, kHi = major - 1;
    if (cs > 0) {
        kLo = std::max(kLo, -c0);
        kHi = std::min(kHi, cLimit - 1 - c0);
    } else {
        kLo = std::max(kLo, c0 - (cLimit - 1));
        kHi = std::min(kHi, c0);
    }
    if (kLo > kHi) return;
    // The minor coordinate is monotone in k: narrow the steps to those within [0, mLimit).
    const auto minorAt = [&](std::int64_t k) { return m0 + ms * minorOffset(k, minor, major); };
    const auto beforeRange = [&](std::int64_t k) {
        return ms > 0 ? minorAt(k) < 0 : minorAt(k) >= mLimit;
    };
    const auto withinOrBefore = [&](std::int64_t k) {
        return ms > 0 ? minorAt(k) < mLimit : minorAt(k) >= 0;
    };
    kLo = lastWhere(kLo, kHi, beforeRange) + 1;
    kHi = lastWhere(kLo, kHi, withinOrBefore);

    for (std::int64_t k = kLo; k <= kHi; ++k) {
        const auto c = static_cast<std::int32_t>(c0 + cs * k);
        const auto m = static_cast<std::int32_t>(minorAt(k));
        if (xMajor)
            plot(c, m);
        else
            plot(m, c);
    }
}

void RasterCanvas::Ellipse(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    // The box's right and bottom edges are exclusive; an empty box draws nothing.
    std::int64_t left = std::min(x1, x2), right = std::int64_t{std::max(x1, x2)} - 1;
    std::int64_t top = std::min(y1, y2), bottom = std::int64_t{std::max(y1, y2)} - 1;
    if (right < left || bottom < top) return;

    // Midpoint ellipse in a pixel rectangle of any size, even or odd (after A. Zingl's
    // rectangle-bounded ellipse), collecting the outline first so that each pixel is
    // touched exactly once.
    std::vector<std::pair<std::int64_t, std::int64_t>> outline;
    const auto add = [&](std::int64_t x, std::int64_t y) { outline.emplace_back(x, y); };

    std::int64_t a = right - left, b = bottom - top;
    const std::int64_t b1 = b & 1;
    double dx =
        4.0 * (1.0 - static_cast<double>(a)) * static_cast<double>(b) * static_cast<double>(b);
    double dy = 4.0 * static_cast<double>(b1 + 1) * static_cast<double>(a) * static_cast<double>(a);
    double err =
        dx + dy + static_cast<double>(b1) * static_cast<double>(a) * static_cast<double>(a);
    std::int64_t xl = left, xr = right;
    std::int64_t yd = top + (b + 1) / 2; // the lower half's row
    std::int64_t yu = yd - b1;           // the upper half's row
    const double stepA = 8.0 * static_cast<double>(a) * static_cast<double>(a);
    const double stepB = 8.0 * static_cast<double>(b) * static_cast<double>(b);
    do {
        add(xr, yd);
        add(xl, yd);
        add(xl, yu);
        add(xr, yu);
        const double e2 = 2 * err;
        if (e2 <= dy) {
            ++yd;
            --yu;
            err += dy += stepA;
        }
        if (e2 >= dx || 2 * err > dy) {
            ++xl;
            --xr;
            err += dx += stepB;
        }
    } while (xl <= xr);
    while (yd - yu <= b) { // the tips of a very flat ellipse
        add(xl - 1, yd);
        add(xr + 1, yd++);
        add(xl - 1, yu);
        add(xr + 1, yu--);
    }

    std::sort(outline.begin(), outline.end());
    outline.erase(std::unique(outline.begin(), outline.end()), outline.end());
    for (const auto& [x, y] : outline)
        if (x >= 0 && y >= 0 && x < pixels_.width && y < pixels_.height)
            plot(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
}

} // namespace orvik
