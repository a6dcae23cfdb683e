// Reads the pixel size a TIFF or PNG file states.
#include "calibration.h"

#include <QList>
#include <QtEndian>
#include <cmath>

namespace orvik {
namespace {

constexpr int ResolutionUnitInch = 2;
constexpr int ResolutionUnitCentimetre = 3;
// The densities a PNG may state: 1 pixel a millimetre (a pixel 1 mm wide) to 10^7 (0.1 nm).
constexpr double kMinPixelsPerMetre = 1e3, kMaxPixelsPerMetre = 1e10;

// ImageJ writes micrometres as "micron", "um" or "\u00B5m" (escaped, or as the character).
QString unitName(const QString& written) {
    const QString unit = written.trimmed();
    for (const char* micro : {"micron", "microns", "um", "\\u00B5m", "\\u00b5m"})
        if (unit == QLatin1String(micro)) return QStringLiteral("µm");
    if (unit == QStringLiteral("μm") || unit == QStringLiteral("µm")) return QStringLiteral("µm");
    return unit;
}

bool usable(double size) {
    return std::isfinite(size) && size > 0;
}

} // namespace

Calibration tiffCalibration(double xResolution, int resolutionUnit, const QByteArray& description) {
    Calibration calibration;
    QString imageJUnit;
    double spacing = 0;
    if (description.startsWith("ImageJ=")) {
        for (const QByteArray& line : description.split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals < 0) continue;
            const QByteArray key = line.left(equals).trimmed();
            const QString value = QString::fromUtf8(line.mid(equals + 1));
            if (key == "unit") imageJUnit = unitName(value);
            if (key == "spacing") spacing = value.trimmed().toDouble();
        }
    }
    if (!usable(xResolution)) return calibration;
    const double perUnit = 1.0 / xResolution;
    if (!imageJUnit.isEmpty() && imageJUnit != QStringLiteral("pixel") &&
        imageJUnit != QStringLiteral("pixels")) {
        calibration.unit = imageJUnit;
        calibration.pixelSize = perUnit;
    } else if (resolutionUnit == ResolutionUnitInch) {
        calibration.unit = QStringLiteral("µm");
        calibration.pixelSize = perUnit * 25400.0;
    } else if (resolutionUnit == ResolutionUnitCentimetre) {
        calibration.unit = QStringLiteral("µm");
        calibration.pixelSize = perUnit * 10000.0;
    } else {
        return calibration; // a resolution without a unit gives the pixel's proportions only
    }
    calibration.known = usable(calibration.pixelSize);
    if (!calibration.known) return Calibration{};
    if (usable(spacing)) calibration.frameSpacing = spacing;
    return calibration;
}

Calibration pngCalibration(QIODevice& file) {
    // The chunks before the pixel data, after the 8-byte signature: length, type, data, CRC.
    if (!file.seek(8)) return {};
    for (int chunk = 0; chunk < 1000; ++chunk) {
        const QByteArray header = file.read(8);
        if (header.size() < 8) return {};
        const quint32 length = qFromBigEndian<quint32>(header.constData());
        const QByteArray type = header.mid(4);
        if (type == "IDAT" || type == "IEND") return {};
        if (type == "pHYs" && length == 9) {
            // Pixels a metre across, then down, then the unit (1: the metre).
            const QByteArray data = file.read(9);
            if (data.size() < 9 || data[8] != 1) return {};
            const double perMetre = qFromBigEndian<quint32>(data.constData());
            if (perMetre < kMinPixelsPerMetre || perMetre > kMaxPixelsPerMetre) return {};
            Calibration calibration;
            calibration.known = true;
            calibration.unit = QStringLiteral("µm");
            calibration.pixelSize = 1e6 / perMetre;
            return calibration;
        }
        if (!file.seek(file.pos() + qint64(length) + 4)) return {};
    }
    return {};
}

} // namespace orvik
