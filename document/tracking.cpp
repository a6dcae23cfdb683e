// Checking carried contours against each frame's detection: ends, arrivals and divisions.
#include "document/tracking.h"

#include "core/field_table.h"
#include "core/geometry.h"
#include "core/measurements.h"
#include "document/worker_pool.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>

namespace orvik {

namespace {

// A contour's pixels on a frame: how many, where, and how many on each detected region.
struct Cover {
    int pixels = 0;
    double cx = 0, cy = 0;
    std::vector<std::pair<int, int>> regions; // (region, pixels on it), by rising region
    int best = -1;                            // the region it covers most; -1: none
    int bestPixels = 0;
    int on(int region) const {
        for (const auto& [r, n] : regions)
            if (r == region) return n;
        return 0;
    }
};

Cover coverOf(const std::vector<ContourPoint>& contour, const std::vector<int>& labels, int width,
              int height) {
    Cover c;
    std::vector<std::pair<int, int>>& hits = c.regions;
    double sx = 0, sy = 0;
    forEachInsideSpan(contour, width, height,
                      [&](std::int32_t y, std::int32_t x1, std::int32_t x2) {
                          const int* row = labels.data() + static_cast<std::size_t>(y) * width;
                          for (std::int32_t x = x1; x <= x2; ++x) {
                              ++c.pixels;
                              sx += x + 0.5;
                              sy += y + 0.5;
                              const int r = row[x];
                              if (r < 0) continue;
                              auto it = std::lower_bound(
                                  hits.begin(), hits.end(), std::pair{r, 0},
                                  [](const auto& a, const auto& b) { return a.first < b.first; });
                              if (it == hits.end() || it->first != r) it = hits.insert(it, {r, 0});
                              ++it->second;
                          }
                      });
    if (c.pixels > 0) {
        c.cx = sx / c.pixels;
        c.cy = sy / c.pixels;
    }
    for (const auto& [r, n] : hits)
        if (n > c.bestPixels) {
            c.best = r;
            c.bestPixels = n;
        }
    return c;
}

bool nearBorder(const std::vector<ContourPoint>& p, int width, int height) {
    for (const ContourPoint& q : p)
        if (q.x < 2 || q.y < 2 || q.x > width - 2 || q.y > height - 2) return true;
    return false;
}

// The contrast of a contour's inside against its surroundings, grey levels; 0 when the inside
// is on the other side of the ground than the track's polarity.
double contrastOf(const Region& own, bool blackOnWhite) {
    if (own.area == 0 || own.blackOnWhite != blackOnWhite) return 0;
    return std::abs(2 * own.meanGrey - own.threshold / 2.0);
}

} // namespace

Tracker::Detection Tracker::detect(const GreyImage& image) const {
    Detection d;
    d.find = rules_.find;
    if (rules_.autoThreshold && !d.find.localThreshold) d.find.threshold = otsuThreshold(image);
    d.regions = findRegions(image, d.find, &d.labels);
    return d;
}

void Tracker::take(Detection detection) {
    find_ = detection.find;
    regions_ = std::move(detection.regions);
    labels_ = std::move(detection.labels);
}

std::vector<std::pair<std::size_t, GreyImage>>
Tracker::walls(const GreyImage& image, int f, const std::vector<Track>& tracks) const {
    std::vector<std::pair<std::size_t, GreyImage>> walled;
    if (!checked_ || regions_.empty()) return walled;
    const int width = image.ImageWidth, height = image.ImageHeight;
    // Each region's holder: one track each, one region each, the largest covers of the
    // contours of the frame before first.
    std::vector<int> holder(regions_.size(), -1);
    std::vector<bool> holds(tracks.size(), false);
    std::vector<std::size_t> live;
    std::vector<std::tuple<int, std::size_t, int>> candidates; // (-pixels, track, region)
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& track = tracks[i];
        if (!track.ended.empty() || !track.error.empty() || track.frames.size() < 2 ||
            track.lastFrame() != f)
            continue;
        live.push_back(i);
        const Cover before =
            coverOf(track.frames[track.frames.size() - 2].contour, labels_, width, height);
        for (const auto& [r, n] : before.regions)
            candidates.emplace_back(-n, i, r);
    }
    std::sort(candidates.begin(), candidates.end());
    for (const auto& [n, i, r] : candidates)
        if (!holds[i] && holder[std::size_t(r)] < 0) {
            holds[i] = true;
            holder[std::size_t(r)] = int(i);
        }
    for (const std::size_t i : live) {
        const Track& track = tracks[i];
        if (!holds[i]) continue; // nowhere of its own to be kept to
        const Cover now = coverOf(track.frames.back().contour, labels_, width, height);
        std::vector<int> others;
        for (const auto& [r, n] : now.regions)
            if (holder[std::size_t(r)] >= 0 && holder[std::size_t(r)] != int(i) &&
                n * 10 >= regions_[std::size_t(r)].area)
                others.push_back(r);
        if (others.empty()) continue;
        GreyImage picture;
        picture.ImageWidth = width;
        picture.ImageHeight = height;
        const std::size_t size = std::size_t(width) * height;
        picture.GreyData = std::make_unique<std::uint8_t[]>(size);
        std::copy(image.GreyData.get(), image.GreyData.get() + size, picture.GreyData.get());
        const double t = (i < states_.size() && states_[i].threshold > 0
                              ? states_[i].threshold
                              : at(track.values.fields, Field::Threshold)) /
                         4.0;
        std::uint8_t* grey = picture.GreyData.get();
        for (std::size_t p = 0; p < size; ++p)
            if (labels_[p] >= 0 &&
                std::find(others.begin(), others.end(), labels_[p]) != others.end())
                grey[p] =
                    static_cast<std::uint8_t>(std::clamp(std::lround(2 * t - grey[p]), 0L, 255L));
        walled.emplace_back(i, std::move(picture));
    }
    return walled;
}

