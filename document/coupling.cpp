// Sharing out the pixels of overlapping objects, and what each of them sees of the others.
#include "document/coupling.h"

#include "core/field_table.h"
#include "core/measurements.h"
#include "document/labelling.h"
#include "document/separate.h"
#include "document/worker_pool.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <tuple>

namespace orvik {

std::vector<std::vector<std::size_t>>
enclosedPixels(const std::vector<const PictureObject*>& objects, int width, int height,
               int threads) {
    std::vector<std::vector<std::size_t>> pixels(objects.size());
    forEachItem(objects.size(), threads, [&](std::size_t k) {
        const ContourResult& r = objects[k]->result;
        if (!objects[k]->error.empty() || !r.closed || r.contour.size() < 3) return;
        forEachInsideSpan(r.contour, width, height,
                          [&](std::int32_t y, std::int32_t first, std::int32_t last) {
                              for (std::int32_t x = first; x <= last; ++x)
                                  pixels[k].push_back(static_cast<std::size_t>(y) * width + x);
                          });
    });
    return pixels;
}

std::vector<Overlap> overlaps(const std::vector<std::vector<std::size_t>>& pixels, int width,
                              int threads) {
    // Most pictures' objects overlap nowhere: only pairs whose bounds meet are compared, pixel
    // by pixel, found by a sweep over the bounds' left edges.
    struct Bounds {
        std::size_t k;
        int x1, x2, y1, y2;
    };
    std::vector<Bounds> each(pixels.size());
    forEachItem(pixels.size(), threads, [&](std::size_t k) {
        if (pixels[k].empty()) return;
        Bounds b{k, width, -1, static_cast<int>(pixels[k].front() / width),
                 static_cast<int>(pixels[k].back() / width)};
        // The pixels come a row at a time: the row is found again only when it changes.
        std::size_t rowStart = 0;
        int y = -1;
        for (const std::size_t i : pixels[k]) {
            if (y < 0 || i < rowStart || i - rowStart >= static_cast<std::size_t>(width)) {
                y = static_cast<int>(i / width);
                rowStart = static_cast<std::size_t>(y) * width;
            }
            const int x = static_cast<int>(i - rowStart);
            b.x1 = std::min(b.x1, x);
            b.x2 = std::max(b.x2, x);
            b.y1 = std::min(b.y1, y);
            b.y2 = std::max(b.y2, y);
        }
        each[k] = b;
    });
    std::vector<Bounds> bounds;
    for (std::size_t k = 0; k < pixels.size(); ++k)
        if (!pixels[k].empty()) bounds.push_back(each[k]);
    std::vector<std::vector<std::size_t>> sorted(pixels.size());
    std::sort(bounds.begin(), bounds.end(), [](const Bounds& a, const Bounds& b) {
        return std::tie(a.x1, a.k) < std::tie(b.x1, b.k);
    });
    const auto inOrder = [&](std::size_t k) -> const std::vector<std::size_t>& {
        if (sorted[k].empty()) {
            sorted[k] = pixels[k];
            std::sort(sorted[k].begin(), sorted[k].end());
        }
        return sorted[k];
    };
    std::vector<Overlap> found;
    std::vector<std::size_t> both;
    for (std::size_t a = 0; a < bounds.size(); ++a)
        for (std::size_t b = a + 1; b < bounds.size() && bounds[b].x1 <= bounds[a].x2; ++b) {
            const Bounds& p = bounds[a];
            const Bounds& q = bounds[b];
            if (q.y1 > p.y2 || p.y1 > q.y2) continue;
            const std::size_t first = std::min(p.k, q.k), second = std::max(p.k, q.k);
            both.clear();
            const auto& sa = inOrder(first);
            const auto& sb = inOrder(second);
            std::set_intersection(sa.begin(), sa.end(), sb.begin(), sb.end(),
                                  std::back_inserter(both));
            const double smaller =
                static_cast<double>(std::min(pixels[first].size(), pixels[second].size()));
            if (!both.empty() && static_cast<double>(both.size()) >= OverlapShare * smaller)
                found.push_back({first, second, both.size()});
        }
    std::sort(found.begin(), found.end(), [](const Overlap& a, const Overlap& b) {
        return std::tie(a.first, a.second) < std::tie(b.first, b.second);
    });
    return found;
}

namespace {

// The pixel at the middle of the object's box, where its analysis starts from, when it is in
// `inUnion` (the pixels of `box`, row by row); else the one of `pixels` nearest it (of equal
// ones, the first).
std::size_t middlePixel(const PictureObject& object, const std::vector<std::size_t>& pixels,
                        const Box& box, const std::vector<std::uint8_t>& inUnion, int width) {
    const Box own = boxOf(object.values.fields);
    const double mx = (own.x1 + own.x2) / 2.0, my = (own.y1 + own.y2) / 2.0;
    const int cx = static_cast<int>(std::floor(mx)), cy = static_cast<int>(std::floor(my));
    if (cx >= box.x1 && cy >= box.y1 && cx < box.x2 && cy < box.y2 &&
        inUnion[static_cast<std::size_t>(cy - box.y1) * (box.x2 - box.x1) + (cx - box.x1)] != 0)
        return static_cast<std::size_t>(cy) * width + cx;
    std::size_t best = pixels.front();
    double nearest = -1;
    for (const std::size_t i : pixels) {
        const double dx = double(i % width) + 0.5 - mx, dy = double(i / width) + 0.5 - my;
        const double d = dx * dx + dy * dy;
        if (nearest < 0 || d < nearest || (d == nearest && i < best)) {
            nearest = d;
            best = i;
        }
    }
    return best;
}

} // namespace

namespace {

constexpr int Margin = 4; // pixels the shares reach past the union of their objects
// Pixels past an object's own that its contour may come to, and the others' shares it sees.
constexpr int Reach = Margin + 4;

// The bounds of an object's pixels, widened by what the shares and the walls reach.
Box reachOf(const std::vector<std::size_t>& pixels, int width, int height) {
    Box b{width, height, 0, 0};
    for (const std::size_t i : pixels) {
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        b.x1 = std::min(b.x1, x);
        b.y1 = std::min(b.y1, y);
        b.x2 = std::max(b.x2, x + 1);
        b.y2 = std::max(b.y2, y + 1);
    }
    const int reach = Reach;
    return {std::max(b.x1 - reach, 0), std::max(b.y1 - reach, 0), std::min(b.x2 + reach, width),
            std::min(b.y2 + reach, height)};
}

bool meet(const Box& a, const Box& b) {
    return a.x1 < b.x2 && b.x1 < a.x2 && a.y1 < b.y2 && b.y1 < a.y2;
}

// Shares out the pixels of `group` (indices into `objects`, each reaching as far as the box
// beside it in `reaches`), all within `box`, and adds to each member's edit the other shares
// it reaches.
void shareGroup(const GreyImage& image, const std::vector<const PictureObject*>& objects,
                const std::vector<std::vector<std::size_t>>& pixels,
                const std::vector<std::size_t>& group, const std::vector<Box>& reaches,
                const Box& box, std::vector<GroundEdit>& edits) {
    const int width = image.ImageWidth;
    const int w = box.x2 - box.x1, h = box.y2 - box.y1;
    const std::size_t size = static_cast<std::size_t>(w) * h;
    const auto local = [&](std::size_t i) {
        return static_cast<std::size_t>(static_cast<int>(i / width) - box.y1) * w +
               (static_cast<int>(i % width) - box.x1);
    };
    const auto global = [&](std::size_t j) {
        return static_cast<std::size_t>(box.y1 + static_cast<int>(j / w)) * width + box.x1 +
               static_cast<int>(j % w);
    };

    // The union of the objects' pixels and a margin round it, and each object's middle as
    // the seed of its share. The shares are flooded from the seeds down the distance map of
    // the union's pixels on the objects' side of their threshold, then over the union's other
    // pixels, then out into the margin nearest first. So the border between two shares runs
    // along the valley where touching objects meet, a contour that strayed over ground onto
    // another object's pixels gives them back, and the border runs on past the union's edge
    // where a contour might slip round it.
    double level = 0;
    for (const std::size_t k : group)
        level += at(objects[k]->values.fields, Field::Threshold) / 4.0;
    level /= static_cast<double>(group.size());
    const bool dark = objects[group.front()]->values.blackOnWhite;
    std::vector<std::uint8_t> inUnion(size, 0), offUnion(size, 1), objectSide(size, 0);
    for (const std::size_t k : group)
        for (const std::size_t i : pixels[k]) {
            const std::size_t j = local(i);
            inUnion[j] = 1;
            offUnion[j] = 0;
            const double grey = image.GreyData[i];
            objectSide[j] = dark ? grey < level : grey > level;
        }
    const std::vector<std::int64_t> inside = squaredDistances(objectSide, w, h);
    const std::vector<std::int64_t> outside = squaredDistances(offUnion, w, h);
    const auto key = [&](std::size_t j) {
        return objectSide[j] != 0 ? inside[j] : inUnion[j] != 0 ? 0 : -outside[j];
    };
    std::vector<int> share(size, -1);
    // Highest first; of equal ones the first pixel, so that the shares depend on where the
    // objects are and never on the order they are listed in.
    using Entry = std::tuple<std::int64_t, std::int64_t>; // key, −pixel
    std::priority_queue<Entry> flood;
    std::vector<std::pair<std::size_t, std::size_t>> seeds;
    for (const std::size_t k : group)
        if (!pixels[k].empty())
            seeds.emplace_back(local(middlePixel(*objects[k], pixels[k], box, inUnion, width)), k);
    std::sort(seeds.begin(), seeds.end());
    for (const auto& [j, k] : seeds) {
        if (share[j] >= 0) continue; // two middles on one pixel: the first object's
        share[j] = static_cast<int>(k);
        flood.emplace(key(j), -static_cast<std::int64_t>(j));
    }
    constexpr std::pair<int, int> Steps[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    while (!flood.empty()) {
        const auto j = static_cast<std::size_t>(-std::get<1>(flood.top()));
        flood.pop();
        const int x = static_cast<int>(j % w), y = static_cast<int>(j / w);
        for (const auto& [dx, dy] : Steps) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
            const std::size_t n = static_cast<std::size_t>(ny) * w + nx;
            if (share[n] >= 0 || (inUnion[n] == 0 && outside[n] > Margin * Margin)) continue;
            share[n] = share[j];
            flood.emplace(key(n), -static_cast<std::int64_t>(n));
        }
    }

    // What each object sees of the others: every pixel of another share within its reach
    // becomes ground as far from the level half-way between the two objects' thresholds as
    // the objects' mean grey is on the other side (where it is not already further: the
    // ground is left as it is), so that the image force pushes it back from the border
    // between their shares as hard as it pushes out over the objects, all along it.
    std::vector<double> meanGrey(objects.size(), 0.0);
    for (const std::size_t k : group) {
        double sum = 0;
        for (const std::size_t i : pixels[k])
            sum += image.GreyData[i];
        meanGrey[k] = pixels[k].empty() ? 0 : sum / double(pixels[k].size());
    }
    for (std::size_t m = 0; m < group.size(); ++m) {
        const std::size_t k = group[m];
        const PictureObject& own = *objects[k];
        const Box& mine = reaches[m];
        GroundEdit& edit = edits[k];
        for (int y = std::max(mine.y1, box.y1); y < std::min(mine.y2, box.y2); ++y)
            for (int x = std::max(mine.x1, box.x1); x < std::min(mine.x2, box.x2); ++x) {
                const std::size_t j = static_cast<std::size_t>(y - box.y1) * w + (x - box.x1);
                int other = share[j];
                if (other == static_cast<int>(k)) {
                    other = -1;
                    for (const auto& [dx, dy] : Steps) {
                        const int nx = x - box.x1 + dx, ny = y - box.y1 + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                        const int n = share[static_cast<std::size_t>(ny) * w + nx];
                        if (n >= 0 && n != static_cast<int>(k)) other = std::max(other, n);
                    }
                }
                if (other < 0) continue;
                const double level = (at(own.values.fields, Field::Threshold) +
                                      at(objects[other]->values.fields, Field::Threshold)) /
                                     8.0;
                const std::size_t i = global(j);
                const long grey = image.GreyData[i];
                const double mean = (meanGrey[k] + meanGrey[other]) / 2;
                const long mirrored = std::clamp(std::lround(2 * level - mean), 0L, 255L);
                const long ground =
                    own.values.blackOnWhite ? std::max(grey, mirrored) : std::min(grey, mirrored);
                if (ground == grey) continue;
                edit.pixels.push_back(i);
                edit.grey.push_back(static_cast<std::uint8_t>(ground));
            }
    }
}

} // namespace

std::vector<GroundEdit> groundOfOthers(const GreyImage& image,
                                       const std::vector<const PictureObject*>& objects,
                                       const std::vector<std::vector<std::size_t>>& pixels,
                                       const std::vector<std::size_t>& coupled) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    std::vector<GroundEdit> edits(objects.size());

