// Reads TIFF files through libtiff: every page a frame of 8- or 16-bit grey or 8-bit colour.
#pragma once

#include "picture_stack.h"

#include <QString>

namespace orvik {

// Every full-resolution page of the file as a frame (reduced-resolution pages such as
// thumbnails are passed over), the range autoRange gives, the first page's calibration and
// libtiff's own messages. 8- and 16-bit grey and 8-bit RGB pages are read as they are, in
// strips or tiles, and 16-bit RGB rounded to 8 bits; other layouts libtiff can turn into 8-bit
// colour (palettes, 1 to 4 bits, CMYK, YCbCr, colour with alpha) are read through that. Refuses,
// with the file and the page, a page that is damaged or cut short, one of another size or layout
// than the first, one with no pixels or more than the loader's limits, and samples it cannot read
// (floating-point, signed, 32-bit). Nothing libtiff says reaches the standard error.
PictureStack readTiffStack(const QString& path);

} // namespace orvik
