// Labelling a mask's regions in bands of rows, joined across the bands' borders.
#include "document/labelling.h"

#include "document/worker_pool.h"

#include <algorithm>

namespace orvik {

namespace {

// Below this many pixels the picture is labelled in one band: starting threads would cost
// more than they save.
constexpr long long MinBandedPixels = 1 << 18;
// The fewest rows a band has.
constexpr int MinBandRows = 32;
// Bands per worker.
constexpr int BandsPerThread = 2;

// The rows y1 .. y2 - 1 labelled on their own, as if the picture began at y1: one raster pass.
// A pixel whose upper neighbour is labelled takes its label: the other three neighbours looked
// at touch that one and were joined to it already. Otherwise the left and upper-left ones were
// joined when the left one was labelled, and only the upper-right one can bring a second label.
// The labels are the band's own, from 0, each set's root its first label made.
void labelBand(const std::vector<std::uint8_t>& mask, int width, int y1, int y2,
               std::vector<int>& labels, UnionFind& sets) {
    for (int y = y1; y < y2; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * width;
        const int* above = y > y1 ? &labels[row - width] : nullptr;
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
                if (found < 0)
                    found = upRight;
                else
                    sets.join(found, upRight);
            }
            labels[row + x] = found >= 0 ? found : sets.fresh();
        }
    }
}

} // namespace

std::vector<int> rowBands(int width, int height, int threads) {
    const long long pixels = static_cast<long long>(std::max(width, 0)) * std::max(height, 0);
    int count = 1;
    if (threads > 1 && pixels >= MinBandedPixels)
        count = std::clamp(std::min(threads, 64) * BandsPerThread, 1,
                           std::max(height / MinBandRows, 1));
    std::vector<int> starts;
    for (int b = 0; b < count; ++b)
        starts.push_back(static_cast<int>(static_cast<long long>(height) * b / count));
    starts.push_back(std::max(height, 0));
    return starts;
}

int labelRegions(const std::vector<std::uint8_t>& mask, int width, int height,
                 std::vector<int>& labels, int threads, std::vector<int>* firsts) {
    const std::size_t count = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
    labels.assign(count, -1);
    const std::vector<int> bands = rowBands(width, height, threads);
    const std::size_t n = bands.size() - 1;
    std::vector<UnionFind> sets(n);
    forEachItem(n, threads, [&](std::size_t b) {
        labelBand(mask, width, bands[b], bands[b + 1], labels, sets[b]);
    });

    // One set of labels over all bands: band b's label l is offset[b] + l.
    std::vector<int> offset(n + 1, 0);
    for (std::size_t b = 0; b < n; ++b)
        offset[b + 1] = offset[b] + static_cast<int>(sets[b].parent.size());
    UnionFind joined;
    joined.parent.resize(static_cast<std::size_t>(offset[n]));
    for (std::size_t b = 0; b < n; ++b)
        for (int l = 0; l < static_cast<int>(sets[b].parent.size()); ++l)
            joined.parent[offset[b] + l] = offset[b] + sets[b].root(l);
    // A region crossing a border has a pixel on each side of it, 8-neighbours.
    for (std::size_t b = 1; b < n; ++b) {
        const std::size_t below = static_cast<std::size_t>(bands[b]) * width;
        const std::size_t above = below - width;
        for (int x = 0; x < width; ++x) {
            const int l = labels[below + x];
            if (l < 0) continue;
            for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx)
                if (labels[above + nx] >= 0)
                    joined.join(offset[b] + l, offset[b - 1] + labels[above + nx]);
        }
    }

    // Within a band a set's root is its first label made, at its first pixel there, so its
    // roots in rising order come in the order of their first pixels; band after band, that is
    // the order of the regions' first pixels in the picture.
    std::vector<int> number(joined.parent.size(), -1);
    std::vector<std::vector<int>> numbers(n);
    int regions = 0;
    if (firsts != nullptr) firsts->clear();
    for (std::size_t b = 0; b < n; ++b) {
        if (firsts != nullptr) firsts->push_back(regions);
        const int made = static_cast<int>(sets[b].parent.size());
        for (int l = 0; l < made; ++l)
            if (sets[b].parent[l] == l) {
                int& k = number[joined.root(offset[b] + l)];
                if (k < 0) k = regions++;
            }
        numbers[b].resize(static_cast<std::size_t>(made));
        for (int l = 0; l < made; ++l)
            numbers[b][l] = number[joined.root(offset[b] + l)];
    }
    if (firsts != nullptr) firsts->push_back(regions);
    forEachItem(n, threads, [&](std::size_t b) {
        const std::vector<int>& to = numbers[b];
        const auto end = labels.begin() + static_cast<std::ptrdiff_t>(bands[b + 1]) * width;
        for (auto it = labels.begin() + static_cast<std::ptrdiff_t>(bands[b]) * width; it != end;
             ++it)
            if (*it >= 0) *it = to[static_cast<std::size_t>(*it)];
    });
    return regions;
}

} // namespace orvik
