// How well following with detection tracks: synthetic 16-bit movies with their truth
// (tests/support/tracking_movie.h) are written as TIFF stacks, orvik-cli follows each with
// --find-objects --threshold auto --split --save ctc, and the saved CTC layout is scored against
// the truth (SEG, TRA: tests/support/ctc_measures.h), with the share of each true track's frames
// on which one id covers it, the ids found on two true objects, and the dimming cell's area on
// the last frame against its truth. With --timing, the 50 cells of a 512 × 512 × 100 stack are
// followed too and the frames per second of the whole run (reading included) given.
//
//   track_accuracy ORVIK_CLI [--kinds a,b,...] [--threads N] [--timing] [--keep DIR]
#include "ctc_measures.h"
#include "tiff_files.h"
#include "tracking_movie.h"

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace orvik::test;

namespace {

CtcLayout truthOf(const TrackingMovie& movie) {
    CtcLayout truth;
    truth.width = movie.frames.width();
    truth.height = movie.frames.height();
    truth.masks = movie.truth;
    for (const TrueTrack& t : movie.tracks)
        truth.tracks.push_back({t.label, t.first, t.last, t.parent});
    return truth;
}

void writeMovie(const TrackingMovie& movie, const QString& path) {
    const std::size_t n = movie.frames.samplesPerFrame();
    writeStack16(path, movie.frames.width(), movie.frames.height(), movie.frames.frameCount(),
                 [&](int f, std::uint16_t* samples) {
                     const auto from = movie.frames.frame16(f);
                     std::copy(from.get(), from.get() + n, samples);
                 });
}

double runCli(const std::string& cli, const QString& movie, const QString& out, int threads,
              bool save) {
    const std::string command = "'" + cli + "' --find-objects --threshold auto --split --threads " +
                                std::to_string(threads) +
                                (save ? " --save ctc --out '" + out.toStdString() + "'" : "") +
                                " '" + movie.toStdString() + "' > /dev/null";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0 && status != 256) { // 1: an object failed on some frame
        std::fprintf(stderr, "track_accuracy: \"%s\" gave %d\n", command.c_str(), status);
        std::exit(2);
    }
    return seconds;
}

// Per true track, the share of its frames on which the id that covers it most often covers it
// (more than half of it); and how many result ids cover two distinct true objects.
void identities(const CtcLayout& truth, const CtcLayout& result, double& worst, int& shared) {
    std::map<int, std::map<int, int>> idsOfTrue; // true label -> result id -> frames
    std::map<int, std::set<int>> trueOfId;
    std::map<int, int> framesOfTrue;
    for (std::size_t f = 0; f < truth.masks.size() && f < result.masks.size(); ++f) {
        std::map<int, long> area;
        std::map<std::pair<int, int>, long> both;
        for (std::size_t i = 0; i < truth.masks[f].size(); ++i) {
            const int t = truth.masks[f][i], r = result.masks[f][i];
            if (t) ++area[t];
            if (t && r) ++both[{t, r}];
        }
        for (const auto& [t, a] : area)
            ++framesOfTrue[t];
        for (const auto& [pair, n] : both)
            if (2 * n > area[pair.first]) {
                ++idsOfTrue[pair.first][pair.second];
                trueOfId[pair.second].insert(pair.first);
            }
    }
    worst = 1;
    for (const auto& [t, frames] : framesOfTrue) {
        int best = 0;
        for (const auto& [id, n] : idsOfTrue[t])
            best = std::max(best, n);
        worst = std::min(worst, double(best) / frames);
    }
    shared = 0;
    for (const auto& [id, trues] : trueOfId)
        shared += trues.size() > 1;
}

