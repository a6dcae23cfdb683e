// The local threshold: a background by grey closing or opening, then Otsu on the contrast to it.
#include "core/init_arguments.h"
#include "document/separate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace orvik {

namespace {

// The minimum or maximum over windows of 2r + 1 samples, centred, of `count` samples `stride`
// apart (van Herk and Gil–Werman: two running passes per block of the window's length, so
// the cost does not grow with the radius). The window is cut short at the ends.
class SlidingExtreme {
public:
    SlidingExtreme(int count, int radius)
        : radius_(radius), length_(roundedUp(count + 2 * radius, 2 * radius + 1)), line_(length_),
          forward_(length_), backward_(length_) {}

    void run(float* samples, std::size_t stride, int count, bool takeMax) {
        const float none = takeMax ? -std::numeric_limits<float>::infinity()
                                   : std::numeric_limits<float>::infinity();
        const auto pick = [takeMax](float a, float b) {
            return takeMax ? std::max(a, b) : std::min(a, b);
        };
        std::fill(line_.begin(), line_.end(), none);
        for (int i = 0; i < count; ++i)
            line_[radius_ + i] = samples[i * stride];
        const int window = 2 * radius_ + 1;
        for (int i = 0; i < length_; ++i)
            forward_[i] = i % window == 0 ? line_[i] : pick(forward_[i - 1], line_[i]);
        for (int i = length_ - 1; i >= 0; --i)
            backward_[i] = i % window == window - 1 || i == length_ - 1
                               ? line_[i]
                               : pick(backward_[i + 1], line_[i]);
        for (int i = 0; i < count; ++i)
            samples[i * stride] = pick(backward_[i], forward_[i + window - 1]);
    }

private:
    static int roundedUp(int n, int step) { return (n + step - 1) / step * step; }
    int radius_, length_;
    std::vector<float> line_, forward_, backward_;
};

// A picture of floats, `width` × `height`, row by row.
struct Plane {
    int width = 0, height = 0;
    std::vector<float> samples;
    float* row(int y) { return samples.data() + static_cast<std::size_t>(y) * width; }
};

// The minimum or maximum over the square window of 2r + 1 pixels, rows then columns, in place.
void squareExtreme(Plane& plane, int r, bool takeMax) {
    SlidingExtreme rows(plane.width, r), columns(plane.height, r);
    for (int y = 0; y < plane.height; ++y)
        rows.run(plane.row(y), 1, plane.width, takeMax);
    for (int x = 0; x < plane.width; ++x)
        columns.run(plane.samples.data() + x, plane.width, plane.height, takeMax);
}

// The mean over the square window of 2r + 1 pixels (cut short at the plane's ends), in place.
void squareMean(Plane& plane, int r) {
    std::vector<float> line(std::max(plane.width, plane.height));
    const auto smooth = [r, &line](float* samples, std::size_t stride, int count) {
        for (int i = 0; i < count; ++i)
            line[i] = samples[i * stride];
        double sum = 0;
        int inside = 0;
        for (int i = 0; i < std::min(r, count); ++i, ++inside)
            sum += line[i];
        for (int i = 0; i < count; ++i) {
            if (i + r < count) {
                sum += line[i + r];
                ++inside;
            }
            if (i - r - 1 >= 0) {
                sum -= line[i - r - 1];
                --inside;
            }
            samples[i * stride] = static_cast<float>(sum / inside);
        }
    };
    for (int y = 0; y < plane.height; ++y)
        smooth(plane.row(y), 1, plane.width);
    for (int x = 0; x < plane.width; ++x)
        smooth(plane.samples.data() + x, plane.width, plane.height);
}

// The picture with `pad` pixels more on every side, continued past each border as the border
// continues it: mirrored through the mean of the five samples next to the border (a point
// reflection), so that a slope of the light runs on and the background's windows need not be
// cut short where the light falls off towards a corner. Rows first, then the columns of the
// widened rows.
Plane continuedPast(const std::vector<float>& grey, int width, int height, int pad) {
    Plane plane{width + 2 * pad, height + 2 * pad, {}};
    plane.samples.assign(static_cast<std::size_t>(plane.width) * plane.height, 0.0f);
    const auto reflect = [pad](float* samples, std::size_t stride, int count) {
        const int near = std::min(5, count);
        const auto at = [&](int i) -> float& { return samples[(pad + i) * stride]; };
        float first = 0, last = 0;
        for (int i = 0; i < near; ++i) {
            first += at(i) / near;
            last += at(count - 1 - i) / near;
        }
        for (int k = 1; k <= pad; ++k) {
            at(-k) = 2 * first - at(std::min(k, count - 1));
            at(count - 1 + k) = 2 * last - at(std::max(count - 1 - k, 0));
        }
    };
    for (int y = 0; y < height; ++y) {
        float* row = plane.row(pad + y);
        for (int x = 0; x < width; ++x)
            row[pad + x] = grey[static_cast<std::size_t>(y) * width + x];
        reflect(row, 1, width);
    }
    for (int x = 0; x < plane.width; ++x)
        reflect(plane.samples.data() + x, plane.width, height);
    return plane;
}

// Otsu's level of a histogram: the samples at or below it against those above.
int otsuLevel(const std::array<double, 256>& histogram) {
    double count = 0, total = 0;
    for (int g = 0; g < 256; ++g) {
        count += histogram[g];
        total += g * histogram[g];
    }
    double below = 0, belowSum = 0, best = -1;
    int level = 0;
    for (int t = 0; t < 255; ++t) {
        below += histogram[t];
        belowSum += t * histogram[t];
        const double above = count - below;
        if (below == 0 || above == 0) continue;
        const double gap = belowSum / below - (total - belowSum) / above;
        const double between = below * above * gap * gap;
        if (between > best) {
            best = between;
            level = t;
        }
    }
    return level;
}

} // namespace

