// Movies of drifting, growing, dimming ellipses, and how well followed contours keep to them.
#include "synthetic_movie.h"

#include "core/measurements.h"
#include "document/find_objects.h"
#include "document/objects.h"
#include "synthetic_drawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvik::test {

using namespace drawing;

namespace {

struct Mover {
    Ellipse start;
    double dx = 0, dy = 0; // pixels a frame
};

Ellipse onFrame(const Mover& m, const MovieScene& scene, int frame) {
    const double scale = 1 + scene.growth * frame;
    return {m.start.x + m.dx * frame, m.start.y + m.dy * frame, m.start.semiA * scale,
            m.start.semiB * scale, m.start.angle};
}

// Whether `e`, as a disc of its larger semi-axis, keeps `gap` from the border.
bool inside(const Ellipse& e, const MovieScene& scene) {
    const double r = std::max(e.semiA, e.semiB) + scene.gap;
    return e.x - r >= 0 && e.y - r >= 0 && e.x + r <= scene.width && e.y + r <= scene.height;
}

bool apart(const Ellipse& a, const Ellipse& b, double gap) {
    const double reach = std::max(a.semiA, a.semiB) + std::max(b.semiA, b.semiB) + gap;
    return std::hypot(a.x - b.x, a.y - b.y) >= reach;
}

// Movers placed by trial, each kept when, as discs, it stays inside and apart from every placed
// one on every frame.
std::vector<Mover> place(const MovieScene& scene, Random& random) {
    std::vector<Mover> movers;
    for (int attempt = 0;
         attempt < 200 * scene.count && static_cast<int>(movers.size()) < scene.count; ++attempt) {
        Mover m;
        m.start.semiA = random.uniform(scene.minSemiAxis, scene.maxSemiAxis);
        m.start.semiB = random.uniform(scene.minSemiAxis, scene.maxSemiAxis);
        m.start.angle = random.uniform(0, std::numbers::pi);
        m.start.x = random.uniform(0, scene.width);
        m.start.y = random.uniform(0, scene.height);
        const double heading = random.uniform(0, 2 * std::numbers::pi);
        m.dx = scene.drift * std::cos(heading);
        m.dy = scene.drift * std::sin(heading);
        bool fits = true;
        for (int f = 0; f < scene.frames && fits; ++f) {
            const Ellipse e = onFrame(m, scene, f);
            fits = inside(e, scene);
            for (const Mover& other : movers)
                fits = fits && apart(e, onFrame(other, scene, f), scene.gap);
        }
        if (fits) movers.push_back(m);
    }
    return movers;
}

} // namespace

SyntheticMovie drawMovie(const MovieScene& scene) {
    const int width = scene.width, height = scene.height;
    const std::size_t size = static_cast<std::size_t>(width) * height;
    Random random(scene.seed);
    const std::vector<Mover> movers = place(scene, random);

    SyntheticMovie movie;
    movie.frames = FrameStack(width, height, SampleLayout::Grey16);
    const double light = scene.darkObjects ? scene.groundValue : scene.objectValue;
    const double ground = scene.darkObjects ? scene.objectValue : scene.groundValue;
    for (int f = 0; f < scene.frames; ++f) {
        const double object = ground + (light - ground) * std::max(0.0, 1 - scene.dimming * f);
        std::vector<double> value(size, ground);
        std::vector<std::uint16_t>& truth = movie.truth.emplace_back(size, 0);
        std::vector<Ellipse>& ellipses = movie.ellipses.emplace_back();
        for (const Mover& m : movers) {
            const Ellipse e = ellipses.emplace_back(onFrame(m, scene, f));
            const auto label = static_cast<std::uint16_t>(ellipses.size());
            forEachPixelNear(e, 0, width, height, [&](std::size_t i) { truth[i] = label; });
            forEachPixelNear(e, 1.5, width, height, [&](std::size_t i) {
                value[i] = ground + (object - ground) * cover(e, i, width);
            });
        }
        value = blurred(value, width, height, scene.blurSigma);
        movie.frames.addFrame16([&](std::uint16_t* samples) {
            for (std::size_t i = 0; i < size; ++i) {
                const double v = std::round(value[i] + scene.noiseSigma * random.gaussian());
                samples[i] = static_cast<std::uint16_t>(std::clamp(v, 0.0, 65535.0));
            }
        });
    }
    return movie;
}

