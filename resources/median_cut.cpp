// The palette of the intro picture by median cut.
#include "median_cut.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace orvik {

std::vector<QRgb> medianCutPalette(const QImage& image, int colours) {
    struct Entry {
        std::array<int, 3> rgb;
        int count;
    };
    std::map<QRgb, int> histogram;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++histogram[image.pixel(x, y) | 0xff000000u];
    std::vector<Entry> entries;
    for (const auto& [rgb, count] : histogram)
        entries.push_back({{qRed(rgb), qGreen(rgb), qBlue(rgb)}, count});

    struct Box {
        std::size_t begin, end;
    };
    std::vector<Box> boxes{{0, entries.size()}};
    const auto range = [&](const Box& box, int channel) {
        int lo = 255, hi = 0;
        for (std::size_t i = box.begin; i < box.end; ++i) {
            lo = std::min(lo, entries[i].rgb[std::size_t(channel)]);
            hi = std::max(hi, entries[i].rgb[std::size_t(channel)]);
        }
        return hi - lo;
    };
    while (int(boxes.size()) < colours) {
        // Split the box with the widest channel range weighted by its pixel count.
        std::size_t bestBox = boxes.size();
        int bestChannel = 0;
        double bestScore = 0;
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].end - boxes[b].begin < 2) continue;
            long pixels = 0;
            for (std::size_t i = boxes[b].begin; i < boxes[b].end; ++i)
                pixels += entries[i].count;
            for (int channel = 0; channel < 3; ++channel) {
                const double score = range(boxes[b], channel) * std::sqrt(double(pixels));
                if (score > bestScore) {
                    bestScore = score;
                    bestBox = b;
                    bestChannel = channel;
                }
            }
        }
        if (bestBox == boxes.size()) break;
        Box& box = boxes[bestBox];
        const auto first = entries.begin() + std::ptrdiff_t(box.begin);
        const auto last = entries.begin() + std::ptrdiff_t(box.end);
        std::sort(first, last, [&](const Entry& a, const Entry& b) {
            return a.rgb[std::size_t(bestChannel)] < b.rgb[std::size_t(bestChannel)];
        });
        long total = 0;
        for (auto it = first; it != last; ++it)
            total += it->count;
        long running = 0;
        std::size_t split = box.begin + 1;
        for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
            running += entries[i].count;
            split = i + 1;
            if (2 * running >= total) break;
        }
        const Box upper{split, box.end};
        box.end = split;
        boxes.push_back(upper);
    }
    std::vector<QRgb> palette;
    for (const Box& box : boxes) {
        double sum[3] = {0, 0, 0};
        long count = 0;
        for (std::size_t i = box.begin; i < box.end; ++i) {
            for (int c = 0; c < 3; ++c)
                sum[c] += double(entries[i].rgb[std::size_t(c)]) * entries[i].count;
            count += entries[i].count;
        }
        palette.push_back(qRgb(int(std::lround(sum[0] / double(count))),
                               int(std::lround(sum[1] / double(count))),
                               int(std::lround(sum[2] / double(count)))));
    }
    return palette;
}

} // namespace orvik
