// The causes a TIFF file may be refused for, after "Cannot read file PATH: ", as the loading
// fuzzers accept them: those of any picture, and those that name a page.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace orvik::fuzzing {

inline bool isTiffPageCause(std::string_view cause) {
    if (!cause.starts_with("page ")) return false;
    std::size_t digits = 5;
    while (digits < cause.size() && std::isdigit(static_cast<unsigned char>(cause[digits])))
        ++digits;
    if (digits == 5) return false;
    const std::string_view rest = cause.substr(digits);
    if (rest == " of the TIFF picture in it is damaged or cut short") return true;
    for (std::string_view start : {" is too large, ", " declares ", " holds ", " is "})
        if (rest.starts_with(start)) {
            if (start == " holds " && !(rest.ends_with(" as the first page") ||
                                        rest.ends_with(" 8-bit colour can be read")))
                return false;
            if (start == " is " && !rest.ends_with(" as the first page")) return false;
            return true;
        }
    return false;
}

} // namespace orvik::fuzzing