std::vector<PictureObject> seedObjects(const GreyImage& image, const ControlValues& base) {
    ObjectList list;
    const FindOptions options{.threshold = otsuThreshold(image), .blackOnWhite = base.blackOnWhite};
    for (const Region& region : findRegions(image, options))
        list.add(seedValues(region, base));
    return list.objects();
}

std::vector<std::vector<double>> trackIous(const std::vector<Track>& tracks,
                                           const std::vector<int>& labels,
                                           const SyntheticMovie& movie) {
    const std::int32_t width = movie.frames.width(), height = movie.frames.height();
    std::vector<std::vector<double>> ious;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const Track& track = tracks[t];
        std::vector<double>& row = ious.emplace_back();
        for (int f = track.firstFrame; f < movie.frames.frameCount(); ++f) {
            const std::size_t k = static_cast<std::size_t>(f - track.firstFrame);
            if (labels[t] == 0 || k >= track.frames.size() || !track.frames[k].closed) {
                row.push_back(0);
                continue;
            }
            const std::vector<std::uint16_t>& truth = movie.truth[static_cast<std::size_t>(f)];
            const auto label = static_cast<std::uint16_t>(labels[t]);
            double area = 0, overlap = 0;
            forEachInsideSpan(track.frames[k].contour, width, height,
                              [&](std::int32_t y, std::int32_t first, std::int32_t last) {
                                  const std::size_t at = static_cast<std::size_t>(y) * width;
                                  for (std::int32_t x = first; x <= last; ++x)
                                      overlap += truth[at + static_cast<std::size_t>(x)] == label;
                                  area += last - first + 1;
                              });
            const double truthArea =
                static_cast<double>(std::count(truth.begin(), truth.end(), label));
            row.push_back(overlap / (area + truthArea - overlap));
        }
    }
    return ious;
}

std::vector<int> matchTracks(const std::vector<Track>& tracks, const SyntheticMovie& movie) {
    std::vector<PixelSet> outlines;
    const std::int32_t width = movie.frames.width(), height = movie.frames.height();
    for (const Track& track : tracks) {
        PixelSet& pixels = outlines.emplace_back();
        if (track.frames.empty() || !track.frames.front().closed) continue;
        forEachInsideSpan(track.frames.front().contour, width, height,
                          [&](std::int32_t y, std::int32_t first, std::int32_t last) {
                              for (std::int32_t x = first; x <= last; ++x)
                                  pixels.push_back(static_cast<std::size_t>(y) * width +
                                                   static_cast<std::size_t>(x));
                          });
    }
    const std::vector<std::uint16_t>& truth =
        movie.truth[static_cast<std::size_t>(tracks.empty() ? 0 : tracks.front().firstFrame)];
    // The best IoU first, one to one, as scoreFinding pairs them.
    struct Pair {
        double iou;
        std::size_t track;
        int label;
    };
    std::vector<Pair> pairs;
    const std::size_t labels = movie.ellipses.front().size() + 1;
    std::vector<double> truthArea(labels, 0), overlap(labels);
    for (std::uint16_t t : truth)
        ++truthArea[t];
    for (std::size_t k = 0; k < outlines.size(); ++k) {
        std::fill(overlap.begin(), overlap.end(), 0.0);
        for (std::size_t i : outlines[k])
            ++overlap[truth[i]];
        const double area = static_cast<double>(outlines[k].size());
        for (std::size_t t = 1; t < labels; ++t)
            if (overlap[t] > 0)
                pairs.push_back({overlap[t] / (area + truthArea[t] - overlap[t]), k, int(t)});
    }
    std::sort(pairs.begin(), pairs.end(),
              [](const Pair& a, const Pair& b) { return a.iou > b.iou; });
    std::vector<int> match(tracks.size(), 0);
    std::vector<bool> taken(labels, false);
    for (const Pair& p : pairs)
        if (p.iou >= 0.5 && match[p.track] == 0 && !taken[std::size_t(p.label)]) {
            match[p.track] = p.label;
            taken[std::size_t(p.label)] = true;
        }
    return match;
}

} // namespace orvik::test
