// Placeholder until the rasteriser lands.
#include "raster_canvas.h"

namespace orvik {
void RasterCanvas::SelectRedPen() {}
void RasterCanvas::RestorePen() {}
void RasterCanvas::MoveTo(std::int32_t x, std::int32_t y) {
    curX_ = x;
    curY_ = y;
}
void RasterCanvas::LineTo(std::int32_t x, std::int32_t y) {
    curX_ = x;
    curY_ = y;
}
void RasterCanvas::Ellipse(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void RasterCanvas::plot(std::int32_t, std::int32_t) {}
} // namespace orvik
