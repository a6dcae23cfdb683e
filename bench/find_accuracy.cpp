// How well "Find objects" finds objects: recall, precision (a found object matches a true one
// at IoU ≥ 0.5) and the median IoU of each closed model on pictures of known ellipses, dark on
// light and light on dark, or on a picture with a reference label picture (the coins).
//
//   find_accuracy [--pictures N] [--axes MIN-MAX] [--blur S] [--noise S] [--clump N]
//                 [--vignette V] [--greys OBJECT-GROUND] [--set KEY=VALUE ...]
//   find_accuracy --picture coins.png --truth coins-truth.png --object white-on-black
//                 [--overlay out.png] [--exclude-edges yes] [--set KEY=VALUE ...]
//
// Find objects runs with its defaults (Otsu's threshold, regions of at least 20 pixels) and
// each model's default fields; --exclude-edges yes drops the regions that touch the border,
// --threshold local[:R] takes the local threshold, --split yes cuts touching objects apart,
// --polarity auto lets the picture choose the objects' side. The last column is the largest
// area two found objects share, as a share of the smaller one.
// --set changes a field of every seeded object after the seeding (KEY as orvik-cli's options),
// so that the causes of a model's misses can be tried one at a time.
#include "core/result.h"
#include "grey_image.h"
#include "synthetic_ellipses.h"

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace orvik::bench {
namespace {

struct Options {
    int pictures = 10;
    double blur = 1.5, noise = 10;
    double minSemiAxis = 8, maxSemiAxis = 24;
    std::string picture, truth, overlay;
    bool blackOnWhite = true;
    int clump = 1;
    double vignette = 0;
    int objectGrey = 50, groundGrey = 200;
    FindOptions find;
    std::vector<std::pair<Field, int>> overrides;
};

constexpr ModelChoice kClosedModels[] = {ModelChoice::CenterPoint, ModelChoice::Standard,
                                         ModelChoice::Balloon};

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr, "find_accuracy: %s\n", why);
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) usage(("a value must follow " + a).c_str());
        const char* v = argv[++i];
        if (a == "--pictures")
            o.pictures = std::atoi(v);
        else if (a == "--blur")
            o.blur = std::atof(v);
        else if (a == "--axes") {
            if (std::sscanf(v, "%lf-%lf", &o.minSemiAxis, &o.maxSemiAxis) != 2)
                usage("--axes wants MIN-MAX");
        } else if (a == "--noise")
            o.noise = std::atof(v);
        else if (a == "--picture")
            o.picture = v;
        else if (a == "--truth")
            o.truth = v;
        else if (a == "--overlay")
            o.overlay = v;
        else if (a == "--exclude-edges")
            o.find.excludeEdges = std::strcmp(v, "yes") == 0;
        else if (a == "--clump")
            o.clump = std::atoi(v);
        else if (a == "--vignette")
            o.vignette = std::atof(v);
        else if (a == "--greys") {
            if (std::sscanf(v, "%d-%d", &o.objectGrey, &o.groundGrey) != 2)
                usage("--greys wants OBJECT-GROUND");
        } else if (a == "--threshold") {
            o.find.localThreshold = std::strncmp(v, "local", 5) == 0;
            if (std::strncmp(v, "local:", 6) == 0) o.find.localRadius = std::atoi(v + 6);
        } else if (a == "--split")
            o.find.split = std::strcmp(v, "yes") == 0;
        else if (a == "--polarity")
            o.find.autoPolarity = std::strcmp(v, "auto") == 0;
        else if (a == "--object")
            o.blackOnWhite = std::strcmp(v, "white-on-black") != 0;
        else if (a == "--set") {
            const char* eq = std::strchr(v, '=');
            bool known = false;
            for (const FieldInfo& f : fieldTable())
                if (eq && std::string(v, eq) == f.key) {
                    o.overrides.emplace_back(f.field, std::atoi(eq + 1));
                    known = true;
                }
            if (!known) usage("--set wants KEY=VALUE with a field's key");
        } else
            usage(("unknown option " + a).c_str());
    }
    return o;
}

// The largest area two of the outlines share, as a share of the smaller one's.
double mostShared(const std::vector<test::PixelSet>& found, std::size_t pixels) {
    std::vector<int> owner(pixels, -1);
    std::map<std::pair<int, int>, int> shared;
    for (std::size_t f = 0; f < found.size(); ++f)
        for (std::size_t i : found[f]) {
            if (owner[i] >= 0) ++shared[{owner[i], static_cast<int>(f)}];
            owner[i] = static_cast<int>(f);
        }
    double most = 0;
    for (const auto& [pair, count] : shared)
        most = std::max(
            most, count / double(std::min(found[pair.first].size(), found[pair.second].size())));
    return most;
}

// "Find objects" with `model`'s default fields and the overrides, scored against `truth`.
test::FindingScore measure(const GreyImage& image, const std::vector<std::uint16_t>& truth,
                           ModelChoice model, bool blackOnWhite, const Options& o,
                           std::vector<test::PixelSet>* outlines = nullptr) {
    ControlValues base;
    base.model = model;
    base.blackOnWhite = blackOnWhite;
    const auto adjust = [&o](ControlValues& values) {
        for (const auto& [field, value] : o.overrides)
            at(values.fields, field) = value;
    };
    std::vector<test::PixelSet> found = test::findAndOutline(image, base, o.find, adjust);
    test::FindingScore score = test::scoreFinding(truth, found);
    score.mostShared = mostShared(found, image.ImageWidth * std::size_t(image.ImageHeight));
    if (outlines) *outlines = std::move(found);
    return score;
}