    // Objects whose reaches meet are shared out together, each group in the box round it.
    const int count = static_cast<int>(coupled.size());
    std::vector<Box> reach(coupled.size());
    UnionFind groups;
    for (int a = 0; a < count; ++a) {
        reach[std::size_t(a)] = reachOf(pixels[coupled[std::size_t(a)]], width, height);
        groups.fresh();
    }
    for (int a = 0; a < count; ++a)
        for (int b = a + 1; b < count; ++b)
            if (meet(reach[std::size_t(a)], reach[std::size_t(b)])) groups.join(a, b);
    for (int g = 0; g < count; ++g) {
        if (groups.root(g) != g) continue;
        std::vector<std::size_t> members;
        std::vector<Box> reaches;
        Box box{width, height, 0, 0};
        for (std::size_t a = 0; a < coupled.size(); ++a)
            if (groups.root(int(a)) == g) {
                members.push_back(coupled[a]);
                reaches.push_back(reach[a]);
                box = {std::min(box.x1, reach[a].x1), std::min(box.y1, reach[a].y1),
                       std::max(box.x2, reach[a].x2), std::max(box.y2, reach[a].y2)};
            }
        shareGroup(image, objects, pixels, members, reaches, box, edits);
    }
    return edits;
}

} // namespace orvik
