// The local threshold (a background by grey closing or opening, then Otsu on the contrast to
// it) and the split of touching objects (a flood of the distance map from its maxima).
#include "document/separate.h"

#include "core/init_arguments.h"

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

namespace {

constexpr double Far = 1e20;

// The squared distance along one line to the nearest zero of `f` (a lower envelope of
// parabolas, Felzenszwalb and Huttenlocher); lines with no finite sample stay far.
void lineDistances(const double* f, int count, double* d, std::vector<int>& v,
                   std::vector<double>& z) {
    int k = -1;
    for (int q = 0; q < count; ++q) {
        if (f[q] >= Far) continue;
        if (k < 0) {
            k = 0;
            v[0] = q;
            z[0] = -std::numeric_limits<double>::infinity();
            z[1] = std::numeric_limits<double>::infinity();
            continue;
        }
        double s = 0;
        while (true) {
            const int p = v[k];
            s = ((f[q] + double(q) * q) - (f[p] + double(p) * p)) / (2.0 * (q - p));
            if (s > z[k]) break;
            --k;
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = std::numeric_limits<double>::infinity();
    }
    if (k < 0) {
        std::fill(d, d + count, Far);
        return;
    }
    k = 0;
    for (int q = 0; q < count; ++q) {
        while (z[k + 1] < q)
            ++k;
        const double gap = q - v[k];
        d[q] = gap * gap + f[v[k]];
    }
}

// Union–find over basins, each root keeping its basin's peak.
struct Basins {
    std::vector<int> parent;
    std::vector<double> peak;
    int fresh(double height) {
        parent.push_back(static_cast<int>(parent.size()));
        peak.push_back(height);
        return parent.back();
    }
    int root(int a) {
        while (parent[a] != a)
            a = parent[a] = parent[parent[a]];
        return a;
    }
};

// The roots' pixels numbered in the order of their first pixel.
int numbered(std::vector<int>& labels, Basins& basins) {
    std::vector<int> number(basins.parent.size(), -1);
    int count = 0;
    // Runs of one label are the rule: its number is looked up once a run.
    int last = -1, lastNumber = -1;
    for (int& label : labels) {
        if (label < 0) continue;
        if (label != last) {
            last = label;
            int& n = number[basins.root(label)];
            if (n < 0) n = count++;
            lastNumber = n;
        }
        label = lastNumber;
    }
    return count;
}

// The mask with its holes filled: the ground pixels that no 4-connected path of ground joins
// to the picture's border.
std::vector<std::uint8_t> withoutHoles(const std::vector<std::uint8_t>& mask, int width,
                                       int height) {
    // The ground reached from the border, 4-connected, filled a run at a time: from each seed
    // the run of ground it lies in, then one seed for each run of ground beside it in the rows
    // above and below. Most of a picture is ground, and a run costs little more than its row.
    std::vector<std::uint8_t> filled(mask.size(), 1);
    const auto open = [&](int x, int y) {
        const std::size_t i = static_cast<std::size_t>(y) * width + x;
        return mask[i] == 0 && filled[i] != 0;
    };
    std::vector<std::pair<int, int>> seeds;
    const auto seedRuns = [&](int x1, int x2, int y) {
        if (y < 0 || y >= height) return;
        for (int x = x1; x <= x2; ++x) {
            if (!open(x, y)) continue;
            seeds.emplace_back(x, y);
            while (x + 1 <= x2 && open(x + 1, y))
                ++x;
        }
    };
    seedRuns(0, width - 1, 0);
    seedRuns(0, width - 1, height - 1);
    for (int y = 0; y < height; ++y) {
        if (open(0, y)) seeds.emplace_back(0, y);
        if (open(width - 1, y)) seeds.emplace_back(width - 1, y);
    }
    while (!seeds.empty()) {
        const auto [x, y] = seeds.back();
        seeds.pop_back();
        if (!open(x, y)) continue;
        int left = x, right = x;
        while (left > 0 && open(left - 1, y))
            --left;
        while (right + 1 < width && open(right + 1, y))
            ++right;
        std::fill_n(filled.begin() + static_cast<std::ptrdiff_t>(y) * width + left,
                    right - left + 1, 0);
        seedRuns(left, right, y - 1);
        seedRuns(left, right, y + 1);
    }
    return filled;
}

// Plain 8-connected labelling, one raster pass with union–find. A pixel whose upper neighbour
// is labelled takes its label: the other three neighbours looked at touch that one and were
// joined to it already. Otherwise the left and upper-left ones were joined when the left one
// was labelled, and only the upper-right one can bring a second label.
int connectedRegions(const std::vector<std::uint8_t>& mask, int width, int height,
                     std::vector<int>& labels) {
    Basins basins;
    for (int y = 0; y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * width;
        const int* above = y > 0 ? &labels[row - width] : nullptr;
        for (int x = 0; x < width; ++x) {
            if (mask[row + x] == 0) continue;
            const int up = above != nullptr ? above[x] : -1;
            if (up >= 0) {
                labels[row + x] = up;
                continue;
            }
            int found = x > 0 ? labels[row + x - 1] : -1;
            if (found < 0 && above != nullptr && x > 0) found = above[x - 1];
            const int upRight = above != nullptr && x + 1 < width ? above[x + 1] : -1;
            if (upRight >= 0) {
                if (found < 0) {
                    found = upRight;
                } else {
                    const int a = basins.root(found), b = basins.root(upRight);
                    if (a != b) basins.parent[std::max(a, b)] = std::min(a, b);
                }
            }
            labels[row + x] = found >= 0 ? found : basins.fresh(0);
        }
    }
    return numbered(labels, basins);
}

} // namespace

std::vector<std::int64_t> squaredDistances(const std::vector<std::uint8_t>& mask, int width,
                                           int height) {
    const std::size_t count = static_cast<std::size_t>(width) * height;
    std::vector<double> field(count), line(std::max(width, height)), out(line.size());
    std::vector<int> v(line.size() + 1);
    std::vector<double> z(line.size() + 2);
    for (std::size_t i = 0; i < count; ++i)
        field[i] = mask[i] != 0 ? Far : 0;
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y)
            line[y] = field[static_cast<std::size_t>(y) * width + x];
        lineDistances(line.data(), height, out.data(), v, z);
        for (int y = 0; y < height; ++y)
            field[static_cast<std::size_t>(y) * width + x] = out[y];
    }
    std::vector<std::int64_t> result(count);
    // A mask with no pixel off it anywhere: every pixel equally far.
    const std::int64_t farthest = std::int64_t(width) * width + std::int64_t(height) * height;
    for (int y = 0; y < height; ++y) {
        double* row = field.data() + static_cast<std::size_t>(y) * width;
        lineDistances(row, width, out.data(), v, z);
        for (int x = 0; x < width; ++x)
            result[static_cast<std::size_t>(y) * width + x] =
                out[x] >= Far ? farthest : static_cast<std::int64_t>(std::llround(out[x]));
    }
    return result;
}

