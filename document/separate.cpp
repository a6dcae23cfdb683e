// The split of touching objects: a flood of the distance map from its maxima, and the
// hole filling before it.
#include "document/separate.h"

#include "core/init_arguments.h"
#include "document/labelling.h"
#include "document/worker_pool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace orvik {

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
struct Basins : UnionFind {
    std::vector<double> peak;
    int fresh(double height) {
        peak.push_back(height);
        return UnionFind::fresh();
    }
};

// The roots' pixels numbered in the order of their first pixel.
int numbered(std::vector<int>& labels, UnionFind& basins) {
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
                 std::vector<int>& labels, int threads) {
    const std::size_t count = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
    labels.assign(count, -1);
    if (count == 0) return 0;
    if (!(depth < std::numeric_limits<double>::infinity()))
        return labelRegions(mask, width, height, labels, threads);

    // Holes (ground no path of ground leads out of) count as object: a fleck inside an object
    // would otherwise be a valley of the distance map all round it.
    const std::vector<std::uint8_t> filled = withoutHoles(mask, width, height);
    std::vector<int> region(count, -1);
    const int whole = labelRegions(filled, width, height, region, threads);
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
    // The regions flooded on the threads, each labelling its own pixels with its parts from 0;
    // then the parts numbered on from those of the regions before.
    std::vector<int> found(static_cast<std::size_t>(whole));
    forEachItem(found.size(), threads, [&](std::size_t r) {
        const Box b{std::max(boxes[r].x1 - 1, 0), std::max(boxes[r].y1 - 1, 0),
                    std::min(boxes[r].x2 + 1, width), std::min(boxes[r].y2 + 1, height)};
        const int w = b.x2 - b.x1, h = b.y2 - b.y1;
        std::vector<std::uint8_t> piece(static_cast<std::size_t>(w) * h, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                piece[static_cast<std::size_t>(y) * w + x] =
                    region[static_cast<std::size_t>(b.y1 + y) * width + b.x1 + x] == int(r);
        std::vector<int> pieceLabels;
        found[r] = floodedRegion(piece, w, h, depth, pieceLabels);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t i = static_cast<std::size_t>(b.y1 + y) * width + b.x1 + x;
                const int part = pieceLabels[static_cast<std::size_t>(y) * w + x];
                if (part >= 0 && mask[i] != 0) labels[i] = part;
            }
    });
    std::vector<int> first(found.size() + 1, 0);
    for (std::size_t r = 0; r < found.size(); ++r)
        first[r + 1] = first[r] + found[r];
    for (std::size_t i = 0; i < count; ++i)
        if (labels[i] >= 0) labels[i] += first[static_cast<std::size_t>(region[i])];
    Basins parts; // one root per part found, over all regions
    for (int k = 0; k < first.back(); ++k)
        parts.fresh(0);
    return numbered(labels, parts);
}

} // namespace orvik
