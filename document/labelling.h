// Labelling the regions of a mask, on worker threads for a large picture: the rows cut into
// bands, each band labelled on its own, the labels joined across the bands' borders, then
// numbered in the order of each region's first pixel, as one pass over the whole picture
// would number them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvik {

// Union–find over labels, each set's root its smallest label.
struct UnionFind {
    std::vector<int> parent;
    int fresh() {
        parent.push_back(static_cast<int>(parent.size()));
        return parent.back();
    }
    int root(int a) {
        while (parent[a] != a)
            a = parent[a] = parent[parent[a]];
        return a;
    }
    void join(int a, int b) {
        a = root(a);
        b = root(b);
        if (a < b)
            parent[b] = a;
        else if (b < a)
            parent[a] = b;
    }
};

// The rows of a width × height picture in bands for `threads` workers: the first row of each
// band, then `height`. One band for a small picture or one thread; more bands than workers
// otherwise, so that a worker slowed by other work holds the rest up less.
std::vector<int> rowBands(int width, int height, int threads);

// Plain 8-connected labelling of the mask's pixels (those not 0): `labels` gets one entry per
// pixel, -1 off the mask, the regions numbered from 0 in the order of their first pixel (rows
// top down, each left to right); returns the count. The bands are rowBands' for `threads`;
// with `firsts`, it gets the number of the first region whose first pixel lies in each band,
// then the count: a band's own regions are numbered firsts[b] to firsts[b + 1] - 1, and any
// other region in it began in a band above.
int labelRegions(const std::vector<std::uint8_t>& mask, int width, int height,
                 std::vector<int>& labels, int threads, std::vector<int>* firsts = nullptr);

} // namespace orvik
