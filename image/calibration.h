// The size of a pixel as the picture file states it: from a TIFF's resolution tags or ImageJ's
// description, or from a PNG's physical pixel size.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>

namespace orvik {

struct Calibration {
    bool known = false;     // false: the file says nothing usable, sizes stay in pixels
    double pixelSize = 1.0; // the side of a pixel in `unit`
    QString unit = QStringLiteral("pixel");
    double frameSpacing = 0.0; // ImageJ's distance between frames in `unit`; 0 when not given
};

// From a TIFF page: its XResolution in pixels per resolution unit (0 when the tag is absent),
// its ResolutionUnit (1 none, 2 inch, 3 centimetre) and its ImageDescription. An ImageJ
// description names the unit ("unit=micron") for a resolution without one, and the spacing;
// inches and centimetres become micrometres.
Calibration tiffCalibration(double xResolution, int resolutionUnit, const QByteArray& description);

// From a PNG: the pixel size in micrometres when its pHYs chunk gives a density in pixels a
// metre. The density is read from the chunk itself: the toolkit reports a default for a file
// without the chunk or with a density of 0. A density below 1 pixel a millimetre or above
// 10^7 is no calibration either.
Calibration pngCalibration(QIODevice& file);

} // namespace orvik
