// Guards the toolkit's bitmap decoder: header checks before it decodes, run-length streams
// clipped to the picture, and palettes completed with black.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <optional>

namespace orvik {

// Checks a bitmap's headers: pixel data that would start at or beyond the end of the file is
// refused as not valid (ImageLoadError). A run-length picture comes back as the file's bytes
// with its stream clipped to the picture; any other picture as nothing, to be read from the
// file as it is. Headers the reader itself refuses are left to it. Reads from the file's
// current position, which must be its start.
std::optional<QByteArray> checkedBitmap(QFile& file);

// A pixel index beyond the palette is black, whatever the depth; the toolkit's conversions
// would make it black at 8 bits but white at 1 bit. Other formats are left as they are.
void completePalette(QImage& picture);

} // namespace orvik
