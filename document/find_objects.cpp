// Labelling the regions on the object's side of the threshold, Otsu's threshold, and the
// seed of each model.
#include "document/find_objects.h"

#include "core/field_table.h"
#include "core/measurements.h"
#include "document/labelling.h"
#include "document/separate.h"
#include "document/worker_pool.h"
#include "threshold_tint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>

namespace orvik {

bool autoBlackOnWhite(const GreyImage& image, int threshold, int threads) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    if (image.GreyData == nullptr || width <= 0 || height <= 0) return true;
    const std::uint8_t* grey = image.GreyData.get();
    // Pixels on the dark side less those on the light side: of the border, of the picture,
    // band by band.
    const std::vector<int> bands = rowBands(width, height, threads);
    std::vector<std::array<long long, 2>> dark(bands.size() - 1, {0, 0});
    const auto side = [threshold](std::uint8_t g) {
        return onObjectSide(g, threshold, true) ? 1 : onObjectSide(g, threshold, false) ? -1 : 0;
    };
    forEachItem(dark.size(), threads, [&](std::size_t b) {
        long long borderDark = 0, allDark = 0;
        for (int y = bands[b]; y < bands[b + 1]; ++y) {
            const std::uint8_t* row = grey + static_cast<std::size_t>(y) * width;
            const bool edgeRow = y == 0 || y == height - 1;
            for (int x = 0; x < width; ++x) {
                const int s = side(row[x]);
                allDark += s;
                if (edgeRow || x == 0 || x == width - 1) borderDark += s;
            }
        }
        dark[b] = {borderDark, allDark};
    });
    long long borderDark = 0, allDark = 0;
    for (const auto& [border, all] : dark) {
        borderDark += border;
        allDark += all;
    }
    if (borderDark != 0) return borderDark < 0; // a light border: dark objects
    return allDark <= 0;                        // the smaller side; black on white when even
}

FindOptions resolvedPolarity(const GreyImage& image, FindOptions options, int threads) {
    if (options.autoPolarity) {
        // A local threshold has no level whose sides the border could tell.
        options.blackOnWhite = options.localThreshold
                                   ? locallyBlackOnWhite(image.GreyData.get(), image.ImageWidth,
                                                         image.ImageHeight, options.localRadius)
                                   : autoBlackOnWhite(image, options.threshold, threads);
        options.autoPolarity = false;
    }
    return options;
}

namespace {

// The pixels on the objects' side of the options' rule, row by row.
std::vector<std::uint8_t> objectSide(const GreyImage& image, const FindOptions& options,
                                     int threads) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    const std::uint8_t* grey = image.GreyData.get();
    if (options.localThreshold)
        return locallyDistinct(grey, width, height, options.localRadius, options.blackOnWhite);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height);
    const std::vector<int> bands = rowBands(width, height, threads);
    // The rule as a table of the grey levels, held in locals: the mask's bytes could be
    // anything's as far as the compiler knows.
    std::array<std::uint8_t, 256> side{};
    for (int g = 0; g < 256; ++g)
        side[std::size_t(g)] =
            onObjectSide(std::uint8_t(g), options.threshold, options.blackOnWhite) ? 1 : 0;
    forEachItem(bands.size() - 1, threads, [&, side](std::size_t b) {
        std::uint8_t* out = mask.data();
        const std::size_t end = static_cast<std::size_t>(bands[b + 1]) * width;
        for (std::size_t i = static_cast<std::size_t>(bands[b]) * width; i < end; ++i)
            out[i] = side[grey[i]];
    });
    return mask;
}

// What a band of rows holds of a region: its pixels' box, count and sums (of 2x + 1 and
// 2y + 1, twice their centres, and of the grey), whole numbers, so that the bands add up to
// the same whatever their cut.
struct Tally {
    Box bounds;
    int area = 0;
    std::int64_t twiceX = 0, twiceY = 0, grey = 0;
    bool touchesEdge = false;

    // The pixels x1 .. x2 - 1 of row y.
    void addRun(int x1, int x2, int y, const std::uint8_t* row, int width, int height) {
        if (area == 0) {
            bounds = {x1, y, x2, y + 1};
        } else {
            bounds.x1 = std::min(bounds.x1, x1);
            bounds.x2 = std::max(bounds.x2, x2);
            bounds.y2 = y + 1;
        }
        area += x2 - x1;
        twiceX += std::int64_t(x2) * x2 - std::int64_t(x1) * x1;
        twiceY += std::int64_t(x2 - x1) * (2 * y + 1);
        std::int64_t sum = 0;
        for (int x = x1; x < x2; ++x)
            sum += row[x];
        grey += sum;
        touchesEdge = touchesEdge || x1 == 0 || x2 == width || y == 0 || y == height - 1;
    }
    // The same region's pixels in a band further down.
    void add(const Tally& below) {
        bounds.x1 = std::min(bounds.x1, below.bounds.x1);
        bounds.x2 = std::max(bounds.x2, below.bounds.x2);
        bounds.y2 = below.bounds.y2;
        area += below.area;
        twiceX += below.twiceX;
        twiceY += below.twiceY;
        grey += below.grey;
        touchesEdge = touchesEdge || below.touchesEdge;
    }
};

