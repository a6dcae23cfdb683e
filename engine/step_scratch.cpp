// The step scratch: its tables, the edge-force cache, and when what it read is forgotten.
#include "step_scratch.h"

#include <algorithm>
#include <cmath>

namespace orvik {

StepScratch::StepScratch() : space_(std::make_unique<ScratchSpace>()) {}

StepScratch::~StepScratch() = default;

const DirectionTable* DirectionTable::forPointCount(std::int32_t n) {
    if (n < 1 || n > kKernelCapacity) return nullptr;
    if (n != pointCount_) {
        for (std::int32_t i = 0; i < n; ++i) {
            const float theta = static_cast<float>(i * kTwoPi / n);
            sin_[static_cast<std::size_t>(i)] =
                static_cast<float>(std::sin(static_cast<double>(theta)));
            cos_[static_cast<std::size_t>(i)] =
                static_cast<float>(std::cos(static_cast<double>(theta)));
        }
        pointCount_ = n;
    }
    return this;
}

const float* PressureTable::forWeights(double threshold, double imageWeight, bool thresholdFirst) {
    if (!valid_ || thresholdFirst != thresholdFirst_ ||
        std::bit_cast<std::uint64_t>(threshold) != threshold_ ||
        std::bit_cast<std::uint64_t>(imageWeight) != imageWeight_) {
        for (int g = 0; g < 256; ++g) {
            const double difference = thresholdFirst ? threshold - g : g - threshold;
            values_[static_cast<std::size_t>(g)] = static_cast<float>(difference * imageWeight);
        }
        thresholdFirst_ = thresholdFirst;
        threshold_ = std::bit_cast<std::uint64_t>(threshold);
        imageWeight_ = std::bit_cast<std::uint64_t>(imageWeight);
        valid_ = true;
    }
    return values_.data();
}

void EdgeForceCache::forget() {
    if (generation_ == kLastGeneration) {
        entries_.fill(Entry{});
        generation_ = 0;
    }
    ++generation_;
}

// Kept out of line: the common case, a pixel met before, is a few instructions that the
// caller inlines.
[[gnu::noinline]] void EdgeForceCache::fill(const GreyView& image, float weight, std::int32_t x,
                                            std::int32_t y, Entry& entry, std::uint64_t tag) {
    edgeForce<PlainArithmetic>(image, weight, x, y, entry.fx, entry.fy);
    entry.tag = tag;
}

void ScratchSpace::beginSteps(const GreyView& image, const KONTUR& k, bool continuing) {
    const ReadWith now{true,
                       image.grey,
                       image.width,
                       image.height,
                       image.outside,
                       std::bit_cast<std::uint32_t>(k.GradientWeight),
                       std::bit_cast<std::uint32_t>(k.Threshold),
                       std::bit_cast<std::uint32_t>(k.ImageWeight)};
    if (continuing && now == readWith_) return;
    edges.forget();
    rowsHold_ = false;
    readWith_ = now;
}

void ScratchSpace::keepOrEmptyRememberedPixels() {
    if (rowsHold_) return;
    std::fill(std::begin(rows.readNext), std::end(rows.readNext), 0);
    for (auto& place : rows.readPixel)
        std::fill(std::begin(place), std::end(place), kNoPixelRead);
    std::fill(std::begin(rows.pixelX), std::end(rows.pixelX), kNoPixel);
    rowsHold_ = true;
}

} // namespace orvik