std::vector<Track> Tracker::check(const GreyImage& image, int f, std::vector<Track>& tracks,
                                  std::vector<KONTUR>& contours) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    const bool first = !checked_;
    checked_ = true;
    states_.resize(tracks.size());
    const FindOptions& find = find_;
    const std::vector<int>& labels = labels_;
    const std::vector<Region>& regions = regions_;
    const int minArea = std::max(find.minArea, 4);
    const auto contrastOfRegion = [](const Region& r) {
        return std::abs(4 * r.meanGrey - r.threshold);
    };
    if (first && !regions.empty()) {
        std::vector<double> c;
        for (const Region& r : regions)
            c.push_back(contrastOfRegion(r));
        std::nth_element(c.begin(), c.begin() + c.size() / 2, c.end());
        contrast_ = c[c.size() / 2];
    }
    // Whether a region stands out enough from its threshold to start a track.
    const auto distinct = [&](const Region& r) {
        return contrastOfRegion(r) >= 0.3 * contrast_ && contrast_ > 0;
    };

    const auto end = [&](Track& track, const char* reason) {
        if (track.lastFrame() == f && track.error.empty()) track.frames.pop_back();
        track.ended = reason;
    };

    // The tracks with a contour on this frame, and what they cover.
    std::vector<std::size_t> live;
    std::vector<Cover> covers(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        Track& track = tracks[i];
        if (!track.ended.empty()) continue;
        if (!track.error.empty()) {
            track.ended = EndFailed;
            continue;
        }
        if (track.frames.empty() || track.lastFrame() != f) continue;
        live.push_back(i);
    }
    forEachItem(live.size(), threads_, [&](std::size_t k) {
        covers[live[k]] = coverOf(tracks[live[k]].frames.back().contour, labels, width, height);
    });
    std::vector<int> owner(regions.size(), -1); // the live track covering it most
    std::vector<int> gone;                      // the regions of tracks that left the picture
    if (!first) {
        for (const std::size_t i : live) {
            Track& track = tracks[i];
            const State& s = states_[i];
            const Cover& c = covers[i];
            const std::vector<ContourPoint>& contour = track.frames.back().contour;
            const ContourPoint middle = polygonCentroid(contour);
            const bool outside =
                !(middle.x >= 0 && middle.y >= 0 && middle.x <= width && middle.y <= height);
            if (outside || (c.pixels < minArea && s.nearEdge)) {
                // What is left of it at the border starts no track.
                if (c.best >= 0) gone.push_back(c.best);
                end(track, EndLeft);
                continue;
            }
            if (c.pixels < minArea) {
                end(track, EndCollapsed);
                continue;
            }
            const bool covered =
                c.best >= 0 &&
                c.bestPixels * 2 >= std::min(c.pixels, regions[std::size_t(c.best)].area);
            if (!covered) {
                // Found by its own threshold, which has moved with its contrast.
                const Region own = outlineRegion(image, contour, true, track.values);
                const double contrast = contrastOf(own, track.values.blackOnWhite);
                if (contrast < std::max(3.0, 0.2 * s.contrast)) {
                    end(track, s.nearEdge ? EndLeft : EndLost);
                    continue;
                }
            }
            // A jump: kept only when its contour is still on the region it was on before.
            if (track.frames.size() >= 2 && s.pixels > 0) {
                const double radius = std::sqrt(s.pixels / std::numbers::pi);
                const bool jumped = std::hypot(c.cx - s.cx, c.cy - s.cy) > radius ||
                                    c.pixels > 2 * s.pixels || 2 * c.pixels < s.pixels;
                if (jumped) {
                    const Cover before = coverOf(track.frames[track.frames.size() - 2].contour,
                                                 labels, width, height);
                    // Its own object: a region its contour of the frame before was on.
                    const bool own =
                        covered && before.on(c.best) * 10 >= regions[std::size_t(c.best)].area * 3;
                    if (!own) {
                        end(track, EndLost);
                        continue;
                    }
                }
            }
            if (covered) {
                int& o = owner[std::size_t(c.best)];
                if (o < 0 || covers[std::size_t(o)].bestPixels < c.bestPixels) o = int(i);
            }
        }
    }

    // Divisions: a track whose contour of the frame before covers two regions no other track
    // has, each a real part of it.
    std::vector<bool> claimed(regions.size(), false);
    for (std::size_t r = 0; r < regions.size(); ++r)
        claimed[r] = owner[r] >= 0;
    for (const int r : gone)
        claimed[std::size_t(r)] = true;
    std::vector<Track> started;
    const ControlValues seedBase = [&] {
        ControlValues v = rules_.base;
        at(v.fields, Field::Threshold) = find.threshold;
        v.blackOnWhite = find.blackOnWhite;
        return v;
    }();
    const auto start = [&](const Region& region, int parent) {
        Track t;
        t.id = rules_.nextId++;
        t.values = seedValues(region, seedBase);
        t.firstFrame = f;
        t.parent = parent;
        started.push_back(std::move(t));
    };
    if (!first) {
        for (const std::size_t i : live) {
            Track& track = tracks[i];
            if (!track.ended.empty() || track.frames.size() < 2) continue;
            const Cover before =
                coverOf(track.frames[track.frames.size() - 2].contour, labels, width, height);
            std::vector<std::pair<int, int>> parts; // (pixels of the contour before, region)
            for (const auto& [r, n] : before.regions) {
                const Region& region = regions[std::size_t(r)];
                bool other = owner[std::size_t(r)] >= 0 && owner[std::size_t(r)] != int(i);
                for (const std::size_t j : live) // another contour on a good part of it
                    other = other || (j != i && tracks[j].ended.empty() &&
                                      covers[j].on(r) * 10 >= region.area * 3);
                if (!other && distinct(region) && n * 10 >= region.area * 3 &&
                    region.area >= std::max<double>(minArea, 0.15 * before.pixels))
                    parts.push_back({n, r});
            }
            if (parts.size() < 2) continue;
            std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) {
                return a.first != b.first ? a.first > b.first : a.second < b.second;
            });
            const int a = std::min(parts[0].second, parts[1].second),
                      b = std::max(parts[0].second, parts[1].second);
            end(track, EndDivided);
            for (const int r : {a, b}) {
                claimed[std::size_t(r)] = true;
                start(regions[std::size_t(r)], track.id);
            }
        }
    }

    // Thresholds moved with each object's contrast, and the state for the next frame.
    std::vector<int> covering(regions.size(), 0);
    std::vector<std::size_t> going;
    for (const std::size_t i : live) {
        if (!tracks[i].ended.empty()) continue;
        for (const auto& [r, n] : covers[i].regions)
            covering[std::size_t(r)] += n;
        going.push_back(i);
    }
    forEachItem(going.size(), threads_, [&](std::size_t k) {
        const std::size_t i = going[k];
        const Cover& c = covers[i];
        settle(image, tracks[i], contours[i], states_[i], c.pixels, c.cx, c.cy);
    });

    // Arrivals: the regions no contour covers.
    if (!first)
        for (std::size_t r = 0; r < regions.size(); ++r)
            if (!claimed[r] && covering[r] * 5 < regions[r].area && distinct(regions[r]))
                start(regions[r], 0);
    return started;
}