// The dimming cell's area on the last frame: the result object covering it against its truth.
double dimmingError(const TrackingMovie& movie, const CtcLayout& result, int label) {
    const auto& t = movie.truth.back();
    const auto& r = result.masks.back();
    std::map<int, long> on;
    long area = 0;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i] == label) {
            ++area;
            if (r[i]) ++on[r[i]];
        }
    int id = 0;
    long best = 0;
    for (const auto& [l, n] : on)
        if (n > best) {
            best = n;
            id = l;
        }
    if (id == 0 || area == 0) return 1;
    const long found = std::count(r.begin(), r.end(), id);
    return double(found - area) / double(area);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: track_accuracy ORVIK_CLI [--kinds a,b] [--threads N] "
                             "[--timing] [--keep DIR]\n");
        return 2;
    }
    const std::string cli = argv[1];
    std::vector<std::string> kinds = {"drift",     "growth",   "dimming",  "touching", "arrival",
                                      "departure", "division", "collapse", "mixed"};
    int threads = 1;
    bool timing = false;
    QString keep;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--kinds" && i + 1 < argc) {
            kinds.clear();
            std::string list = argv[++i];
            for (std::size_t at = 0; at <= list.size();) {
                const std::size_t comma = std::min(list.find(',', at), list.size());
                kinds.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
        } else if (a == "--threads" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
        } else if (a == "--timing") {
            timing = true;
        } else if (a == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        }
    }
    QTemporaryDir temporary;
    const QString folder = keep.isEmpty() ? temporary.path() : keep;
    QDir().mkpath(folder);
    std::printf("%-10s %6s %6s %4s %4s %4s %4s %4s %4s %9s %6s %9s\n", "movie", "SEG", "TRA", "NS",
                "FN", "FP", "ED", "EA", "EC", "id-frames", "shared", "dim-area");
    double segSum = 0, traSum = 0;
    for (const std::string& kind : kinds) {
        const TrackingScene scene = trackingScene(kind);
        const TrackingMovie movie = drawTrackingMovie(scene);
        const QString name = QString::fromStdString(kind);
        const QString path = QDir(folder).filePath(name + QStringLiteral(".tif"));
        writeMovie(movie, path);
        const QString out = QDir(folder).filePath(name + QStringLiteral("-res"));
        runCli(cli, path, out, threads, true);
        const CtcLayout result = readCtcFolder(QDir(out).filePath(name), scene.frames);
        const CtcMeasures m = ctcMeasures(truthOf(movie), result);
        double worst = 0;
        int shared = 0;
        identities(truthOf(movie), result, worst, shared);
        std::string dim = "-";
        for (std::size_t k = 0; k < scene.cells.size(); ++k)
            if (scene.cells[k].contrastEnd == 0.3) {
                char text[32];
                std::snprintf(text, sizeof text, "%+.1f%%",
                              100 * dimmingError(movie, result, int(k + 1)));
                dim = text;
            }
        std::printf("%-10s %6.3f %6.3f %4d %4d %4d %4d %4d %4d %8.1f%% %6d %9s\n", kind.c_str(),
                    m.seg, m.tra, m.ns, m.fn, m.fp, m.ed, m.ea, m.ec, 100 * worst, shared,
                    dim.c_str());
        segSum += m.seg;
        traSum += m.tra;
    }
    std::printf("%-10s %6.3f %6.3f\n", "mean", segSum / kinds.size(), traSum / kinds.size());
    if (timing) {
        const TrackingMovie movie = drawTrackingMovie(crowdScene(512, 512, 100, 50));
        const QString path = QDir(folder).filePath(QStringLiteral("crowd.tif"));
        writeMovie(movie, path);
        const double plain = runCli(cli, path, {}, threads, false);
        const double saved =
            runCli(cli, path, QDir(folder).filePath(QStringLiteral("crowd-res")), threads, true);
        std::printf("crowd 512x512x100, 50 cells, %d threads: %.1f frames/s (JSON lines), %.1f "
                    "frames/s (with --save ctc)\n",
                    threads, 100 / plain, 100 / saved);
    }
    return 0;
}
