// A zip archive as ImageJ keeps a RoiSet in: written with stored entries, read with stored
// or deflated ones.
#pragma once

#include <QByteArray>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvik {

// An archive that cannot be read; the text says what is wrong, without the file's name.
class ZipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ZipEntry {
    std::string name;
    QByteArray data;
};

// The archive of `entries` in their order, stored uncompressed with their CRC-32 and a fixed
// date, so that the same entries give the same bytes. Throws ZipError beyond the plain zip
// format's limits (65535 entries, 4 GB).
QByteArray zipStored(const std::vector<ZipEntry>& entries);

// The file entries of an archive (folders left out) in the central directory's order, each
// checked against its CRC-32. More than 65535 entries are read through the zip64 end record;
// a directory holding more entries than the end record counts is refused, never cut short. An entry
// may unpack to at most `entryLimit` bytes, all of them together to `totalLimit`: entries of a few
// bytes each may claim to unpack to megabytes, or many may share one packed stream.
std::vector<ZipEntry> unzip(const QByteArray& archive, qsizetype entryLimit, qsizetype totalLimit);

} // namespace orvik
