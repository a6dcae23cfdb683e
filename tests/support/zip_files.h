// Zip archives as other programs write them, for the readers' tests and the fuzzers' seeds.
#pragma once

#include "io/zip_archive.h"

#include <QByteArray>
#include <vector>

namespace orvik::test {

// `entries` zipped with deflated entries, as ImageJ's ROI Manager saves a RoiSet.
QByteArray deflatedZip(const std::vector<ZipEntry>& entries);

} // namespace orvik::test
