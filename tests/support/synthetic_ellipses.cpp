// Pictures of known ellipses, and the score of found outlines against them.
#include "synthetic_ellipses.h"

#include "core/measurements.h"
#include "document/objects.h"
#include "synthetic_drawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace orvik::test {

bool Ellipse::contains(double px, double py) const {
    const double c = std::cos(angle), s = std::sin(angle);
    const double dx = px - x, dy = py - y;
    const double u = (dx * c + dy * s) / semiA, v = (dy * c - dx * s) / semiB;
    return u * u + v * v < 1;
}

double Ellipse::reach(double towards) const {
    const double c = std::cos(towards - angle), s = std::sin(towards - angle);
    return semiA * semiB / std::sqrt(semiB * c * semiB * c + semiA * s * semiA * s);
}

double Ellipse::depth(std::size_t i, int width) const {
    const double c = std::cos(angle), s = std::sin(angle);
    const double dx = double(i % width) + 0.5 - x, dy = double(i / width) + 0.5 - y;
    const double u = (dx * c + dy * s) / semiA, v = (dy * c - dx * s) / semiB;
    return 1 - std::sqrt(u * u + v * v);
}

using namespace drawing;

SyntheticPicture drawEllipses(const EllipseScene& scene) {
    const int width = scene.width, height = scene.height;
    const std::size_t size = static_cast<std::size_t>(width) * height;
    Random random(scene.seed);
    SyntheticPicture picture;
    picture.truth.assign(size, 0);

    // Place by trial: a candidate group whose grown outlines meet a placed one's is dropped.
    std::vector<bool> taken(size, false);
    const int groupSize = std::max(1, scene.clump);
    for (int attempt = 0, groups = 0; attempt < 200 * scene.count && groups < scene.count;
         ++attempt) {
        std::vector<Ellipse> group;
        for (int k = 0; k < groupSize; ++k) {
            Ellipse e;
            e.semiA = random.uniform(scene.minSemiAxis, scene.maxSemiAxis);
            e.semiB = random.uniform(scene.minSemiAxis, scene.maxSemiAxis);
            e.angle = random.uniform(0, std::numbers::pi);
            if (k == 0) {
                const double margin = std::max(e.semiA, e.semiB) * (2 * groupSize - 1) + scene.gap;
                if (2 * margin >= std::min(width, height)) break;
                e.x = random.uniform(margin, width - margin);
                e.y = random.uniform(margin, height - margin);
            } else {
                const Ellipse& last = group.back();
                const double towards = random.uniform(0, 2 * std::numbers::pi);
                const double reach = (last.reach(towards) + e.reach(towards + std::numbers::pi)) *
                                     (1 - scene.overlap);
                e.x = last.x + reach * std::cos(towards);
                e.y = last.y + reach * std::sin(towards);
            }
            group.push_back(e);
        }
        if (static_cast<int>(group.size()) < groupSize) continue;
        bool free = true;
        for (const Ellipse& e : group) {
            const double r = std::max(e.semiA, e.semiB) + scene.gap;
            free = free && e.x > r && e.y > r && e.x < width - r && e.y < height - r;
            if (free)
                forEachPixelNear(e, scene.gap / 2, width, height,
                                 [&](std::size_t i) { free = free && !taken[i]; });
        }
        // Within a group no two but neighbours in the chain may meet.
        for (std::size_t a = 0; a + 2 < group.size() && free; ++a)
            for (std::size_t b = a + 2; b < group.size(); ++b)
                free = free && std::hypot(group[a].x - group[b].x, group[a].y - group[b].y) >
                                   std::max(group[a].semiA, group[a].semiB) +
                                       std::max(group[b].semiA, group[b].semiB) + scene.gap;
        if (!free) continue;
        ++groups;
        const std::size_t first = picture.ellipses.size();
        for (const Ellipse& e : group) {
            forEachPixelNear(e, scene.gap / 2, width, height,
                             [&](std::size_t i) { taken[i] = true; });
            picture.ellipses.push_back(e);
        }
        // A pixel in two ellipses of the group belongs to the one it is deeper in.
        for (std::size_t k = first; k < picture.ellipses.size(); ++k) {
            const Ellipse& e = picture.ellipses[k];
            forEachPixelNear(e, 0, width, height, [&](std::size_t i) {
                const std::uint16_t held = picture.truth[i];
                if (held != 0 && picture.ellipses[held - 1].depth(i, width) >= e.depth(i, width))
                    return;
                picture.truth[i] = static_cast<std::uint16_t>(k + 1);
            });
        }
    }

    // Cover by 4 × 4 samples per pixel, then blur and noise.
    const double objectGrey = scene.darkObjects ? scene.objectGrey : scene.groundGrey;
    const double groundGrey = scene.darkObjects ? scene.groundGrey : scene.objectGrey;
    std::vector<double> covered(size, 0.0), grey(size);
    for (const Ellipse& e : picture.ellipses)
        forEachPixelNear(e, 1.5, width, height, [&](std::size_t i) {
            covered[i] = std::max(covered[i], cover(e, i, width));
        });
    for (std::size_t i = 0; i < size; ++i)
        grey[i] = groundGrey + (objectGrey - groundGrey) * covered[i];
    grey = blurred(grey, width, height, scene.blurSigma);
    if (scene.vignette > 0) {
        const double halfDiagonal2 = (double(width) * width + double(height) * height) / 4;
        for (std::size_t i = 0; i < size; ++i) {
            const double dx = double(i % width) + 0.5 - width / 2.0,
                         dy = double(i / width) + 0.5 - height / 2.0;
            grey[i] *= 1 - scene.vignette * (dx * dx + dy * dy) / halfDiagonal2;
        }
    }

    picture.image.ImageWidth = width;
    picture.image.ImageHeight = height;
    picture.image.GreyData = std::make_unique<std::uint8_t[]>(size);
    for (std::size_t i = 0; i < size; ++i) {
        const double v = std::round(grey[i] + scene.noiseSigma * random.gaussian());
        picture.image.GreyData[i] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
    }
    return picture;
}