void Tracker::settle(const GreyImage& image, Track& track, KONTUR& contour, State& s, int pixels,
                     double cx, double cy) {
    const std::vector<ContourPoint>& outline = track.frames.back().contour;
    s.pixels = pixels;
    s.cx = cx;
    s.cy = cy;
    s.nearEdge = nearBorder(outline, image.ImageWidth, image.ImageHeight);
    const Region own = outlineRegion(image, outline, true, track.values);
    const double contrast = contrastOf(own, track.values.blackOnWhite);
    if (s.contrast == 0) s.contrast = contrast;
    // The contour's own threshold only: the object's settings stay those it was found with.
    if (contrast >= 3) {
        s.threshold = own.threshold;
        contour.Threshold = static_cast<float>(own.threshold * 0.25);
    }
}

void Tracker::started(const GreyImage& image, int f, std::vector<Track>& tracks,
                      std::vector<KONTUR>& contours, std::size_t from) {
    states_.resize(tracks.size());
    for (std::size_t i = from; i < tracks.size(); ++i) {
        Track& track = tracks[i];
        if (!track.error.empty() || track.frames.empty() || track.lastFrame() != f) continue;
        const Cover c =
            coverOf(track.frames.back().contour, labels_, image.ImageWidth, image.ImageHeight);
        settle(image, track, contours[i], states_[i], c.pixels, c.cx, c.cy);
    }
}

} // namespace orvik
