// Sharing out the pixels of overlapping objects and walling the borders between their shares.
#include "document/coupling.h"

#include "core/field_table.h"
#include "core/measurements.h"
#include "document/separate.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <queue>
#include <tuple>

namespace orvik {

std::vector<std::vector<std::size_t>>
enclosedPixels(const std::vector<const PictureObject*>& objects, int width, int height) {
    std::vector<std::vector<std::size_t>> pixels(objects.size());
    for (std::size_t k = 0; k < objects.size(); ++k) {
        const ContourResult& r = objects[k]->result;
        if (!objects[k]->error.empty() || !r.closed || r.contour.size() < 3) continue;
        forEachInsideSpan(r.contour, width, height,
                          [&](std::int32_t y, std::int32_t first, std::int32_t last) {
                              for (std::int32_t x = first; x <= last; ++x)
                                  pixels[k].push_back(static_cast<std::size_t>(y) * width + x);
                          });
    }
    return pixels;
}

std::vector<Overlap> overlaps(const std::vector<std::vector<std::size_t>>& pixels,
                              std::size_t pictureSize) {
    // Most pictures' objects overlap nowhere: one owner per pixel, and the pairs counted
    // where a second object comes.
    std::vector<int> owner(pictureSize, -1);
    std::map<std::pair<std::size_t, std::size_t>, std::size_t> shared;
    for (std::size_t k = 0; k < pixels.size(); ++k)
        for (const std::size_t i : pixels[k]) {
            if (owner[i] >= 0) ++shared[{static_cast<std::size_t>(owner[i]), k}];
            owner[i] = static_cast<int>(k);
        }
    // A pixel in three objects counted the first pair only under the last owner: count again
    // exactly for the pairs found, which are few.
    std::vector<Overlap> found;
    for (const auto& [pair, roughCount] : shared) {
        (void)roughCount;
        const auto& a = pixels[pair.first];
        const auto& b = pixels[pair.second];
        std::vector<std::size_t> sa(a), sb(b), both;
        std::sort(sa.begin(), sa.end());
        std::sort(sb.begin(), sb.end());
        std::set_intersection(sa.begin(), sa.end(), sb.begin(), sb.end(), std::back_inserter(both));
        const double smaller = static_cast<double>(std::min(a.size(), b.size()));
        if (!both.empty() && static_cast<double>(both.size()) >= OverlapShare * smaller)
            found.push_back({pair.first, pair.second, both.size()});
    }
    return found;
}

namespace {

// The pixel at the middle of the object's box, where its analysis starts from, when it is one
// of `pixels`; else the one of them nearest it (of equal ones, the first).
std::size_t middlePixel(const PictureObject& object, const std::vector<std::size_t>& pixels,
                        const std::vector<std::uint8_t>& inUnion, int width, int height) {
    const Box box = boxOf(object.values.fields);
    const double mx = (box.x1 + box.x2) / 2.0, my = (box.y1 + box.y2) / 2.0;
    const int cx = static_cast<int>(std::floor(mx)), cy = static_cast<int>(std::floor(my));
    if (cx >= 0 && cy >= 0 && cx < width && cy < height) {
        const std::size_t middle = static_cast<std::size_t>(cy) * width + cx;
        if (inUnion[middle] != 0) return middle;
    }
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

GreyImage walledGrey(const GreyImage& image, const std::vector<const PictureObject*>& objects,
                     const std::vector<std::vector<std::size_t>>& pixels,
                     const std::vector<std::size_t>& coupled) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    const std::size_t size = static_cast<std::size_t>(width) * height;
    GreyImage walled;
    walled.ImageWidth = width;
    walled.ImageHeight = height;
    walled.GreyData = std::make_unique<std::uint8_t[]>(size);
    std::memcpy(walled.GreyData.get(), image.GreyData.get(), size);

    // The union of the coupled objects' pixels and a margin round it, and each object's middle
    // as the seed of its share. The shares are flooded from the seeds down the union's distance
    // map, then out into the margin nearest first, so that the border between two shares
    // runs on past the union's edge where a contour might slip round it.
    std::vector<std::uint8_t> inUnion(size, 0), offUnion(size, 1);
    for (const std::size_t k : coupled)
        for (const std::size_t i : pixels[k])
            inUnion[i] = 1, offUnion[i] = 0;
    const std::vector<std::int64_t> inside = squaredDistances(inUnion, width, height);
    const std::vector<std::int64_t> outside = squaredDistances(offUnion, width, height);
    const auto key = [&](std::size_t i) { return inUnion[i] != 0 ? inside[i] : -outside[i]; };
    constexpr std::int64_t Margin = 4; // pixels
    // A pixel is wall when another share is this many pixels away or fewer, either way: a
    // wall thinner than that lets a contour's points step over it.
    constexpr int WallReach = 3;
    std::vector<int> share(size, -1);
    // Highest first; of equal ones the first pixel, so that the shares depend on where the
    // objects are and never on the order they are listed in.
    using Entry = std::tuple<std::int64_t, std::int64_t>; // key, −pixel
    std::priority_queue<Entry> flood;
    std::vector<std::pair<std::size_t, std::size_t>> seeds;
    for (const std::size_t k : coupled)
        if (!pixels[k].empty())
            seeds.emplace_back(middlePixel(*objects[k], pixels[k], inUnion, width, height), k);
    std::sort(seeds.begin(), seeds.end());
    for (const auto& [i, k] : seeds) {
        if (share[i] >= 0) continue; // two middles on one pixel: the first object's
        share[i] = static_cast<int>(k);
        flood.emplace(key(i), -static_cast<std::int64_t>(i));
    }
    constexpr std::pair<int, int> Steps[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    while (!flood.empty()) {
        const auto i = static_cast<std::size_t>(-std::get<1>(flood.top()));
        flood.pop();
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        for (const auto& [dx, dy] : Steps) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
            const std::size_t n = static_cast<std::size_t>(ny) * width + nx;
            if (share[n] >= 0 || (inUnion[n] == 0 && outside[n] > Margin * Margin)) continue;
            share[n] = share[i];
            flood.emplace(key(n), -static_cast<std::int64_t>(n));
        }
    }

    // The wall: every pixel next to another object's share becomes ground as far from the level
    // half-way between the two objects' thresholds as the objects' mean grey is on the other
    // side (where it is not already further: the ground is left as it is), so that the image
    // force pushes back across the wall as hard as it pushes out over the objects.
    std::vector<double> meanGrey(objects.size(), 0.0);
    for (const std::size_t k : coupled) {
        double sum = 0;
        for (const std::size_t i : pixels[k])
            sum += image.GreyData[i];
        meanGrey[k] = pixels[k].empty() ? 0 : sum / double(pixels[k].size());
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            if (share[i] < 0) continue;
            int other = -1;
            for (int dy = -WallReach; dy <= WallReach; ++dy)
                for (int dx = -WallReach; dx <= WallReach; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                    const int s = share[static_cast<std::size_t>(ny) * width + nx];
                    if (s >= 0 && s != share[i]) other = std::max(other, s);
                }
            if (other < 0) continue;
            const PictureObject& own = *objects[share[i]];
            const double level = (at(own.values.fields, Field::Threshold) +
                                  at(objects[other]->values.fields, Field::Threshold)) /
                                 8.0;
            const long grey = image.GreyData[i];
            const double inside = (meanGrey[share[i]] + meanGrey[other]) / 2;
            const long mirrored = std::clamp(std::lround(2 * level - inside), 0L, 255L);
            walled.GreyData[i] = static_cast<std::uint8_t>(
                own.values.blackOnWhite ? std::max(grey, mirrored) : std::min(grey, mirrored));
        }
    return walled;
}

} // namespace orvik
