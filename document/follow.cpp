// Following objects from frame to frame, each frame's objects on worker threads.
#include "document/follow.h"

#include "checked_float.h"
#include "core/commands.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace orvik {

namespace {

struct Point {
    double x, y;
};

// The contour of `level` as points in the picture.
std::vector<Point> levelPolygon(const KONTUR& k, std::int32_t level) {
    std::vector<Point> polygon;
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        if (k.ModelKind == 1) {
            const Direction d = pointDirection(i, k.PointCount);
            const double r = pointX(k, i, level);
            polygon.push_back({k.CenterX + r * d.cos, k.CenterY + r * d.sin});
        } else {
            polygon.push_back({pointX(k, i, level), pointY(k, i, level)});
        }
    }
    return polygon;
}

// The centroid of the area a polygon encloses; its points' mean when it encloses none.
Point centroid(const std::vector<Point>& polygon) {
    double area = 0, cx = 0, cy = 0, mx = 0, my = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Point a = polygon[i], b = polygon[(i + 1) % polygon.size()];
        const double cross = a.x * b.y - b.x * a.y;
        area += cross;
        cx += (a.x + b.x) * cross;
        cy += (a.y + b.y) * cross;
        mx += a.x;
        my += a.y;
    }
    if (std::abs(area) < 1e-9) return {mx / polygon.size(), my / polygon.size()};
    return {cx / (3 * area), cy / (3 * area)};
}

// How far from `from` along `d` the ray leaves the polygon: the farthest crossing of an edge,
// or `fallback` when it crosses none.
double rayExit(Point from, Direction d, const std::vector<Point>& polygon, double fallback) {
    double farthest = -1;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Point a = polygon[i], b = polygon[(i + 1) % polygon.size()];
        const double ex = b.x - a.x, ey = b.y - a.y;
        const double denominator = double(d.cos) * ey - double(d.sin) * ex;
        if (std::abs(denominator) < 1e-12) continue;
        const double ax = a.x - from.x, ay = a.y - from.y;
        const double t = (ax * ey - ay * ex) / denominator;
        const double s = (ax * d.sin - ay * d.cos) / denominator;
        if (t > 0 && s >= 0 && s <= 1) farthest = std::max(farthest, t);
    }
    return farthest > 0 ? farthest : fallback;
}

// Before a frame after the first: the centre that "Center point"'s radii and "Standard"'s
// shape force refer to moves to the contour's centroid, so that a moving object takes its
// model along; otherwise the model pulls its contour back toward where the object was on
// the first frame. "Center point" keeps its outline: each radius becomes the distance from
// the new centre to the old outline along the point's own direction, at both levels.
void recentre(KONTUR& k) {
    if ((k.ModelKind != 1 && k.ModelKind != 2) || k.PointCount < 3 || !k.Points) return;
    const Point c = centroid(levelPolygon(k, currentLevel(k)));
    if (!std::isfinite(c.x) || !std::isfinite(c.y)) return;
    if (k.ModelKind == 1) {
        for (const std::int32_t level : {0, 1}) {
            const std::vector<Point> outline = levelPolygon(k, level);
            for (std::int32_t i = 0; i < k.PointCount; ++i) {
                const Point p = outline[static_cast<std::size_t>(i)];
                const double reach = std::hypot(p.x - c.x, p.y - c.y);
                pointX(k, i, level) =
                    static_cast<float>(rayExit(c, pointDirection(i, k.PointCount), outline, reach));
            }
        }
    }
    k.CenterX = static_cast<float>(c.x);
    k.CenterY = static_cast<float>(c.y);
}

// One step of a track on `image`: the analysis from the settings on the track's first frame,
// else a run on from where the contour stopped.
void followOn(Track& track, KONTUR& k, const GreyImage& image, const std::string& imageFile,
              StepScratch& scratch) {
    if (!track.error.empty()) return; // the track ended on an earlier frame
    const bool blackOnWhite = track.values.blackOnWhite;
    const ImageBindingScope binding(image, blackOnWhite);
    try {
        if (track.frames.empty()) {
            analyseContour(k, scratch, track.values);
        } else {
            runOnNextFrame(k, scratch);
        }
    } catch (const FloatingPointError& error) {
        track.error = error.what();
        return;
    }
    track.frames.push_back(
        captureResult(k, runContext(imageFile, image.ImageWidth, image.ImageHeight, track.values)));
}

} // namespace

void runOnNextFrame(KONTUR& k, StepScratch& scratch) {
    recentre(k);
    Run(k, scratch);
}

FollowOutcome followObjects(const std::vector<PictureObject>& objects, const FrameSource& frame,
                            int first, int count, const std::string& imageFile, int threads,
                            const std::function<bool(int)>& progress) {
    FollowOutcome outcome;
    const std::size_t n = objects.size();
    outcome.tracks.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        outcome.tracks[i].id = objects[i].id;
        outcome.tracks[i].values = objects[i].values;
        outcome.tracks[i].firstFrame = first;
    }
    std::vector<KONTUR> contours(n);
    const std::size_t workers =
        std::clamp<std::size_t>(static_cast<std::size_t>(threads), 1, std::max<std::size_t>(n, 1));
    // Each worker keeps its scratch from frame to frame.
    std::vector<StepScratch> scratch(workers);
    for (int f = 0; f < count; ++f) {
        const GreyImage image = frame(first + f);
        std::atomic<std::size_t> next{0};
        const auto work = [&](std::size_t w) {
            for (std::size_t i = next++; i < n; i = next++)
                followOn(outcome.tracks[i], contours[i], image, imageFile, scratch[w]);
        };
        {
            // The calling thread only waits: its own binding (the window's) stays as it is.
            std::vector<std::jthread> pool;
            for (std::size_t w = 0; w < workers; ++w)
                pool.emplace_back(work, w);
        }
        outcome.framesDone = f + 1;
        if (progress && !progress(outcome.framesDone)) break;
    }
    return outcome;
}

} // namespace orvik
