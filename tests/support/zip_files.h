// Zip archives as other programs write them, for the readers' tests and the fuzzers' seeds.
#pragma once

#include "io/zip_archive.h"

#include <QByteArray>
#include <utility>
#include <vector>

namespace orvik::test {

// `entries` zipped with deflated entries, as ImageJ's ROI Manager saves a RoiSet.
QByteArray deflatedZip(const std::vector<ZipEntry>& entries);

// An ImageJ ROI of integer corners as Analyze Particles writes one: a traced outline
// (type 8) without sub-pixel coordinates, each corner relative to its bounding box.
QByteArray tracedRoi(const std::vector<std::pair<int, int>>& corners);

// A plain archive as zipStored writes it, rewritten as a writer of more than 65535 entries
// does: a zip64 end record and its locator before the plain end record, whose fields then
// hold 0xffff and 0xffffffff.
QByteArray asZip64(const QByteArray& zip);

} // namespace orvik::test