// A band's tallies: of the regions whose first pixel lies in it, numbered from `first`, and of
// those that began in a band above, by label.
struct BandTally {
    int first = 0;
    std::vector<Tally> own;
    std::vector<std::pair<int, Tally>> carried; // by rising label
};

void tallyBand(const std::vector<int>& labels, const std::uint8_t* grey, int width, int height,
               int y1, int y2, BandTally& band) {
    for (int y = y1; y < y2; ++y) {
        const std::size_t start = static_cast<std::size_t>(y) * width;
        const int* row = labels.data() + start;
        for (int x = 0; x < width;) {
            const int l = row[x];
            int end = x + 1;
            while (end < width && row[end] == l)
                ++end;
            if (l >= band.first) {
                band.own[static_cast<std::size_t>(l - band.first)].addRun(x, end, y, grey + start,
                                                                          width, height);
            } else if (l >= 0) {
                auto at = std::lower_bound(
                    band.carried.begin(), band.carried.end(), l,
                    [](const std::pair<int, Tally>& t, int label) { return t.first < label; });
                if (at == band.carried.end() || at->first != l)
                    at = band.carried.insert(at, {l, {}});
                at->second.addRun(x, end, y, grey + start, width, height);
            }
            x = end;
        }
    }
}

// The mean grey of the pixels round a region that `ground(x, y)` takes: those of its box
// widened by a quarter of its radius (at least 2 pixels), held to the picture; none if none.
template <typename Ground>
std::optional<double> meanAround(const GreyImage& image, const Region& region, Ground ground) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    const int margin =
        std::max(2, static_cast<int>(std::lround(std::sqrt(region.area / std::numbers::pi) / 4)));
    const Box b = region.bounds;
    double sum = 0;
    long long count = 0;
    for (int y = std::max(b.y1 - margin, 0); y < std::min(b.y2 + margin, height); ++y) {
        const std::uint8_t* line = image.GreyData.get() + std::size_t(y) * width;
        for (int x = std::max(b.x1 - margin, 0); x < std::min(b.x2 + margin, width); ++x)
            if (ground(x, y)) {
                sum += line[x];
                ++count;
            }
    }
    if (count == 0) return std::nullopt;
    return sum / double(count);
}

// The threshold half-way between a region's mean grey and that of the ground round it (the
// pixels off the mask within a margin of a quarter of its radius, at least 2 pixels), in the
// Threshold field's units: the level where its contour's image force turns, whatever the
// light elsewhere in the picture. `fallback` when no ground is near.
int localRegionThreshold(const GreyImage& image, const std::vector<std::uint8_t>& mask,
                         const Region& region, int fallback) {
    const std::size_t width = static_cast<std::size_t>(image.ImageWidth);
    const std::optional<double> ground =
        meanAround(image, region, [&](int x, int y) { return mask[y * width + x] == 0; });
    if (!ground) return fallback;
    const FieldInfo& field = fieldInfo(Field::Threshold);
    return std::clamp(static_cast<int>(std::lround(2 * (region.meanGrey + *ground))), field.minimum,
                      field.maximum);
}

} // namespace

