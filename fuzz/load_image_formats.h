// The file name extension an input of the loading fuzzer is read under: the input's first
// byte chooses it and the rest of the input is the file's content. Shared by the fuzzer and
// the seed writer, so a seed file reads under the extension it was written for.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace orvik::fuzzing {

// Every extension the loader might meet. Bitmaps take the lower half of the selector
// space, since they are what the program is for; the others share the upper half. "BMP"
// checks that the extension is matched without regard to case, and "xyz" (a format no
// reader knows) must give the unknown-extension error without the file being read.
inline constexpr std::array<std::string_view, 20> OtherExtensions = {
    "png", "jpg", "jpeg", "gif",  "ppm", "pgm",  "pbm",  "xpm", "xbm", "ico",
    "cur", "tif", "tiff", "webp", "tga", "wbmp", "icns", "mng", "BMP", "xyz",
};

inline constexpr std::uint8_t FirstOtherSelector = 128;

// Formats whose decoder in the toolkit's own plugins has a finding that is not ours to fix;
// the fuzzer skips inputs read under them, so that it spends its time on our code. Each
// reason names the input that showed it (kept under fuzz/corpus/qt-findings/).
struct ExcludedFormat {
    std::string_view extension;
    std::string_view reason;
};
inline constexpr std::array<ExcludedFormat, 1> ExcludedFormats = {{
    {"icns", "the ICNS plugin allocates an element length read from the file before reading it: "
             "4 GB for a 200-byte file (icns-4gb-element)"},
}};

constexpr bool isExcluded(std::string_view extension) {
    for (const ExcludedFormat& excluded : ExcludedFormats)
        if (excluded.extension == extension) return true;
    return false;
}

constexpr std::string_view extensionFor(std::uint8_t selector) {
    if (selector < FirstOtherSelector) return "bmp";
    return OtherExtensions[(selector - FirstOtherSelector) % OtherExtensions.size()];
}

// The selector byte that reads a seed under `extension`; 0 ("bmp") for one not listed.
constexpr std::uint8_t selectorFor(std::string_view extension) {
    for (std::size_t i = 0; i < OtherExtensions.size(); ++i)
        if (OtherExtensions[i] == extension) return std::uint8_t(FirstOtherSelector + i);
    return 0;
}

} // namespace orvik::fuzzing
