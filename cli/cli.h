// orvik-cli's work as a function: parse the arguments, then for each image build its document,
// run the popup tool and the analysis exactly as the window does, describe the result as JSON
// and write the result files asked for.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvik::cli {

struct Outcome {
    // The worst over the images: 0 done, 1 a floating-point error ended an analysis or a
    // tool, 2 bad arguments or settings, an unreadable image or a failed save.
    int exitCode = 0;
    // One JSON object per image, each on one line, in input order (JSON Lines); with
    // --pretty, the single image's object indented.
    std::string output;
    std::string error; // the messages for standard error, one a line
};

// Where a run's text goes as it is made.
struct Sink {
    std::function<void(const std::string& lines)> output; // each picture's lines, whole
    std::function<void(const std::string& message)> error;
};

// Runs `args` (the program name excluded), handing each picture's JSON lines to the sink as
// soon as the picture is done; returns the exit status.
int run(const std::vector<std::string>& args, const Sink& sink);

// The same run, its text collected.
Outcome run(const std::vector<std::string>& args);

std::string usage();

} // namespace orvik::cli