std::vector<Region> findRegions(const GreyImage& image, const FindOptions& given,
                                std::vector<int>* keptLabels, int threads) {
    const FindOptions options = resolvedPolarity(image, given, threads);
    const int width = image.ImageWidth, height = image.ImageHeight;
    if (keptLabels != nullptr) keptLabels->clear();
    if (image.GreyData == nullptr || width <= 0 || height <= 0) return {};
    const std::uint8_t* grey = image.GreyData.get();
    const std::vector<std::uint8_t> mask = objectSide(image, options, threads);
    std::vector<int> label;
    // The bands the regions are tallied in: those they were labelled in, or one for the split.
    std::vector<int> bands{0, height}, firsts;
    int count = 0;
    if (options.split) {
        count = splitRegions(mask, width, height, SplitDepth, label, threads);
        firsts = {0, count};
    } else {
        count = labelRegions(mask, width, height, label, threads, &firsts);
        bands = rowBands(width, height, threads);
    }

    std::vector<BandTally> tallies(bands.size() - 1);
    forEachItem(tallies.size(), threads, [&](std::size_t b) {
        tallies[b].first = firsts[b];
        tallies[b].own.resize(static_cast<std::size_t>(firsts[b + 1] - firsts[b]));
        tallyBand(label, grey, width, height, bands[b], bands[b + 1], tallies[b]);
    });
    std::vector<Region> regions(static_cast<std::size_t>(count));
    std::vector<Tally> whole(static_cast<std::size_t>(count));
    for (BandTally& band : tallies) {
        std::move(band.own.begin(), band.own.end(), whole.begin() + band.first);
        for (const auto& [l, tally] : band.carried)
            whole[static_cast<std::size_t>(l)].add(tally);
    }
    tallies.clear();
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const Tally& t = whole[r];
        Region& region = regions[r];
        region.bounds = t.bounds;
        region.area = t.area;
        region.touchesEdge = t.touchesEdge;
        region.centreX = static_cast<double>(t.twiceX) / 2 / t.area;
        region.centreY = static_cast<double>(t.twiceY) / 2 / t.area;
        region.meanGrey = static_cast<double>(t.grey) / t.area;
    }

    const long long quarter = static_cast<long long>(width) * height / 4;
    const long long maxArea = options.maxArea > 0 ? options.maxArea : quarter;
    std::vector<Region> kept;
    std::vector<int> keptIndex(regions.size(), -1);
    for (std::size_t r = 0; r < regions.size(); ++r) {
        Region& region = regions[r];
        if (region.area < options.minArea || region.area > maxArea) continue;
        if (options.excludeEdges && region.touchesEdge) continue;
        region.threshold = options.localThreshold
                               ? localRegionThreshold(image, mask, region, options.threshold)
                               : options.threshold;
        region.blackOnWhite = options.blackOnWhite;
        keptIndex[r] = static_cast<int>(kept.size());
        kept.push_back(region);
    }
    if (keptLabels != nullptr) {
        forEachItem(bands.size() - 1, threads, [&](std::size_t b) {
            const auto end = label.begin() + static_cast<std::ptrdiff_t>(bands[b + 1]) * width;
            for (auto l = label.begin() + static_cast<std::ptrdiff_t>(bands[b]) * width; l != end;
                 ++l)
                if (*l >= 0) *l = keptIndex[static_cast<std::size_t>(*l)];
        });
        *keptLabels = std::move(label);
    }
    return kept;
}

int otsuThreshold(const GreyImage& image, int threads) {
    const int width = std::max(image.ImageWidth, 0), height = std::max(image.ImageHeight, 0);
    const std::size_t count = static_cast<std::size_t>(width) * height;
    if (image.GreyData == nullptr || count == 0) return 4 * 127 + 2;
    // Counted band by band, then added up.
    const std::vector<int> bands = rowBands(width, height, threads);
    std::vector<std::array<std::size_t, 256>> counts(bands.size() - 1);
    forEachItem(counts.size(), threads, [&](std::size_t b) {
        std::array<std::size_t, 256>& band = counts[b];
        band.fill(0);
        const std::uint8_t* grey = image.GreyData.get();
        for (std::size_t i = std::size_t(bands[b]) * width; i < std::size_t(bands[b + 1]) * width;
             ++i)
            ++band[grey[i]];
    });
    std::array<double, 256> histogram{};
    for (const std::array<std::size_t, 256>& band : counts)
        for (int g = 0; g < 256; ++g)
            histogram[g] += static_cast<double>(band[g]);
    double total = 0;
    for (int g = 0; g < 256; ++g)
        total += g * histogram[g];
    // The level that maximises the variance between the levels up to it and those above.
    // Levels no pixel has give the same split as their neighbours; of such a run of equal
    // best splits the middle is taken, half-way between the two classes, where a contour
    // settles on the edge rather than on one side of it.
    double below = 0, belowSum = 0, best = -1;
    int first = 127, last = 127;
    for (int t = 0; t < 255; ++t) {
        below += histogram[t];
        belowSum += t * histogram[t];
        const double above = static_cast<double>(count) - below;
        if (below == 0 || above == 0) continue;
        const double meanBelow = belowSum / below, meanAbove = (total - belowSum) / above;
        const double between = below * above * (meanBelow - meanAbove) * (meanBelow - meanAbove);
        if (between > best * (1 + 1e-12)) {
            best = between;
            first = last = t;
        } else if (between >= best * (1 - 1e-12)) {
            last = t;
        }
    }
    return 4 * ((first + last) / 2) + 2;
}

