// The golden runs: synthetic pictures, the parameter table, and the hashing of every stored
// value (points of both levels, Energy, Iteration) as the runs go.
#include "golden_runs.h"

#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orvik::golden {

namespace {

// 64-bit FNV-1a over raw bytes: any changed bit changes the hash.
class Hasher {
public:
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            value_ ^= bytes[i];
            value_ *= 0x100000001b3ULL;
        }
    }
    template <typename T>
    void addValue(const T& v) {
        add(&v, sizeof v);
    }
    void addState(const KONTUR& k) {
        addValue(k.Iteration);
        addValue(k.Energy);
        if (k.Points) add(k.Points.get(), sizeof(float) * pointBufferSize(k.PointCount));
    }
    std::uint64_t value() const { return value_; }

private:
    std::uint64_t value_ = 0xcbf29ce484222325ULL;
};

// Hashes every vertex Draw hands over.
class HashingCanvas final : public ContourCanvas {
public:
    explicit HashingCanvas(Hasher& hasher) : hasher_(hasher) {}
    void SelectRedPen() override { hasher_.addValue('p'); }
    void RestorePen() override { hasher_.addValue('r'); }
    void MoveTo(std::int32_t x, std::int32_t y) override { vertex('m', x, y); }
    void LineTo(std::int32_t x, std::int32_t y) override { vertex('l', x, y); }

private:
    void vertex(char kind, std::int32_t x, std::int32_t y) {
        hasher_.addValue(kind);
        hasher_.addValue(x);
        hasher_.addValue(y);
    }
    Hasher& hasher_;
};

enum class PictureKind { None, Disc, Noisy, NoisyInverted };

