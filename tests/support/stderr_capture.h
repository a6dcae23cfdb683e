// Catches what the process writes to its standard error while a capture lives.
#pragma once

#include <string>

namespace orvik::test {

class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    // Everything written to the standard error so far.
    std::string text() const;

private:
    int saved_ = -1;
    int file_ = -1;
};

} // namespace orvik::test
