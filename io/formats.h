// The result formats, as bytes that the window's File menu and orvik-cli's --save write alike,
// and the atomic file writer both use.
#pragma once

#include "core/measurements.h"
#include "core/result.h"
#include "io/format_table.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <vector>

namespace orvik {

// A result that a format cannot hold, or a file that could not be written. The text is the
// one the error box shows.
class ResultFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A single contour's rows of formatTable(), as the window's dialogs list them.
struct ResultFormatInfo {
    ResultFormat format;
    const char* key;        // orvik-cli's --save name: "csv"
    const char* fileEnding; // what --save appends to the image's base name: ".csv", "-mask.png"
    const char* filter;     // a file dialog's filter: "CSV points (*.csv)"
};
const std::vector<ResultFormatInfo>& resultFormats();
const ResultFormatInfo& formatInfo(ResultFormat format);
std::optional<ResultFormat> formatFromKey(const QString& key);
// "Save contour as…" chooses csv, roi, geojson or json by the file name's ending.
std::optional<ResultFormat> contourFormatForPath(const QString& path);
// DIR/NAME.csv, DIR/NAME-mask.png, ...: NAME is the image file's name without its extension.
QString outputPath(const QString& folder, const QString& imageFile, ResultFormat format);

// Header "x,y", then the contour's points, 9 significant digits.
QByteArray toCsv(const ContourResult& result);
// An ImageJ ROI: polygon (closed) or polyline ("Opened") with sub-pixel float coordinates;
// `position` is the stack slice it lies on (1, 2, ...), 0 for none.
QByteArray toRoi(const ContourResult& result, int position = 0);
// One GeoJSON Feature in pixel coordinates with the run's settings and the measurements.
QByteArray toGeoJson(const ContourResult& result, const Measurements& m);
// orvik-cli's object, with "file" and "measurements"; also a settings file. `oneLine` keeps
// it on one line for JSON Lines output. A frame of a stack (`frame` 0 or more) is named
// after the file: {"file", "frame", ...}.
QByteArray toJson(const ContourResult& result, const Measurements& m, bool oneLine = false,
                  int frame = -1);
// The object of an image that could not be analysed: its file and the error.
QByteArray errorJson(const QString& imageFile, const QString& error);
// 8-bit grey PNG of the image's size: 255 for the pixels inside the contour, 0 elsewhere.
// Refused for "Opened", which encloses nothing.
QByteArray toMaskPng(const ContourResult& result);
QByteArray toPng(const QImage& image);

// The bytes of `format`; the overlay is the display picture as shown.
QByteArray resultBytes(ResultFormat format, const ContourResult& result, const Measurements& m,
                       const QImage& overlay);

// Writes all of `bytes` to `path` or nothing: on failure the file as it was stays and the
// error names the file and the reason. A pipe, a terminal or a device named as the file is
// written as it is, waiting while a slow reader keeps it full.
void saveFile(const QString& path, const QByteArray& bytes);

// A file to write and its bytes.
struct FileBytes {
    QString path;
    QByteArray bytes;
};
// Writes every file or none: each is written whole to a temporary file beside its place, and
// only when all are written are they renamed into place.
void saveFiles(const std::vector<FileBytes>& files);

// Writes all `size` bytes to `descriptor`, waiting for room whenever a non-blocking pipe or
// terminal is full; 0 when done, else the system's error (errno).
int writeWhole(int descriptor, const char* data, std::size_t size);
// The system's reason for `systemError` (errno), as the toolkit words it.
QString systemReason(int systemError);

// The folder, created with its parents when missing; the error says why it could not be.
void makeFolder(const QString& folder);

} // namespace orvik
