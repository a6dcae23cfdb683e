// What a file was when its frames were read, so that a frame decoded again later comes from the
// same bytes or is refused with the file named.
#pragma once

#include <QString>
#include <cstdint>

namespace orvik {

// The file's device, node, size and modification time (to the nanosecond where the file system
// keeps it). A file written again in place changes its time; one replaced changes its node.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t node = 0;
    std::int64_t size = -1;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The file's stamp now; one that matches no file when it cannot be looked at.
FileStamp stampOf(const QString& path);

// Refuses, naming the file, when it is gone or no longer as `stamp` found it.
void checkUnchanged(const QString& path, const FileStamp& stamp);

// "Cannot read file PATH: it has changed since it was opened; open it again".
[[noreturn]] void refuseChanged(const QString& path);

} // namespace orvik