std::vector<PixelSet> findAndOutline(const GreyImage& image, const ControlValues& base,
                                     FindOptions options,
                                     const std::function<void(ControlValues&)>& adjust) {
    options.threshold = otsuThreshold(image);
    if (!options.autoPolarity) options.blackOnWhite = base.blackOnWhite;
    ObjectList list;
    for (const Region& region : findRegions(image, options)) {
        ControlValues values = seedValues(region, base);
        if (adjust) adjust(values);
        list.add(values);
    }
    list.analyseAll(image, "synthetic", 1);
    std::vector<PixelSet> outlines;
    for (const PictureObject& object : list.objects()) {
        PixelSet& pixels = outlines.emplace_back();
        if (!object.error.empty() || !object.result.closed) continue;
        forEachInsideSpan(object.result.contour, image.ImageWidth, image.ImageHeight,
                          [&](std::int32_t row, std::int32_t first, std::int32_t last) {
                              for (std::int32_t x = first; x <= last; ++x)
                                  pixels.push_back(
                                      static_cast<std::size_t>(row) * image.ImageWidth + x);
                          });
    }
    return outlines;
}

FindingScore scoreFinding(const std::vector<std::uint16_t>& truth,
                          const std::vector<PixelSet>& found, double minIou) {
    const std::size_t labels =
        truth.empty() ? 1 : *std::max_element(truth.begin(), truth.end()) + 1u;
    std::vector<double> truthArea(labels, 0);
    for (std::uint16_t t : truth)
        ++truthArea[t];
    FindingScore score;
    score.truthCount = static_cast<int>(
        std::count_if(truthArea.begin() + 1, truthArea.end(), [](double a) { return a > 0; }));
    score.foundCount = static_cast<int>(found.size());

    struct Pair {
        double iou, ratio;
        std::size_t found, truth;
    };
    std::vector<Pair> pairs;
    std::vector<double> overlap(labels);
    for (std::size_t f = 0; f < found.size(); ++f) {
        std::fill(overlap.begin(), overlap.end(), 0.0);
        for (std::size_t i : found[f])
            ++overlap[truth[i]];
        const double area = static_cast<double>(found[f].size());
        for (std::size_t t = 1; t < labels; ++t)
            if (overlap[t] > 0)
                pairs.push_back(
                    {overlap[t] / (area + truthArea[t] - overlap[t]), area / truthArea[t], f, t});
    }
    std::sort(pairs.begin(), pairs.end(),
              [](const Pair& a, const Pair& b) { return a.iou > b.iou; });
    std::vector<bool> foundUsed(found.size()), truthUsed(labels);
    std::vector<double> ious, ratios;
    for (const Pair& p : pairs) {
        if (p.iou < minIou || foundUsed[p.found] || truthUsed[p.truth]) continue;
        foundUsed[p.found] = truthUsed[p.truth] = true;
        ious.push_back(p.iou);
        ratios.push_back(p.ratio);
    }
    score.matched = static_cast<int>(ious.size());
    score.recall = score.truthCount > 0 ? static_cast<double>(score.matched) / score.truthCount : 0;
    score.precision =
        score.foundCount > 0 ? static_cast<double>(score.matched) / score.foundCount : 0;
    ious.resize(std::max<std::size_t>(ious.size(), score.truthCount), 0.0);
    score.medianIou = median(ious);
    score.medianAreaRatio = median(ratios);
    score.ious = std::move(ious);
    score.areaRatios = std::move(ratios);
    return score;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t m = values.size() / 2;
    return values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2;
}

// Rows then columns, each with a normalised Gaussian kernel; the border pixel repeats.
std::vector<double> drawing::blurred(const std::vector<double>& grey, int width, int height,
                                     double sigma) {
    if (sigma <= 0) return grey;
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> kernel(2 * radius + 1);
    double sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[i + radius] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double& k : kernel)
        k /= sum;
    std::vector<double> across(grey.size()), out(grey.size());
    const auto index = [width](int x, int y) { return static_cast<std::size_t>(y) * width + x; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 0;
            for (int i = -radius; i <= radius; ++i)
                v += kernel[i + radius] * grey[index(std::clamp(x + i, 0, width - 1), y)];
            across[index(x, y)] = v;
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 0;
            for (int i = -radius; i <= radius; ++i)
                v += kernel[i + radius] * across[index(x, std::clamp(y + i, 0, height - 1))];
            out[index(x, y)] = v;
        }
    return out;
}

} // namespace orvik::test
