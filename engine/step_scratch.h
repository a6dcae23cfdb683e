// What a StepScratch holds (kontur.h): tables worked out once for the parameters in use, the
// edge force of the pixels the contour has visited, what its points read at their last
// pixels, and the rows the fast path computes in. One function decides when what was read
// from the picture is forgotten: ScratchSpace::beginSteps.
#pragma once

#include "grey_view.h"
#include "kontur.h"
#include "kontur_internal.h"
#include "step_kernels.h"

#include <array>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>

namespace orvik {

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

// The edge force of the pixels of the picture's frame (grey_view.h), for one picture,
// polarity and weight, filled
// as the contour visits pixels, in a fixed number of entries (a pixel has one place, and a
// newcomer replaces what was there), so memory stays the same whatever the picture's size.
// Forgetting takes no time: each entry carries the generation it was filled in, and a new
// generation begins.
class EdgeForceCache {
public:
    // A contour that has settled keeps visiting a few thousand pixels; at this size they
    // rarely meet in one entry.
    static constexpr std::size_t kEntries = 16384;

    void forget();
    // The edge force at pixel (x, y), as edgeForce<PlainArithmetic> gives it, for the
    // picture and the weight (not zero) of the generation in use.
    void lookup(const GreyView& image, float weight, std::int32_t x, std::int32_t y, float& fx,
                float& fy);

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
    std::uint64_t generation_ = 1;
    std::array<Entry, kEntries> entries_{};
};

inline void EdgeForceCache::lookup(const GreyView& image, float weight, std::int32_t x,
                                   std::int32_t y, float& fx, float& fy) {
    const std::uint64_t pixel = framePixel(image, x, y);
    if (pixel >> kGenerationShift != 0) [[unlikely]] {
        // Beyond the frame nothing of the picture is near: no force, as edgeForce finds.
        if (pixel == kBeyondFrame) {
            fx = fy = PlainArithmetic::store(kEdgeScale * 0.0f);
            return;
        }
        // A frame too large for the tag (beyond 2^40 pixels): not worth an entry.
        edgeForce<PlainArithmetic>(image, weight, x, y, fx, fy);
        return;
    }
    const std::uint64_t tag = generation_ << kGenerationShift | pixel;
    // Neighbouring pixels land far apart, so a contour's pixels rarely share an entry.
    constexpr int kIndexShift = 64 - std::bit_width(kEntries - 1);
    Entry& entry = entries_[(pixel * 0x9E3779B97F4A7C15ull) >> kIndexShift];
    if (entry.tag != tag) [[unlikely]]
        fill(image, weight, x, y, entry, tag);
    fx = entry.fx;
    fy = entry.fy;
}

// A pixel no point has read (KernelRows::pixelX): a truncated coordinate on the fast path
// lies within ±2^20.
inline constexpr std::int32_t kNoPixel = INT32_MIN;

struct ScratchSpace {
    DirectionTable directions;
    PressureTable pressures;
    EdgeForceCache edges;
    KernelRows rows{};
    std::int32_t directionRows = 0; // the point count rows.cosTheta and sinTheta hold
    // The kernels the fast path runs: those chosen for this processor, unless a test picks
    // another set.
    const KernelSet* kernels = &activeKernels();

    // Called whenever steps begin, with the picture they read and the model they move: the
    // one place that decides what is forgotten. The cached edge forces and the pixels the
    // points remember are kept only when these steps continue a run (`continuing`: nothing
    // in between could have rewritten the picture in place) on the same picture, polarity
    // and weights; otherwise they are forgotten, and read afresh.
    void beginSteps(const GreyView& image, const KONTUR& k, bool continuing);

    // Empties the pixels the points remember in the rows (readPixel, pixelX), unless they
    // were read with what the steps read now.
    void keepOrEmptyRememberedPixels();

private:
    // What the remembered values were read with, as bits.
    struct ReadWith {
        bool valid = false; // false: nothing read yet
        const std::uint8_t* grey = nullptr;
        std::uint32_t width = 0, height = 0;
        int outside = 0;
        std::uint32_t gradientWeight = 0, threshold = 0, imageWeight = 0;
        bool operator==(const ReadWith&) const = default;
    };
    ReadWith readWith_{};
    bool rowsHold_ = false; // the pixels remembered in the rows were read with readWith_
};

} // namespace orvik
