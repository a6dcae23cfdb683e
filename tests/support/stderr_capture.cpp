// Points the standard error at a temporary file for as long as a capture lives.
#include "stderr_capture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace orvik::test {

StderrCapture::StderrCapture() {
    std::string name = (std::filesystem::temp_directory_path() / "orvik-stderr-XXXXXX").string();
    file_ = mkstemp(name.data());
    if (file_ < 0) std::abort();
    unlink(name.c_str());
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(file_, STDERR_FILENO);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    close(file_);
}

std::string StderrCapture::text() const {
    std::fflush(stderr);
    std::string text;
    char buffer[4096];
    for (off_t offset = 0;;) {
        const ssize_t got = pread(file_, buffer, sizeof buffer, offset);
        if (got <= 0) break;
        text.append(buffer, std::size_t(got));
        offset += got;
    }
    return text;
}

} // namespace orvik::test
