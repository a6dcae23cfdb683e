// Line and ellipse rasterising on the 24-bit display bitmap, with the two pens the window
// uses: the solid red pen of the contour and the inverting pen of the rubber band.
#pragma once

#include "kontur.h"

#include <cstddef>
#include <cstdint>

namespace orvik {

// A view of 24-bit pixels, three bytes blue, green, red, rows `stride` bytes apart.
struct PixelView {
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::ptrdiff_t stride = 0;
};

class RasterCanvas final : public ContourCanvas {
public:
    enum class PenMode { Copy, Invert }; // Invert: each covered pixel becomes its bitwise inverse
    struct Colour {
        std::uint8_t r = 0, g = 0, b = 0;
        bool operator==(const Colour&) const = default;
    };

    explicit RasterCanvas(PixelView pixels) : pixels_(pixels) {}

    void SelectRedPen() override;
    void RestorePen() override;
    void MoveTo(std::int32_t x, std::int32_t y) override;
    // Draws from the current position up to, not including, (x, y); clipped to the bitmap.
    void LineTo(std::int32_t x, std::int32_t y) override;

    // The outline of the ellipse inscribed in the box with corners (x1, y1) and (x2, y2),
    // in either order, the right and bottom edges exclusive; the inside is left alone.
    // Every pixel of one outline is touched once, so an inverting outline drawn twice
    // restores the bitmap.
    void Ellipse(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

    PenMode penMode() const { return mode_; }
    void setPenMode(PenMode mode) { mode_ = mode; }
    Colour penColour() const { return colour_; }
    // A pen of another colour, for outlines beside the contour's red one.
    void setPenColour(Colour colour) { colour_ = colour; }

private:
    void plot(std::int32_t x, std::int32_t y);

    PixelView pixels_;
    PenMode mode_ = PenMode::Copy;
    Colour colour_{};      // the pen selected now; black like a fresh device context
    Colour savedColour_{}; // the pen SelectRedPen replaced
    std::int32_t curX_ = 0, curY_ = 0;
};

} // namespace orvik