void printHeader() {
    std::printf("%-10s %-15s %-14s %6s %6s %7s %7s %9s %10s %10s %7s\n", "pictures", "model",
                "object", "truth", "found", "matched", "recall", "precision", "median IoU",
                "area ratio", "shared");
}

void printRow(const char* pictures, ModelChoice model, bool blackOnWhite,
              const test::FindingScore& s) {
    std::printf("%-10s %-15s %-14s %6d %6d %7d %7.3f %9.3f %10.3f %10.3f %7.4f\n", pictures,
                modelKey(model), polarityKey(blackOnWhite), s.truthCount, s.foundCount, s.matched,
                s.recall, s.precision, s.medianIou, s.medianAreaRatio, s.mostShared);
}

// Each model on `pictures` scenes of each polarity (seeds 1, 2, ...), pooled: the counts add
// up, the medians are over every object of every picture.
void synthetic(const Options& o) {
    for (bool dark : {true, false})
        for (ModelChoice model : kClosedModels) {
            test::FindingScore total;
            std::vector<double> ious, ratios;
            for (int k = 1; k <= o.pictures; ++k) {
                test::EllipseScene scene;
                scene.darkObjects = dark;
                scene.blurSigma = o.blur;
                scene.noiseSigma = o.noise;
                // The picture grows with the ellipses, so that as many fit.
                scene.minSemiAxis = o.minSemiAxis;
                scene.maxSemiAxis = o.maxSemiAxis;
                scene.width = std::max(320, static_cast<int>(14 * o.maxSemiAxis));
                scene.height = scene.width * 3 / 4;
                scene.seed = static_cast<std::uint32_t>(k);
                scene.clump = o.clump;
                scene.vignette = o.vignette;
                scene.objectGrey = o.objectGrey;
                scene.groundGrey = o.groundGrey;
                if (o.clump > 1) scene.count = std::max(1, 12 / o.clump);
                const test::SyntheticPicture p = test::drawEllipses(scene);
                const test::FindingScore s = measure(p.image, p.truth, model, dark, o);
                total.truthCount += s.truthCount;
                total.foundCount += s.foundCount;
                total.matched += s.matched;
                total.mostShared = std::max(total.mostShared, s.mostShared);
                ious.insert(ious.end(), s.ious.begin(), s.ious.end());
                ratios.insert(ratios.end(), s.areaRatios.begin(), s.areaRatios.end());
            }
            total.recall = static_cast<double>(total.matched) / total.truthCount;
            total.precision =
                total.foundCount ? static_cast<double>(total.matched) / total.foundCount : 0;
            total.medianIou = test::median(ious);
            total.medianAreaRatio = test::median(ratios);
            printRow("ellipses", model, dark, total);
        }
}

std::vector<std::uint16_t> readLabels(const std::string& path, int width, int height) {
    const QImage labels =
        QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_Grayscale16);
    if (labels.width() != width || labels.height() != height)
        usage("the truth picture must be a label picture of the picture's size");
    std::vector<std::uint16_t> truth(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint16_t*>(labels.constScanLine(y));
        for (int x = 0; x < width; ++x) // an 8-bit label k widens to 257 k
            truth[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint16_t>(row[x] / 257);
    }
    return truth;
}

// The picture with the reference outlines in green and "Center point"'s found outlines in red.
void writeOverlay(const std::string& path, const GreyImage& image,
                  const std::vector<std::uint16_t>& truth,
                  const std::vector<test::PixelSet>& found) {
    const int w = image.ImageWidth, h = image.ImageHeight;
    QImage out(w, h, QImage::Format_RGB32);
    std::vector<int> mine(static_cast<std::size_t>(w) * h, 0);
    for (std::size_t f = 0; f < found.size(); ++f)
        for (std::size_t i : found[f])
            mine[i] = static_cast<int>(f) + 1;
    const auto edge = [&](const auto& label, int x, int y) {
        const auto at = [&](int xx, int yy) {
            return xx < 0 || yy < 0 || xx >= w || yy >= h ? 0
                                                          : static_cast<int>(label[yy * w + xx]);
        };
        const int here = at(x, y);
        return here != 0 && (at(x - 1, y) != here || at(x + 1, y) != here || at(x, y - 1) != here ||
                             at(x, y + 1) != here);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int g = image.GreyData[static_cast<std::size_t>(y) * w + x];
            QRgb c = qRgb(g, g, g);
            if (edge(truth, x, y)) c = qRgb(0, 255, 0);
            if (edge(mine, x, y)) c = qRgb(255, 0, 0);
            out.setPixel(x, y, c);
        }
    if (!out.save(QString::fromStdString(path))) usage("the overlay could not be written");
}

void onePicture(const Options& o) {
    if (o.truth.empty()) usage("--picture needs --truth");
    const GreyImage image = loadGreyImage(QString::fromStdString(o.picture));
    const std::vector<std::uint16_t> truth =
        readLabels(o.truth, image.ImageWidth, image.ImageHeight);
    for (ModelChoice model : kClosedModels) {
        std::vector<test::PixelSet> outlines;
        printRow("picture", model, o.blackOnWhite,
                 measure(image, truth, model, o.blackOnWhite, o, &outlines));
        if (model == ModelChoice::CenterPoint && !o.overlay.empty())
            writeOverlay(o.overlay, image, truth, outlines);
    }
}

} // namespace
} // namespace orvik::bench

int main(int argc, char** argv) {
    QGuiApplication::setAttribute(Qt::AA_Use96Dpi);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const orvik::bench::Options o = orvik::bench::parse(argc, argv);
    orvik::bench::printHeader();
    if (o.picture.empty())
        orvik::bench::synthetic(o);
    else
        orvik::bench::onePicture(o);
    return 0;
}
