// The grey image store: reading a picture file into the 24-bit display bitmap and the
// 8-bit grey buffer, and refreshing the display from the buffer.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace orvik {

// A load that failed; what() is the text the user sees ("Cannot open file %s",
// "Bitmap image is not valid" for a bitmap, "Unknown picture file extension (.%s)",
// "Cannot read file %s: " and the cause for a picture of another format, or a refusal
// starting with "Image too large"), UTF-8 encoded.
class ImageLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The store's state: the grey buffer and its size (null and 0 until the first load),
// and the display bitmap (QImage::Format_BGR888, same size) that contours are drawn into.
struct GreyImage {
    std::unique_ptr<std::uint8_t[]> GreyData;
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    QImage Display;
};

// The largest width and height accepted: the box fields hold 16-bit signed values.
inline constexpr std::int32_t MaxImageSide = 32767;

// The memory, in megabytes, that a decoded picture may take at 4 bytes per pixel. Headers
// claiming more are refused before anything is allocated (a bitmap as not valid, any other
// picture as too large); the picture reader gets the same limit while it decodes.
inline constexpr int ImageAllocationLimitMB = 512;

// Reads the file and builds a complete new store, or throws ImageLoadError.
// Nothing is shared with any existing store, so a failure leaves the caller's untouched.
// The lower-case extension chooses the reader; a name without one is an unknown extension.
GreyImage loadGreyImage(const QString& path);

// Writes every pixel's grey value into the three channels of store.Display,
// wiping every drawing. Does nothing while no image is loaded.
void refreshDisplay(GreyImage& store);

} // namespace orvik
