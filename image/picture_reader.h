// Opening a picture file and reading it through the toolkit's picture reader, with the
// loader's checks around the reader; TIFF files go through their own reader instead.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

namespace orvik {

// Whether the file name's extension is .tif or .tiff, in any case.
bool isTiffName(const QString& path);

// The reader format named by the file's extension, compared without regard to case; refuses
// an extension no reader knows.
QByteArray readerFormatFor(const QString& path);

// Opens a regular file for reading, or refuses it as one that cannot be opened.
void openForReading(QFile& file);

// The picture in the file, decoded by the toolkit within the loader's limits: a bitmap checked
// and clipped first, undefined pixels colour 0, a palette completed with black.
QImage readPicture(const QString& path);

} // namespace orvik