// A grey picture bound for Sample while it lives.
class Picture {
public:
    Picture(PictureKind kind, bool blackOnWhite) : blackOnWhite_(blackOnWhite) {
        switch (kind) {
        case PictureKind::None:
            break;
        case PictureKind::Disc:
            fillDisc();
            break;
        case PictureKind::Noisy:
            fillNoisy(false);
            break;
        case PictureKind::NoisyInverted:
            fillNoisy(true);
            break;
        }
        BindImage({&grey_, &width_, &height_, &blackOnWhite_});
    }
    ~Picture() { BindImage({}); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // Rewrites the pixels in place: the same buffer, the same size, other content.
    void invertInPlace() {
        for (std::size_t i = 0; i < size(); ++i)
            grey_[i] = static_cast<std::uint8_t>(255 - grey_[i]);
    }

private:
    std::size_t size() const { return static_cast<std::size_t>(width_) * height_; }
    void allocate(std::int32_t width, std::int32_t height) {
        width_ = width;
        height_ = height;
        grey_ = std::make_unique<std::uint8_t[]>(size());
    }
    std::uint8_t& at(std::int32_t x, std::int32_t y) {
        return grey_[static_cast<std::size_t>(y) * width_ + x];
    }

    // 640 × 480, light shaded ground, a dark disc of radius 100 with a soft rim.
    void fillDisc() {
        allocate(640, 480);
        for (std::int32_t y = 0; y < height_; ++y) {
            for (std::int32_t x = 0; x < width_; ++x) {
                const double distance = std::hypot(x - 320.0, y - 240.0);
                const double outside = std::clamp((distance - 100.0) / 4.0 + 0.5, 0.0, 1.0);
                const double ground = 200.0 + 30.0 * x / width_;
                at(x, y) = static_cast<std::uint8_t>(20.0 + (ground - 20.0) * outside);
            }
        }
    }

    // 160 × 120, a gradient ground, a dark disc, a bright square and noise from a fixed
    // generator: every grey level and many gradient magnitudes occur.
    void fillNoisy(bool inverted) {
        allocate(160, 120);
        std::uint32_t seed = 12345;
        for (std::int32_t y = 0; y < height_; ++y) {
            for (std::int32_t x = 0; x < width_; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int noise = static_cast<int>(seed >> 24) % 61 - 30;
                int grey = 120 + x / 2 - y / 3;
                if (std::hypot(x - 70.0, y - 60.0) < 35.0) grey = 40;
                if (x >= 110 && x < 140 && y >= 15 && y < 45) grey = 245;
                grey = std::clamp(grey + noise, 0, 255);
                at(x, y) = static_cast<std::uint8_t>(inverted ? 255 - grey : grey);
            }
        }
    }

    std::unique_ptr<std::uint8_t[]> grey_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    bool blackOnWhite_ = true;
};

// The sixteen Init arguments, starting from the window's defaults for "Black on white".
struct Params {
    std::int32_t x1 = 256, y1 = 192, x2 = 384, y2 = 288;
    std::int32_t model = 1;
    std::int32_t points = 32;
    float tension = 0.2f, rigidity = 0.05f, radius = 100.0f, form = 0.01f, image = -0.15f,
          threshold = 25.0f, gradient = 0.0f, inertia = 1.0f, viscosity = 2.0f;
    std::int32_t iterations = 300;
};

struct RunSetup {
    std::string name;
    PictureKind picture;
    bool blackOnWhite;
    Params params;
    bool invertAfterBinding = false; // rewrite the bound pixels in place before the run
};

void init(KONTUR& k, const Params& p) {
    Init(k, p.x1, p.y1, p.x2, p.y2, p.model, p.points, p.tension, p.rigidity, p.radius, p.form,
         p.image, p.threshold, p.gradient, p.inertia, p.viscosity, p.iterations);
}

// Each model with each parameter set, models 2 to 4 diverging where the set asks for it.
std::vector<RunSetup> buildTable() {
    std::vector<RunSetup> table;
    const std::array<const char*, 4> modelNames{"center", "standard", "balloon", "opened"};
    for (std::int32_t model = 1; model <= 4; ++model) {
        const std::string prefix = std::string(modelNames[model - 1]) + "/";
        // "Opened" takes the image weight as it is; the closed models negate it for
        // "Black on white".
        const float sign = model == 4 ? 1.0f : -1.0f;
        auto add = [&](const std::string& name, PictureKind picture, bool blackOnWhite, Params p,
                       bool invert = false) {
            p.model = model;
            if (model == 4) p.image = -p.image;
            table.push_back({prefix + name, picture, blackOnWhite, p, invert});
        };

        Params p;
        add("defaults", PictureKind::Disc, true, p);

        p = Params{};
        p.points = 200;
        p.iterations = 2000;
        add("long", PictureKind::Disc, true, p);

        p = Params{};
        p.x1 = 200, p.y1 = 140, p.x2 = 440, p.y2 = 340;
        p.points = 64;
        p.gradient = 0.5f;
        add("edge", PictureKind::Disc, true, p);

        p = Params{};
        p.x1 = 30, p.y1 = 20, p.x2 = 130, p.y2 = 100;
        p.points = 50;
        p.gradient = 1.0f;
        p.image = 0.3f * sign;
        p.threshold = 60.0f;
        p.radius = 40.0f;
        p.iterations = 400;
        add("noisy-bow", PictureKind::Noisy, true, p);
        add("noisy-bow-rewritten", PictureKind::Noisy, true, p, true);
        Params wob = p;
        wob.image = -wob.image;
        add("noisy-wob", PictureKind::Noisy, false, wob);
        add("inverted-wob", PictureKind::NoisyInverted, false, wob);

        p = Params{};
        p.x1 = 0, p.y1 = 0, p.x2 = 159, p.y2 = 119;
        p.points = 200;
        p.gradient = 1.0f;
        p.radius = 70.0f;
        p.image = 0.5f * sign;
        p.threshold = 100.0f;
        p.iterations = 200;
        add("border", PictureKind::Noisy, true, p);
        add("border-wob", PictureKind::Noisy, false, p);

        for (std::int32_t n : {3, 4, 5}) {
            p = Params{};
            p.x1 = 50, p.y1 = 40, p.x2 = 95, p.y2 = 75;
            p.points = n;
            p.gradient = 2.0f;
            p.rigidity = 0.3f;
            p.radius = 15.0f;
            p.iterations = 500;
            add("tiny-" + std::to_string(n), PictureKind::Noisy, true, p);
        }

        p = Params{};
        p.points = 20;
        p.gradient = 1.0f;
        p.iterations = 100;
        add("no-image", PictureKind::None, true, p);
        // Outward pressure everywhere: the centre point model reaches its largest radius.
        p.image = 0.5f;
        p.threshold = 0.0f;
        p.form = 0.0f;
        p.iterations = 300;
        add("no-image-outward", PictureKind::None, true, p);

        p = Params{};
        p.x1 = 20, p.y1 = 20, p.x2 = 140, p.y2 = 100;
        p.points = 40;
        p.gradient = 0.3f;
        p.inertia = 0.0f;
        p.viscosity = 0.2f;
        p.tension = 0.05f;
        p.rigidity = 0.0f;
        p.image = 0.05f * sign;
        p.iterations = 300;
        add("viscous", PictureKind::Noisy, true, p);

        // Unstable weights: models 2 to 4 grow until a float overflows or a coordinate can
        // no longer be truncated; model 1 stays within its clamp.
        p = Params{};
        p.x1 = 20, p.y1 = 20, p.x2 = 140, p.y2 = 100;
        p.points = 40;
        p.tension = 2.5f;
        p.rigidity = 0.5f;
        p.inertia = 0.0f;
        p.viscosity = 0.2f;
        p.gradient = 1.0f;
        p.iterations = 1000;
        add("diverge", PictureKind::Noisy, true, p);
        p.inertia = 10.0f;
        p.rigidity = 0.0f;
        add("diverge-inertia", PictureKind::Noisy, false, p);

        // No inertia and no viscosity: the first integration divides by zero.
        p = Params{};
        p.inertia = 0.0f;
        p.viscosity = 0.0f;
        p.iterations = 10;
        add("no-damping", PictureKind::Disc, true, p);
    }
    return table;
}

const std::vector<RunSetup>& table() {
    static const std::vector<RunSetup> runs = buildTable();
    return runs;
}

// Draw can meet a coordinate too large to truncate; that is part of the record as well.
void hashDraw(const KONTUR& k, Hasher& hasher) {
    HashingCanvas canvas(hasher);
    try {
        Draw(k, canvas);
    } catch (const FloatingPointError& error) {
        hasher.add(error.what(), std::strlen(error.what()));
    }
}

} // namespace

