// What the steps of one contour model keep between calls: tables worked out once for the
// parameters in use, the edge force of the pixels the contour has visited, and the rows the
// fast path computes in. None of it is part of the model's state: every entry is checked
// against what it was made for before it is used, Init starts afresh, and a copy of a model
// starts with an empty scratch of its own. Owning it in the model keeps the steps reentrant:
// two models can step side by side.
#pragma once

#include "step_kernels.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvik {

struct GreyView;

// Directions of the points of the centre point model: θ = i·2π/N and its sine and cosine,
// each rounded to a float as the step rounds them. They depend on i and N only.
class DirectionTable {
public:
    // The table for n points, or nullptr when n is beyond the table's capacity.
    const DirectionTable* forPointCount(std::int32_t n);
    float sin(std::int32_t i) const { return sin_[static_cast<std::size_t>(i)]; }
    float cos(std::int32_t i) const { return cos_[static_cast<std::size_t>(i)]; }

private:
    std::int32_t pointCount_ = 0;
    std::array<float, kKernelCapacity> sin_{};
    std::array<float, kKernelCapacity> cos_{};
};

// The image pressure (g − Threshold)·ImageWeight rounded to float for every grey level g,
// or (Threshold − g)·ImageWeight, as "Opened" forms it: two parameters and a byte decide it.
class PressureTable {
public:
    // The table for these weights, built when they differ from the last ones.
    const float* forWeights(double threshold, double imageWeight, bool thresholdFirst);

private:
    bool valid_ = false;
    bool thresholdFirst_ = false;
    std::uint64_t threshold_ = 0; // bits: a weight of −0 gives other zeros than +0
    std::uint64_t imageWeight_ = 0;
    std::array<float, 256> values_{};
};

// The edge force of pixels inside the image, for one picture, polarity and weight: it
// depends on nothing else. Filled as the contour visits pixels, in a fixed number of
// entries (a pixel has one place, and a newcomer replaces what was there), so memory stays
// the same whatever the picture's size. Forgotten whenever the bound picture's buffer, size
// or polarity or the weight differ from those it was filled for, and at every Init (which
// also covers pixels rewritten in place between two analyses). Forgetting takes no time:
// each entry carries the generation it was filled in, and a new generation begins.
class EdgeForceCache {
public:
    // A contour that has settled keeps visiting a few thousand pixels; at this size they
    // rarely meet in one entry.
    static constexpr std::size_t kEntries = 16384;

    // Makes the entries valid for this picture and weight; the weight is not zero. Returns
    // true when that forgot what was there (a new generation began).
    bool prepare(const GreyView& image, float weight);
    // The edge force at pixel (x, y), as edgeForce<PlainArithmetic> gives it.
    void lookup(const GreyView& image, float weight, std::int32_t x, std::int32_t y, float& fx,
                float& fy);
    void forget() { valid_ = false; }

private:
    // Pixel indices stay below 2^40; the generation takes the bits above.
    static constexpr int kGenerationShift = 40;
    static constexpr std::uint64_t kLastGeneration = (std::uint64_t{1} << 24) - 1;

    struct Entry {
        std::uint64_t tag = 0; // generation and pixel index; generation 0 is never current
        float fx = 0;
        float fy = 0;
    };
    void fill(const GreyView& image, float weight, std::int32_t x, std::int32_t y, Entry& entry,
              std::uint64_t tag);
    bool valid_ = false;
    std::uint64_t generation_ = 0;
    const std::uint8_t* grey_ = nullptr;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    int outside_ = 0;
    std::uint32_t weight_ = 0; // bits
    std::array<Entry, kEntries> entries_{};
};

// What the pixels the points of a closed contour remember (KernelRows::readPixel) were read
// with. They hold while the edge-force cache keeps its generation (the same picture, polarity
// and edge weight) and the image pressure's threshold and weight stay, for the steps of one
// run: Init, a step on its own and a new run forget them, so that pixels rewritten in place
// in between are read again.
class PixelMemory {
public:
    // True when the remembered pixels may be used with these weights, the edge-force cache
    // having just been prepared (newGeneration: it began afresh). Otherwise the caller empties
    // them, and from then on they count as read with these weights.
    bool stillHolds(bool newGeneration, double threshold, double imageWeight);
    void forget() { valid_ = false; }

private:
    bool valid_ = false;
    std::uint64_t threshold_ = 0; // bits
    std::uint64_t imageWeight_ = 0;
};

struct StepScratch {
    DirectionTable directions;
    PressureTable pressures;
    EdgeForceCache edges;
    PixelMemory pixels;
    KernelRows rows{};
    std::int32_t directionRows = 0; // the point count rows.cosTheta and sinTheta hold

    // Back to the state of a new model.
    void reset();
};

} // namespace orvik
