// orvik-cli's work as a function: parse the arguments, load the image, run the popup tool
// and the analysis exactly as the window does, and describe the result as JSON.
#pragma once

#include <string>
#include <vector>

namespace orvik::cli {

struct Outcome {
    int exitCode = 0;   // 0 done, 1 floating-point error, 2 bad arguments or unreadable image
    std::string output; // the JSON object (exit codes 0 and 1)
    std::string error;  // the message for standard error (exit code 2)
};

// args excludes the program name.
Outcome run(const std::vector<std::string>& args);

std::string usage();

} // namespace orvik::cli
