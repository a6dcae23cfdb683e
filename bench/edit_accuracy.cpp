// How far a hand correction brings the worst object of Find objects: on a picture with a
// reference label picture (the coins, bench/peer/coins_reference.py), Find objects as the
// window runs it (Otsu's threshold, "White on black", touching objects split, "Center point"),
// then on the object with the lowest IoU against its coin up to three drags, each of the point
// farthest from the coin's rim onto the rim's nearest pixel (what a user drags it to), and one
// Relax with those points pinned. Prints the IoU after each step.
//
//   edit_accuracy --picture coins.png --truth coins-truth.png [--model center|standard]
//                 [--rank N]   (the N-th worst object rather than the worst)
//                 [--split X1,Y1,X2,Y2 ...]   (split by these lines instead of dragging)
#include "core/measurements.h"
#include "document/editing.h"
#include "document/find_objects.h"

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace orvik::bench {
namespace {

std::vector<std::uint8_t> insideMask(const PictureObject& object, int width, int height) {
    std::vector<std::uint8_t> mask(std::size_t(width) * std::size_t(height), 0);
    forEachInsideSpan(object.result.contour, width, height,
                      [&](std::int32_t row, std::int32_t first, std::int32_t last) {
                          for (std::int32_t x = first; x <= last; ++x)
                              mask[std::size_t(row) * std::size_t(width) + std::size_t(x)] = 1;
                      });
    return mask;
}

// The IoU of the object with coin `label`.
double iou(const PictureObject& object, const QImage& truth, int label) {
    const int w = truth.width(), h = truth.height();
    const std::vector<std::uint8_t> mask = insideMask(object, w, h);
    long both = 0, either = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool a = mask[std::size_t(y) * std::size_t(w) + std::size_t(x)] != 0;
            const bool b = truth.constScanLine(y)[x] == label;
            both += a && b;
            either += a || b;
        }
    return either > 0 ? double(both) / double(either) : 0.0;
}

// The coin the object covers most.
int coinOf(const PictureObject& object, const QImage& truth) {
    const std::vector<std::uint8_t> mask = insideMask(object, truth.width(), truth.height());
    std::vector<long> count(256, 0);
    for (int y = 0; y < truth.height(); ++y)
        for (int x = 0; x < truth.width(); ++x)
            if (mask[std::size_t(y) * std::size_t(truth.width()) + std::size_t(x)] != 0)
                ++count[truth.constScanLine(y)[x]];
    int best = 0; // the ground alone: none
    long most = 0;
    for (int l = 1; l < 256; ++l)
        if (count[std::size_t(l)] > most) {
            most = count[std::size_t(l)];
            best = l;
        }
    return best;
}

// The rim of coin `label`: the centres of its pixels with a 4-neighbour outside it.
std::vector<ContourPoint> rimOf(const QImage& truth, int label) {
    std::vector<ContourPoint> rim;
    const auto at = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < truth.width() && y < truth.height() &&
               truth.constScanLine(y)[x] == label;
    };
    for (int y = 0; y < truth.height(); ++y)
        for (int x = 0; x < truth.width(); ++x)
            if (at(x, y) && (!at(x - 1, y) || !at(x + 1, y) || !at(x, y - 1) || !at(x, y + 1)))
                rim.push_back({x + 0.5, y + 0.5});
    return rim;
}

ContourPoint nearest(const std::vector<ContourPoint>& rim, ContourPoint p, double* distance) {
    ContourPoint best = rim.front();
    *distance = 1e300;
    for (const ContourPoint& r : rim)
        if (const double d = std::hypot(r.x - p.x, r.y - p.y); d < *distance) {
            *distance = d;
            best = r;
        }
    return best;
}

int argcCopy = 0;
char** argvCopy = nullptr;

