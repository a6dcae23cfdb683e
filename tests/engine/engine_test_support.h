// Helpers of the engine tests: synthetic grey images bound to the sampling rule, a model
// built through Init from named parameters, bit-exact snapshots and a recording canvas.
#pragma once

#include "kontur.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace orvik::test {

// A grey image owned by the test and bound for Sample while it lives; an empty binding
// takes its place afterwards, so no later test reads freed pixels.
class BoundImage {
public:
    BoundImage(std::int32_t width, std::int32_t height, std::uint8_t fill, bool blackOnWhite = true)
        : width_(width), height_(height), blackOnWhite_(blackOnWhite) {
        const auto size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        grey_ = std::make_unique<std::uint8_t[]>(size);
        std::memset(grey_.get(), fill, size);
        bind();
    }
    // No image loaded: both sizes 0 and no buffer.
    explicit BoundImage(bool blackOnWhite) : blackOnWhite_(blackOnWhite) { bind(); }
    ~BoundImage() { BindImage(ImageBinding{}); }
    BoundImage(const BoundImage&) = delete;
    BoundImage& operator=(const BoundImage&) = delete;

    void set(std::int32_t x, std::int32_t y, std::uint8_t v) {
        grey_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
              static_cast<std::size_t>(x)] = v;
    }
    // Binds the calling thread's sampling to this image; the constructor binds its own.
    void bind() { BindImage(ImageBinding{&grey_, &width_, &height_, &blackOnWhite_}); }
    // Fills every pixel for which inside(x, y) holds.
    void paint(std::uint8_t v, const std::function<bool(int, int)>& inside) {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                if (inside(x, y)) set(x, y, v);
            }
        }
    }
    void setBlackOnWhite(bool v) { blackOnWhite_ = v; }

private:
    std::unique_ptr<std::uint8_t[]> grey_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    bool blackOnWhite_ = true;
};

// The scratch the tests step with: one per thread, shared by every model the thread steps,
// as a worker's is. What one model leaves in it must never show in another's steps.
inline StepScratch& scratch() {
    thread_local StepScratch shared;
    return shared;
}

// The sixteen Init arguments by name, defaulting to a quiet model.
struct Params {
    std::int32_t x1 = 10, y1 = 20, x2 = 50, y2 = 40;
    std::int32_t model = 1;
    std::int32_t points = 8;
    float tension = 0, rigidity = 0, radius = 10, form = 0, image = 0, threshold = 0, gradient = 0,
          inertia = 1, viscosity = 2;
    std::int32_t iterations = 0;
};

inline void init(KONTUR& k, const Params& p) {
    Init(k, p.x1, p.y1, p.x2, p.y2, p.model, p.points, p.tension, p.rigidity, p.radius, p.form,
         p.image, p.threshold, p.gradient, p.inertia, p.viscosity, p.iterations);
}

// Current-level accessors.
inline float x(const KONTUR& k, int i) {
    return pointX(k, i, currentLevel(k));
}
inline float y(const KONTUR& k, int i) {
    return pointY(k, i, currentLevel(k));
}
inline void setPoint(KONTUR& k, int i, float px, float py) {
    pointX(k, i, 0) = pointX(k, i, 1) = px;
    pointY(k, i, 0) = pointY(k, i, 1) = py;
}

// The bits of every float of the point buffer, so that comparisons are exact (signed zeros
// included).
inline std::vector<std::uint32_t> bits(const KONTUR& k) {
    std::vector<std::uint32_t> out(pointBufferSize(k.PointCount));
    for (std::size_t j = 0; j < out.size(); ++j) {
        out[j] = std::bit_cast<std::uint32_t>(k.Points[j]);
    }
    return out;
}

// What steps leave: the step count, the energy and the bits of both levels.
struct Snapshot {
    std::int32_t iteration;
    std::uint64_t energy;
    std::vector<std::uint32_t> points;
    bool operator==(const Snapshot&) const = default;
};

inline Snapshot snapshot(const KONTUR& k) {
    return {k.Iteration, std::bit_cast<std::uint64_t>(k.Energy), bits(k)};
}

// Records what Draw asks of the canvas.
class RecordingCanvas final : public ContourCanvas {
public:
    struct Vertex {
        std::int32_t x, y;
        bool operator==(const Vertex&) const = default;
    };
    void SelectRedPen() override { ++selects; }
    void RestorePen() override { ++restores; }
    void MoveTo(std::int32_t px, std::int32_t py) override {
        ++moves;
        vertices.push_back({px, py});
    }
    void LineTo(std::int32_t px, std::int32_t py) override { vertices.push_back({px, py}); }

    int selects = 0;
    int restores = 0;
    int moves = 0;
    std::vector<Vertex> vertices; // the move-to first, then each line-to
};

} // namespace orvik::test
