// How well "Follow through frames" follows: on synthetic 16-bit movies of ellipses that drift,
// grow and dim, objects are seeded on frame 0 by "Find objects" (Otsu's threshold through the
// stack's display range) and followed to the last frame. Per movie: how many true ellipses got
// an object on frame 0 (IoU ≥ 0.5), how many of those kept it on every frame (the same track's
// IoU with its own ellipse ≥ 0.5 on each), and the median IoU over every true ellipse and frame
// (0 where it has no track, or its track ended or lost it).
//
//   follow_accuracy [--movies N] [--frames F] [--drift PX] [--growth G] [--dimming D]
//                   [--noise S] [--blur S] [--model center|standard|balloon] [--dark yes]
//                   [--set KEY=VALUE ...]
#include "document/follow.h"
#include "frame_stack.h"
#include "synthetic_movie.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace orvik::bench {
namespace {

struct Options {
    int movies = 5;
    test::MovieScene scene;
    ControlValues base;
    std::vector<std::pair<Field, int>> overrides;
};

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr, "follow_accuracy: %s\n", why);
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    o.scene.frames = 100;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) usage(("a value must follow " + a).c_str());
        const char* v = argv[++i];
        if (a == "--movies")
            o.movies = std::atoi(v);
        else if (a == "--frames")
            o.scene.frames = std::atoi(v);
        else if (a == "--drift")
            o.scene.drift = std::atof(v);
        else if (a == "--growth")
            o.scene.growth = std::atof(v);
        else if (a == "--dimming")
            o.scene.dimming = std::atof(v);
        else if (a == "--noise")
            o.scene.noiseSigma = std::atof(v);
        else if (a == "--blur")
            o.scene.blurSigma = std::atof(v);
        else if (a == "--dark")
            o.scene.darkObjects = std::strcmp(v, "yes") == 0;
        else if (a == "--model") {
            bool known = false;
            for (ModelChoice m :
                 {ModelChoice::CenterPoint, ModelChoice::Standard, ModelChoice::Balloon})
                if (std::strcmp(v, modelKey(m)) == 0) {
                    o.base.model = m;
                    known = true;
                }
            if (!known) usage("--model wants center, standard or balloon");
        } else if (a == "--set") {
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
    o.base.blackOnWhite = o.scene.darkObjects;
    return o;
}

struct MovieScore {
    int truth = 0, seeded = 0, matched = 0, kept = 0;
    std::vector<double> ious; // every true ellipse on every frame
};

MovieScore followMovie(const test::SyntheticMovie& movie, const Options& o) {
    const DisplayRange range = autoRange(movie.frames);
    std::vector<PictureObject> objects =
        test::seedObjects(greyFrame(movie.frames, 0, range), o.base);
    for (PictureObject& object : objects)
        for (const auto& [field, value] : o.overrides)
            at(object.values.fields, field) = value;
    const int frames = movie.frames.frameCount();
    const FollowOutcome outcome = followObjects(
        objects, [&](int f) { return greyFrame(movie.frames, f, range); }, 0, frames, "movie", 2);

    MovieScore score;
    score.truth = static_cast<int>(movie.ellipses.front().size());
    score.seeded = static_cast<int>(objects.size());
    const std::vector<int> labels = test::matchTracks(outcome.tracks, movie);
    const std::vector<std::vector<double>> ious = test::trackIous(outcome.tracks, labels, movie);
    for (std::size_t t = 0; t < ious.size(); ++t) {
        if (labels[t] == 0) continue;
        ++score.matched;
        bool kept = true;
        for (double iou : ious[t])
            kept = kept && iou >= 0.5;
        score.kept += kept;
        score.ious.insert(score.ious.end(), ious[t].begin(), ious[t].end());
    }
    // A true ellipse without a track counts 0 on every frame.
    score.ious.resize(static_cast<std::size_t>(score.truth) * static_cast<std::size_t>(frames),
                      0.0);
    return score;
}

} // namespace
} // namespace orvik::bench

int main(int argc, char** argv) {
    using namespace orvik;
    const bench::Options o = bench::parse(argc, argv);
    const test::MovieScene& s = o.scene;
    std::printf("%s, %s, %d frames of %d x %d, drift %.2f px, growth %.4f, dimming %.4f a frame, "
                "noise %.0f, blur %.1f\n",
                modelKey(o.base.model), polarityKey(o.base.blackOnWhite), s.frames, s.width,
                s.height, s.drift, s.growth, s.dimming, s.noiseSigma, s.blurSigma);
    std::printf("%-6s %6s %7s %8s %5s %11s %10s\n", "movie", "truth", "seeded", "matched", "kept",
                "all kept", "median IoU");
    std::vector<double> all;
    int truth = 0, kept = 0;
    for (int k = 1; k <= o.movies; ++k) {
        test::MovieScene scene = o.scene;
        scene.seed = static_cast<std::uint32_t>(k);
        const bench::MovieScore m = bench::followMovie(test::drawMovie(scene), o);
        std::printf("%-6d %6d %7d %8d %5d %11s %10.3f\n", k, m.truth, m.seeded, m.matched, m.kept,
                    m.kept == m.truth ? "yes" : "no", test::median(m.ious));
        all.insert(all.end(), m.ious.begin(), m.ious.end());
        truth += m.truth;
        kept += m.kept;
    }
    std::printf("%-6s %6d %7s %8s %5d %11s %10.3f\n", "all", truth, "", "", kept,
                kept == truth ? "yes" : "no", test::median(all));
}
