// The grey passes over a 24-bit display bitmap: the load's pass from colours to grey values,
// and the refresh that spreads a grey buffer back into the display. Vectorised kernels are
// chosen at run time where the processor has them.
#pragma once

#include <QImage>
#include <cstdint>

namespace orvik {

// The grey value of a pixel: the BT.601 luma weights in thousandths, truncated. The weights
// add up to 1000, so the result is in 0..255 and equal channels keep their value.
constexpr std::uint8_t greyValue(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return static_cast<std::uint8_t>((114u * blue + 587u * green + 299u * red) / 1000u);
}

// The load's grey pass over a QImage::Format_BGR888 picture: writes each pixel's greyValue
// to `grey` (width bytes a row, no padding) and into the pixel's three channels.
void fillGreyAndDisplay(QImage& display, std::uint8_t* grey);

// Writes the grey buffer's pixels (greyWidth bytes a row) into the three channels of a
// QImage::Format_BGR888 display, over the width x height pixels both have.
void spreadGrey(const std::uint8_t* grey, std::int32_t greyWidth, QImage& display, int width,
                int height);

} // namespace orvik