namespace {

// The Viscosity field's value at which the pressure on the region's mean grey moves a point
// half a pixel a step: v = 2 × |w| × contrast in engine units, with w = 0.005 × Image and
// v = 0.2 × Viscosity, so the field is Image × contrast / 20.
int dampedViscosity(const Region& region, const FieldValues& base) {
    const double contrast = std::abs(region.meanGrey - region.threshold / 4.0);
    const double field = at(base, Field::Image) * contrast / 20;
    const FieldInfo& info = fieldInfo(Field::Viscosity);
    return std::clamp(static_cast<int>(std::lround(std::min<double>(field, info.maximum))),
                      at(base, Field::Viscosity), info.maximum);
}

} // namespace

ControlValues seedValues(const Region& region, const ControlValues& base) {
    ControlValues values = base;
    at(values.fields, Field::Threshold) = region.threshold;
    values.blackOnWhite = region.blackOnWhite;
    setBox(values.fields, region.bounds);
    const double radius = std::sqrt(region.area / std::numbers::pi);
    const FieldInfo& field = fieldInfo(Field::Radius);
    at(values.fields, Field::Radius) =
        std::clamp(static_cast<int>(std::lround(radius)), field.minimum, field.maximum);
    if (isClosed(base.model))
        at(values.fields, Field::Viscosity) = dampedViscosity(region, base.fields);
    return values;
}

Region outlineRegion(const GreyImage& image, const std::vector<ContourPoint>& outline, bool closed,
                     const ControlValues& base) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    Region region;
    region.threshold = at(base.fields, Field::Threshold);
    region.blackOnWhite = base.blackOnWhite;
    double x1 = outline.empty() ? 0 : outline[0].x, y1 = outline.empty() ? 0 : outline[0].y;
    double x2 = x1, y2 = y1;
    for (const ContourPoint& p : outline) {
        x1 = std::min(x1, p.x);
        y1 = std::min(y1, p.y);
        x2 = std::max(x2, p.x);
        y2 = std::max(y2, p.y);
    }
    const auto held = [](double v, int side) {
        return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(side)));
    };
    region.bounds = {held(std::floor(x1), width), held(std::floor(y1), height),
                     held(std::ceil(x2), width), held(std::ceil(y2), height)};
    if (!closed || image.GreyData == nullptr) return region;
    const std::uint8_t* grey = image.GreyData.get();
    // The inside, row by row, as the measurements and the labels take it.
    std::vector<std::pair<int, int>> rows(static_cast<std::size_t>(std::max(height, 0)), {1, 0});
    double sumX = 0, sumY = 0, sumGrey = 0;
    forEachInsideSpan(outline, width, height,
                      [&](std::int32_t y, std::int32_t first, std::int32_t last) {
                          rows[std::size_t(y)] = {first, last};
                          const std::uint8_t* line = grey + std::size_t(y) * width;
                          for (std::int32_t x = first; x <= last; ++x) {
                              ++region.area;
                              sumX += x + 0.5;
                              sumY += y + 0.5;
                              sumGrey += line[x];
                          }
                      });
    if (region.area == 0) return region;
    region.centreX = sumX / region.area;
    region.centreY = sumY / region.area;
    region.meanGrey = sumGrey / region.area;
    // The surroundings: the pixels of the box widened by the margin that are not inside.
    const std::optional<double> around = meanAround(image, region, [&rows](int x, int y) {
        const auto [first, last] = rows[std::size_t(y)];
        return x < first || x > last;
    });
    if (!around) return region;
    const double meanOut = *around;
    const Box b = region.bounds;
    const FieldInfo& threshold = fieldInfo(Field::Threshold);
    region.threshold = std::clamp(static_cast<int>(std::lround(2 * (region.meanGrey + meanOut))),
                                  threshold.minimum, threshold.maximum);
    region.blackOnWhite = region.meanGrey < meanOut;
    region.touchesEdge = b.x1 == 0 || b.y1 == 0 || b.x2 >= width || b.y2 >= height;
    return region;
}

std::vector<PictureObject> placeObjects(std::vector<PictureObject> objects, const GreyImage& image,
                                        const std::string& imageFile) {
    for (PictureObject& object : objects) {
        ContourResult& r = object.result;
        if (object.fromOutline)
            object.values =
                seedValues(outlineRegion(image, r.contour, r.closed, object.values), object.values);
        r.context = runContext(imageFile, image.ImageWidth, image.ImageHeight, object.values);
    }
    return objects;
}

} // namespace orvik
