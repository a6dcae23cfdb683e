// Movies of cells with their true tracks.
#include "tracking_movie.h"

#include "synthetic_drawing.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace orvik::test {

using namespace drawing;

namespace {

Cell cell(double x, double y, double a, double b, int first, int last, double dx = 0,
          double dy = 0) {
    Cell c;
    c.start = {x, y, a, b, 0.3};
    c.first = first;
    c.last = last;
    c.dx = dx;
    c.dy = dy;
    return c;
}

// A cell that divides on frame `at` into two that move apart along the x axis.
void dividing(std::vector<Cell>& cells, Cell mother, int at, int last) {
    mother.last = at - 1;
    cells.push_back(mother);
    const int parent = static_cast<int>(cells.size());
    const double t = at - mother.first;
    const double x = mother.start.x + mother.dx * t, y = mother.start.y + mother.dy * t;
    const double r = mother.start.semiA / std::sqrt(2.0);
    for (const int side : {-1, 1}) {
        Cell d = cell(x + side * (r + 1.5), y, r, r, at, last, side * 0.4 + mother.dx, mother.dy);
        d.parent = parent;
        cells.push_back(d);
    }
}

} // namespace

TrackingScene trackingScene(const std::string& kind, std::uint32_t seed, int frames) {
    TrackingScene s;
    s.seed = seed;
    s.frames = frames;
    const int last = frames - 1;
    std::vector<Cell>& c = s.cells;
    const bool all = kind == "mixed";
    if (kind == "drift" || all) {
        c.push_back(cell(60, 60, 14, 10, 0, last, 0.3, 0.2));
        c.push_back(cell(190, 70, 11, 11, 0, last, -0.25, 0.3));
    }
    if (kind == "growth" || all) {
        Cell g = cell(70, 190, 9, 7, 0, last, 0.1, -0.1);
        g.growth = 0.006;
        c.push_back(g);
    }
    if (kind == "dimming" || all) {
        Cell d = cell(128, 128, 13, 11, 0, last, 0.15, 0.1);
        d.contrastEnd = 0.3;
        c.push_back(d);
    }
    if (kind == "collapse") {
        Cell d = cell(128, 128, 12, 12, 0, last);
        d.contrastEnd = -0.5; // none from two thirds of the way on
        c.push_back(d);
        c.push_back(cell(60, 60, 12, 10, 0, last, 0.2, 0.1));
    }
    if (kind == "touching" || all) {
        // Two cells that come into contact half-way and press on into each other.
        c.push_back(cell(166, 200, 12, 10, 0, last, 0.05, 0));
        c.push_back(cell(194, 200, 12, 10, 0, last, -0.05, 0));
    }
    if (kind == "arrival" || kind == "departure") c.push_back(cell(128, 180, 10, 12, 0, last));
    if (kind == "arrival" || all) c.push_back(cell(-12, 235, 11, 9, 10, last, 1.5, 0));
    if (kind == "departure" || all) c.push_back(cell(230, 140, 10, 10, 0, 60, 1.2, 0));
    if (kind == "division" || all) dividing(c, cell(200, 35, 14, 14, 0, last), 50, last);
    if (s.cells.empty()) s.cells.push_back(cell(128, 128, 12, 12, 0, last));
    return s;
}

TrackingScene crowdScene(int width, int height, int frames, int count, std::uint32_t seed) {
    TrackingScene s;
    s.width = width;
    s.height = height;
    s.frames = frames;
    s.seed = seed;
    const int side = static_cast<int>(std::ceil(std::sqrt(count)));
    const double step = std::min(width, height) / static_cast<double>(side);
    Random random(seed);
    for (int k = 0; k < count; ++k) {
        const double x = (k % side + 0.5) * step, y = (k / side + 0.5) * step;
        const double heading = random.uniform(0, 2 * std::numbers::pi);
        s.cells.push_back(cell(x, y, step * 0.25, step * 0.2, 0, frames - 1,
                               0.1 * std::cos(heading), 0.1 * std::sin(heading)));
    }
    return s;
}

TrackingMovie drawTrackingMovie(const TrackingScene& scene) {
    const int width = scene.width, height = scene.height;
    const std::size_t size = static_cast<std::size_t>(width) * height;
    Random random(scene.seed);
    TrackingMovie movie;
    movie.frames = FrameStack(width, height, SampleLayout::Grey16);
    const double span = scene.objectValue - scene.groundValue;
    std::map<int, TrueTrack> spans;
    for (int f = 0; f < scene.frames; ++f) {
        std::vector<double> cover(size, 0), value(size, scene.groundValue);
        std::vector<std::uint16_t>& truth = movie.truth.emplace_back(size, 0);
        std::vector<double> depth(size, 0);
        for (std::size_t k = 0; k < scene.cells.size(); ++k) {
            const Cell& c = scene.cells[k];
            if (f < c.first || f > c.last) continue;
            const double t = f - c.first;
            const double scale = 1 + c.growth * t;
            const Ellipse e{c.start.x + c.dx * t, c.start.y + c.dy * t, c.start.semiA * scale,
                            c.start.semiB * scale, c.start.angle};
            const double share = c.last > c.first ? t / (c.last - c.first) : 0;
            const double contrast = std::max(0.0, 1 + (c.contrastEnd - 1) * share);
            const auto label = static_cast<std::uint16_t>(k + 1);
            int pixels = 0;
            forEachPixelNear(e, 0, width, height, [&](std::size_t i) {
                const double d = e.depth(i, width);
                if (truth[i] == 0 || d > depth[i]) {
                    truth[i] = label;
                    depth[i] = d;
                }
                ++pixels;
            });
            forEachPixelNear(e, 1.5, width, height, [&](std::size_t i) {
                const double v = contrast * drawing::cover(e, i, width);
                if (v > cover[i]) cover[i] = v;
            });
            if (pixels < 20 || contrast < 0.15) {
                for (std::size_t i = 0; i < size; ++i)
                    if (truth[i] == label) truth[i] = 0;
                continue;
            }
            auto [it, fresh] = spans.try_emplace(label, TrueTrack{label, f, f, c.parent});
            it->second.last = f;
        }
        for (std::size_t i = 0; i < size; ++i)
            value[i] += span * cover[i];
        value = blurred(value, width, height, scene.blurSigma);
        movie.frames.addFrame16([&](std::uint16_t* samples) {
            for (std::size_t i = 0; i < size; ++i) {
                const double v = std::round(value[i] + scene.noiseSigma * random.gaussian());
                samples[i] = static_cast<std::uint16_t>(std::clamp(v, 0.0, 65535.0));
            }
        });
    }
    for (const auto& [label, track] : spans)
        movie.tracks.push_back(track);
    return movie;
}

} // namespace orvik::test