std::vector<std::string> runNames() {
    std::vector<std::string> names;
    for (const RunSetup& setup : table())
        names.push_back(setup.name);
    return names;
}

RunRecord performRun(std::size_t index) {
    const RunSetup& setup = table().at(index);
    Picture picture(setup.picture, setup.blackOnWhite);
    if (setup.invertAfterBinding) picture.invertInPlace();
    RunRecord record;
    record.name = setup.name;

    // Step by step through the public steps, hashing the whole state after each one. The run
    // below takes the same scratch, as a worker's next analysis would.
    StepScratch scratch;
    KONTUR k;
    init(k, setup.params);
    Hasher steps;
    steps.addState(k);
    try {
        for (std::int32_t i = 0; i < k.Iterations; ++i) {
            StepModel(k, scratch);
            steps.addState(k);
        }
    } catch (const FloatingPointError& error) {
        record.error = error.what();
        steps.addState(k); // what the failing step left
    }
    record.stepHash = steps.value();
    record.iteration = k.Iteration;

    // The same analysis through Run, hashing at each progress step and at the end.
    KONTUR r;
    init(r, setup.params);
    Hasher run;
    SetRunHooks({[&] { run.addState(r); }, {}, {}});
    std::string runError;
    try {
        Run(r, scratch);
    } catch (const FloatingPointError& error) {
        runError = error.what();
    }
    SetRunHooks({});
    run.addState(r);
    run.add(runError.data(), runError.size());
    hashDraw(r, run);
    record.runHash = run.value();
    // Both ways must agree on where the run ended and why.
    if (r.Iteration != record.iteration || runError != record.error)
        record.error += " [Run disagrees: " + std::to_string(r.Iteration) + " " + runError + "]";
    return record;
}

std::uint64_t mathLibraryFingerprint() {
    Hasher hasher;
    for (int n = 3; n <= 200; ++n) {
        for (int i = 0; i < n; ++i) {
            const double theta =
                static_cast<float>(static_cast<double>(i) / n * 2.0 * 3.14159265358979323846);
            const double t = std::tan(theta);
            hasher.addValue(std::sin(theta));
            hasher.addValue(std::cos(theta));
            hasher.addValue(t);
            for (const double ratio : {0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 4.0})
                hasher.addValue(std::atan(t * ratio));
        }
    }
    return hasher.value();
}

std::string formatRecord(const RunRecord& record) {
    char hashes[40];
    std::snprintf(hashes, sizeof hashes, "%016llx %016llx",
                  static_cast<unsigned long long>(record.stepHash),
                  static_cast<unsigned long long>(record.runHash));
    return record.name + " " + hashes + " " + std::to_string(record.iteration) + " " +
           (record.error.empty() ? "-" : record.error);
}

} // namespace orvik::golden