namespace {

// The flood of splitRegions over one region (`filled`, its holes filled), `labels` numbered
// from 0 in the order of their first pixel; returns the count.
int floodedRegion(const std::vector<std::uint8_t>& filled, int width, int height, double depth,
                  std::vector<int>& labels) {
    const std::size_t count = filled.size();
    labels.assign(count, -1);
    const std::vector<std::int64_t> distance = squaredDistances(filled, width, height);
    // The mask's pixels from the farthest from the ground down; of equal ones, in raster
    // order. A key holds both: the distance's complement above, the index below.
    const std::int64_t farthest = std::int64_t(width) * width + std::int64_t(height) * height;
    std::vector<std::uint64_t> order;
    for (std::size_t i = 0; i < count; ++i)
        if (filled[i] != 0)
            order.push_back(static_cast<std::uint64_t>(farthest - distance[i]) << 32 | i);
    std::sort(order.begin(), order.end());

    Basins basins;
    for (const std::uint64_t key : order) {
        const auto i = static_cast<std::size_t>(key & 0xffffffffu);
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        const double level = std::sqrt(static_cast<double>(distance[i]));
        // The basins next to the pixel, each with the height of its highest pixel among them.
        std::array<int, 8> roots{};
        std::array<std::int64_t, 8> nearest{};
        int found = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= width || ny >= height)
                    continue;
                const std::size_t n = static_cast<std::size_t>(ny) * width + nx;
                if (labels[n] < 0) continue;
                const int root = basins.root(labels[n]);
                const auto at = std::find(roots.begin(), roots.begin() + found, root);
                if (at == roots.begin() + found) {
                    roots[found] = root;
                    nearest[found++] = distance[n];
                } else {
                    std::int64_t& height = nearest[at - roots.begin()];
                    height = std::max(height, distance[n]);
                }
            }
        if (found == 0) {
            labels[i] = basins.fresh(level);
            continue;
        }
        // The pixel joins the basin it is steepest uphill to (of equal ones, the higher peak,
        // then the first made), so that each object's rim stays with its own middle; a basin
        // whose peak is less than `depth` above this level is no object of its own and joins
        // the one with the highest peak.
        int best = 0;
        for (int k = 1; k < found; ++k) {
            const double pk = basins.peak[roots[k]], pb = basins.peak[roots[best]];
            if (nearest[k] > nearest[best] ||
                (nearest[k] == nearest[best] && (pk > pb || (pk == pb && roots[k] < roots[best]))))
                best = k;
        }
        int highest = 0;
        for (int k = 1; k < found; ++k)
            if (basins.peak[roots[k]] > basins.peak[roots[highest]] ||
                (basins.peak[roots[k]] == basins.peak[roots[highest]] && roots[k] < roots[highest]))
                highest = k;
        labels[i] = roots[best];
        for (int k = 0; k < found; ++k)
            if (k != highest && basins.peak[roots[k]] - level < depth)
                basins.parent[roots[k]] = roots[highest];
    }
    return numbered(labels, basins);
}

} // namespace

