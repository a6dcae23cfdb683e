// The scenes the benchmarks work on: a grey picture with a dark disc and the engine set up
// from the window's own field values, as "Analysis" would set it up.
#pragma once

#include "core/init_arguments.h"
#include "kontur.h"

#include <cstdint>
#include <memory>

namespace orvik::bench {

// A W × H grey buffer: a light background (220) with a smooth shading and a dark disc (20)
// of radius `discRadius` in the middle, its rim softened over a few pixels so that the edge
// force has a gradient to follow.
struct GreyPicture {
    std::unique_ptr<std::uint8_t[]> GreyData;
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    bool BlackOnWhite = true;

    // Makes the engine read this picture; the picture must outlive the binding.
    void bind() const;
};
GreyPicture discPicture(std::int32_t width, std::int32_t height, double discRadius);

// The engine benchmarks' picture: 640 × 480 with a disc of radius 100.
GreyPicture enginePicture();

// The window's default fields with the box at the middle fifth of the picture, as a load
// leaves them, and the given model, point count and iteration count.
ControlValues windowDefaults(const GreyPicture& picture, ModelChoice model, int points,
                             int iterations);

// The Init of an analysis from the window's values, so that a benchmark can start every Run
// from it again.
class InitialState {
public:
    explicit InitialState(const ControlValues& values);
    // Init with the values' sixteen arguments.
    void init(KONTUR& k) const;
    std::int64_t pointIterations() const;

private:
    InitArguments arguments_;
};

} // namespace orvik::bench