int run(const char* picture, const char* truthFile, ModelChoice model) {
    const QImage truth =
        QImage(QString::fromLocal8Bit(truthFile)).convertToFormat(QImage::Format_Grayscale8);
    Document doc(DisplayBitmap::Skipped);
    const QString path = QString::fromLocal8Bit(picture);
    doc.open(loadStack(path, DisplayBitmap::Skipped), path);
    FindOptions options;
    options.threshold = otsuThreshold(doc.image());
    options.blackOnWhite = false; // light coins on a dark ground
    options.split = true;
    ControlValues base;
    base.model = model;
    doc.findObjects(options, base, true);
    doc.analyseAll(2);
    struct Scored {
        double iou;
        int id, coin;
    };
    std::vector<Scored> scored;
    for (const PictureObject& object : doc.objects().objects())
        if (const int c = coinOf(object, truth); c != 0)
            scored.push_back({iou(object, truth, c), object.id, c});
    std::sort(scored.begin(), scored.end(),
              [](const Scored& a, const Scored& b) { return a.iou < b.iou; });
    for (std::size_t i = 0; i < scored.size() && i < 3; ++i)
        std::printf("worst %zu: object %d on coin %d, IoU %.3f\n", i + 1, scored[i].id,
                    scored[i].coin, scored[i].iou);
    int which = 0;
    for (int i = 1; i + 1 < argcCopy; ++i)
        if (std::strcmp(argvCopy[i], "--rank") == 0) which = std::atoi(argvCopy[i + 1]) - 1;
    if (scored.empty() || which < 0 || which >= static_cast<int>(scored.size())) return 1;
    const int worst = scored[std::size_t(which)].id, coin = scored[std::size_t(which)].coin;
    const double worstIou = scored[std::size_t(which)].iou;
    std::printf("%zu objects found; corrected: object %d on coin %d, IoU %.3f\n",
                doc.objects().size(), worst, coin, worstIou);
    // --split X1,Y1,X2,Y2 (repeatable): cut the object by these lines first, each time going on
    // with the part that covers the coin most.
    int current = worst;
    for (int i = 1; i + 1 < argcCopy; ++i) {
        double x1, y1, x2, y2;
        if (std::strcmp(argvCopy[i], "--split") != 0 ||
            std::sscanf(argvCopy[i + 1], "%lf,%lf,%lf,%lf", &x1, &y1, &x2, &y2) != 4)
            continue;
        const std::vector<int> parts = splitObject(doc, current, x1, y1, x2, y2, 2);
        if (parts.size() != 2) return 1;
        const double a = iou(*doc.objects().find(parts[0]), truth, coin);
        const double b = iou(*doc.objects().find(parts[1]), truth, coin);
        current = a >= b ? parts[0] : parts[1];
        std::printf("split by (%g, %g)-(%g, %g): IoU %.3f\n", x1, y1, x2, y2, std::max(a, b));
    }
    if (current != worst) return 0;
    const std::vector<ContourPoint> rim = rimOf(truth, coin);
    // Three drags and a Relax, as the manual's example; then, for a contour that is still
    // far off, more drags until IoU 0.95 or 16 drags, and a Relax after them.
    for (int drag = 1; drag <= 16; ++drag) {
        PictureObject& object = *doc.objects().find(worst);
        const std::vector<ContourPoint> points = contourPoints(object);
        int farthest = -1;
        double far = 0;
        ContourPoint target{};
        for (std::size_t i = 0; i < points.size(); ++i) {
            double d = 0;
            const ContourPoint n = nearest(rim, points[i], &d);
            if (d > far) {
                far = d;
                farthest = static_cast<int>(i);
                target = n;
            }
        }
        if (farthest < 0) break;
        movePoint(object, farthest, target.x, target.y);
        keepEdit(doc, worst);
        const double after = iou(*doc.objects().find(worst), truth, coin);
        std::printf("drag %d: point %d moved %.1f px onto the rim: IoU %.3f\n", drag, farthest, far,
                    after);
        if (drag == 3 || (drag > 3 && (after >= 0.95 || drag == 16))) {
            relaxObject(doc, worst);
            const double relaxed = iou(*doc.objects().find(worst), truth, coin);
            std::printf("Relax after %d drags: IoU %.3f\n", drag, relaxed);
            if (relaxed >= 0.95 || drag > 3) break;
        }
    }
    return 0;
}

} // namespace
} // namespace orvik::bench

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const char* picture = nullptr;
    const char* truth = nullptr;
    orvik::ModelChoice model = orvik::ModelChoice::CenterPoint;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--picture") == 0) picture = argv[i + 1];
        if (std::strcmp(argv[i], "--truth") == 0) truth = argv[i + 1];
        if (std::strcmp(argv[i], "--model") == 0 && std::strcmp(argv[i + 1], "standard") == 0)
            model = orvik::ModelChoice::Standard;
    }
    if (picture == nullptr || truth == nullptr) {
        std::fprintf(stderr, "usage: edit_accuracy --picture P --truth T [--model standard]\n");
        return 2;
    }
    orvik::bench::argcCopy = argc;
    orvik::bench::argvCopy = argv;
    return orvik::bench::run(picture, truth, model);
}