int splitRegions(const std::vector<std::uint8_t>& mask, int width, int height, double depth,
                 std::vector<int>& labels) {
    const std::size_t count = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
    labels.assign(count, -1);
    if (count == 0) return 0;
    if (!(depth < std::numeric_limits<double>::infinity()))
        return connectedRegions(mask, width, height, labels);

    // Holes (ground no path of ground leads out of) count as object: a fleck inside an object
    // would otherwise be a valley of the distance map all round it.
    const std::vector<std::uint8_t> filled = withoutHoles(mask, width, height);
    std::vector<int> region(count, -1);
    const int whole = connectedRegions(filled, width, height, region);
    // Each region apart, in its box and a pixel round it: the work grows with the objects'
    // area, not the picture's.
    std::vector<Box> boxes(whole, Box{width, height, 0, 0});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int r = region[static_cast<std::size_t>(y) * width + x];
            if (r < 0) continue;
            Box& b = boxes[r];
            b.x1 = std::min(b.x1, x);
            b.y1 = std::min(b.y1, y);
            b.x2 = std::max(b.x2, x + 1);
            b.y2 = std::max(b.y2, y + 1);
        }
    Basins parts; // one root per part found, over all regions
    std::vector<std::uint8_t> piece;
    std::vector<int> pieceLabels;
    for (int r = 0; r < whole; ++r) {
        const Box b{std::max(boxes[r].x1 - 1, 0), std::max(boxes[r].y1 - 1, 0),
                    std::min(boxes[r].x2 + 1, width), std::min(boxes[r].y2 + 1, height)};
        const int w = b.x2 - b.x1, h = b.y2 - b.y1;
        piece.assign(static_cast<std::size_t>(w) * h, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                piece[static_cast<std::size_t>(y) * w + x] =
                    region[static_cast<std::size_t>(b.y1 + y) * width + b.x1 + x] == r;
        const int found = floodedRegion(piece, w, h, depth, pieceLabels);
        const int first = static_cast<int>(parts.parent.size());
        for (int k = 0; k < found; ++k)
            parts.fresh(0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t i = static_cast<std::size_t>(b.y1 + y) * width + b.x1 + x;
                const int part = pieceLabels[static_cast<std::size_t>(y) * w + x];
                if (part >= 0 && mask[i] != 0) labels[i] = first + part;
            }
    }
    return numbered(labels, parts);
}

} // namespace orvik
