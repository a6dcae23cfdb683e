// The crafted hostile bitmaps: each breaks one rule a loader must check for itself, and
// says what loading it must give. Used by the loader tests, the window tests and as seeds
// of the loading fuzzer.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <string>
#include <vector>

namespace orvik::test {

struct HostileBmp {
    std::string name;  // a file name without extension
    std::string fault; // what is wrong with the file
    QByteArray bytes;
    bool refused = false; // true: refused as "Bitmap image is not valid"
    // When it loads: the size and the whole grey buffer, top row first.
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> grey;
};

std::vector<HostileBmp> hostileBmps();

} // namespace orvik::test