std::vector<std::uint8_t> locallyDistinct(const std::uint8_t* grey, int width, int height,
                                          int radius, bool blackOnWhite, double* standingOut) {
    const std::size_t count = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
    std::vector<std::uint8_t> mask(count, 0);
    if (count == 0) return mask;
    // A window wider than the picture sees nothing more.
    radius = std::clamp(radius, MinLocalRadius, std::max({MinLocalRadius, width, height}));
    radius = std::min(radius, MaxLocalRadius);
    // Dark objects are filled by the light round them (the maximum), then the ground is
    // brought back to its own extent (the minimum); light objects the other way round. The
    // square corners this leaves are smoothed over half the window.
    // The background is smooth over the window: it is found on the picture shrunk by
    // `factor` (the mean of each factor × factor block) and read back between the blocks'
    // middles, at a sixteenth of the cost for the default window.
    const int factor = std::max(1, radius / 12);
    const int smallWidth = (width + factor - 1) / factor,
              smallHeight = (height + factor - 1) / factor;
    std::vector<float> shrunk(static_cast<std::size_t>(smallWidth) * smallHeight, 0.0f);
    {
        std::vector<float> weight(shrunk.size(), 0.0f);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::size_t at =
                    static_cast<std::size_t>(y / factor) * smallWidth + x / factor;
                shrunk[at] += grey[static_cast<std::size_t>(y) * width + x];
                weight[at] += 1;
            }
        for (std::size_t i = 0; i < shrunk.size(); ++i)
            shrunk[i] /= weight[i];
    }
    const int smallRadius = std::max(1, radius / factor), pad = 2 * smallRadius;
    Plane ground = continuedPast(shrunk, smallWidth, smallHeight, pad);
    squareExtreme(ground, smallRadius, blackOnWhite);
    squareExtreme(ground, smallRadius, !blackOnWhite);
    squareMean(ground, std::max(1, smallRadius / 2));
    // Each pixel's place among the blocks' middles, along x and along y.
    struct Between {
        int first;
        float share; // of the next block
    };
    const auto between = [factor, pad](int i) {
        const float at = (i + 0.5f) / factor - 0.5f;
        const int first = static_cast<int>(std::floor(at));
        return Between{first + pad, at - static_cast<float>(first)};
    };
    std::vector<Between> across(width);
    for (int x = 0; x < width; ++x)
        across[x] = between(x);
    std::vector<std::uint8_t> contrast(count);
    std::array<double, 256> histogram{};
    for (int y = 0; y < height; ++y) {
        const Between down = between(y);
        const float* upper = ground.row(down.first);
        const float* lower = ground.row(down.first + 1);
        const std::size_t row = static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const Between along = across[x];
            const float* u = upper + along.first;
            const float* l = lower + along.first;
            const float background = (1 - down.share) * (u[0] + along.share * (u[1] - u[0])) +
                                     down.share * (l[0] + along.share * (l[1] - l[0]));
            const float towardObjects =
                blackOnWhite ? background - grey[row + x] : grey[row + x] - background;
            const auto level =
                static_cast<std::uint8_t>(std::clamp(towardObjects, 0.0f, 255.0f) + 0.5f);
            contrast[row + x] = level;
            ++histogram[level];
        }
    }
    if (histogram[0] == static_cast<double>(count)) return mask;
    const int level = otsuLevel(histogram);
    double objectSum = 0, objectCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        mask[i] = contrast[i] > level ? 1 : 0;
        if (mask[i] != 0) {
            objectSum += contrast[i];
            ++objectCount;
        }
    }
    // A region is kept when its mean contrast is above the level by a fifth of the objects'
    // mean contrast over it: the noise of the ground crosses the level in flecks that only
    // just stand out, an object stands out as a whole. (A fifth keeps the faintest of
    // scikit-image's coins; a quarter loses it, a half loses three.)
    const double least = level + 0.2 * (objectSum / objectCount - level);
    std::vector<int> labels;
    const int regions =
        splitRegions(mask, width, height, std::numeric_limits<double>::infinity(), labels);
    std::vector<double> sum(regions, 0.0), pixels(regions, 0.0);
    for (std::size_t i = 0; i < count; ++i)
        if (labels[i] >= 0) {
            sum[labels[i]] += contrast[i];
            ++pixels[labels[i]];
        }
    for (std::size_t i = 0; i < count; ++i)
        if (labels[i] >= 0 && sum[labels[i]] < least * pixels[labels[i]]) mask[i] = 0;
    if (standingOut != nullptr) {
        double kept = 0, total = 0;
        for (std::size_t i = 0; i < count; ++i)
            if (mask[i] != 0) {
                total += contrast[i];
                ++kept;
            }
        *standingOut = kept > 0 ? total / kept : 0;
    }
    return mask;
}

bool locallyBlackOnWhite(const std::uint8_t* grey, int width, int height, int radius) {
    double contrast[2] = {0, 0}, border[2] = {0, 0};
    for (const bool dark : {true, false}) {
        const std::vector<std::uint8_t> mask =
            locallyDistinct(grey, width, height, radius, dark, &contrast[dark]);
        // The share of the picture's border pixels on this side.
        double on = 0, all = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (y == 0 || x == 0 || y == height - 1 || x == width - 1) {
                    on += mask[static_cast<std::size_t>(y) * width + x];
                    ++all;
                }
        border[dark] = all > 0 ? on / all : 0;
    }
    // As with one threshold, the objects are the side the border mostly is not on, where the
    // two differ clearly; else the side that stands out further.
    if (std::abs(border[1] - border[0]) > 0.1) return border[1] < border[0];
    return contrast[1] >= contrast[0];
}

} // namespace orvik
