// libFuzzer target over the contour engine: control values inside and outside the fields'
// ranges, any box, 3..200 points, a small random image and either polarity, a bounded number
// of iterations. Every outcome must be a finished run or one of the three floating-point
// errors, leaving exactly the state a step leaves when it fails part-way; Draw and the popup
// tools must cope with whatever the run left. Anything else aborts, as do sanitizer reports.
#include "checked_float.h"
#include "core/field_table.h"
#include "core/init_arguments.h"
#include "core/parameter_tools.h"
#include "kontur.h"
#include "kontur_internal.h"
#include "render/raster_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fuzzer/FuzzedDataProvider.h>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace orvik;

// Enough to reach divergence and the clamps of every model, small enough that a run of
// 200 points stays well under a second with the sanitizers.
constexpr int MaxIterations = 400;
constexpr int MaxImageSide = 64;

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "engine_fuzzer: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

void expect(bool condition, const char* what) {
    if (!condition) finding(what);
}

bool isFloatErrorText(const char* text) {
    return std::strcmp(text, kFloatOverflowText) == 0 ||
           std::strcmp(text, kFloatInvalidText) == 0 ||
           std::strcmp(text, kFloatDivideByZeroText) == 0;
}

// The picture Sample reads, bound once for the whole process like the window's fields.
struct Picture {
    std::unique_ptr<std::uint8_t[]> grey;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool blackOnWhite = true;
};

Picture& picture() {
    static Picture p;
    return p;
}

void makePicture(FuzzedDataProvider& in) {
    Picture& p = picture();
    p.width = in.ConsumeIntegralInRange<std::int32_t>(1, MaxImageSide);
    p.height = in.ConsumeIntegralInRange<std::int32_t>(1, MaxImageSide);
    p.blackOnWhite = in.ConsumeBool();
    const std::size_t count = std::size_t(p.width) * std::size_t(p.height);
    p.grey = std::make_unique<std::uint8_t[]>(count);
    const int kind = in.ConsumeIntegralInRange(0, 3);
    const std::uint8_t inside = in.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t outside = in.ConsumeIntegral<std::uint8_t>();
    for (std::int32_t y = 0; y < p.height; ++y) {
        for (std::int32_t x = 0; x < p.width; ++x) {
            std::uint8_t& v = p.grey[std::size_t(y) * p.width + x];
            const int dx = 2 * x - p.width, dy = 2 * y - p.height;
            switch (kind) {
            case 0: // a disc: an object with a boundary to find
                v = dx * dx + dy * dy < p.width * p.height / 2 ? inside : outside;
                break;
            case 1: // a vertical step edge
                v = x < p.width / 2 ? inside : outside;
                break;
            case 2: // uniform
                v = inside;
                break;
            default: // noise from the input
                v = in.ConsumeIntegral<std::uint8_t>();
                break;
            }
        }
    }
}

// A field value: mostly within the field's range, sometimes any 16-bit value or just
// beyond a limit, as garbage typed into a field or a stale maximum could give.
int fieldValue(FuzzedDataProvider& in, const FieldInfo& entry) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
        return entry.defaultValue;
    case 1:
        return in.ConsumeBool() ? entry.minimum - 1 : entry.maximum + 1;
    case 2:
        return in.ConsumeIntegral<std::int16_t>();
    default:
        return in.ConsumeIntegralInRange(entry.minimum, entry.maximum);
    }
}

ControlValues makeControls(FuzzedDataProvider& in) {
    ControlValues values;
    for (const FieldInfo& entry : fieldTable())
        at(values.fields, entry.field) = fieldValue(in, entry);
    // The box: any 16-bit corners, the order and the distance from the image are free.
    for (const BoxField& b : BoxFields)
        at(values.fields, b.field) = in.ConsumeIntegral<std::int16_t>();
    at(values.fields, Field::Points) = in.ConsumeIntegralInRange(3, 200);
    at(values.fields, Field::Iterations) =
        std::min(at(values.fields, Field::Iterations), MaxIterations);
    // Model kinds 0 and 5 are outside the four; Init must turn them into 1.
    values.model = static_cast<ModelChoice>(in.ConsumeIntegralInRange(0, 5));
    values.blackOnWhite = picture().blackOnWhite;
    return values;
}

// A copy of everything a step may touch.
struct Snapshot {
    std::int32_t iteration = 0;
    double energy = 0;
    std::vector<float> points;
};

Snapshot snapshot(const KONTUR& k) {
    Snapshot s;
    s.iteration = k.Iteration;
    s.energy = k.Energy;
    s.points.assign(k.Points.get(), k.Points.get() + pointBufferSize(k.PointCount));
    return s;
}

void restore(KONTUR& k, const Snapshot& s) {
    k.Iteration = s.iteration;
    k.Energy = s.energy;
    std::memcpy(k.Points.get(), s.points.data(), s.points.size() * sizeof(float));
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool samePoints(const KONTUR& k, const std::vector<float>& points) {
    for (std::size_t i = 0; i < points.size(); ++i)
        if (!sameBits(k.Points[i], points[i])) return false;
    return true;
}

// What no step may ever leave behind, finished or not: a stored infinity or NaN, a moved
// level that was current, a moved end point of the open chain, a radius outside the clamp.
void checkStepInvariants(const KONTUR& k, const Snapshot& before, bool finished) {
    const std::int32_t n = k.PointCount;
    const int current = before.iteration & 1; // the level the step read from
    for (std::int32_t i = 0; i < n; ++i) {
        for (int level = 0; level < 2; ++level)
            expect(std::isfinite(pointX(k, i, level)) && std::isfinite(pointY(k, i, level)),
                   "a stored coordinate is not finite");
        expect(sameBits(pointX(k, i, current), before.points[xSlot(i, current)]) &&
                   sameBits(pointY(k, i, current), before.points[ySlot(i, current)]),
               "a step wrote into the current level");
    }
    if (k.ModelKind == 4) {
        for (std::int32_t i : {0, n - 1})
            for (int level = 0; level < 2; ++level)
                expect(sameBits(pointX(k, i, level), before.points[xSlot(i, level)]) &&
                           sameBits(pointY(k, i, level), before.points[ySlot(i, level)]),
                       "an end point of the open chain moved");
    }
    if (k.ModelKind == 1 && finished) {
        for (std::int32_t i = 0; i < n; ++i) {
            const float r = pointX(k, i, 1 - current);
            expect(r >= 0.2f && r <= 10000.0f, "a radius left the clamp");
        }
    }
    expect(!std::isnan(k.Energy) && k.Energy >= 0, "energy is NaN or negative");
}

// The scratch every step of the process runs with, as one worker's.
StepScratch& scratch() {
    static StepScratch shared;
    return shared;
}

// A model with the parameters of `stepped` and the state of the snapshot, to replay a step on.
KONTUR replayFrom(const KONTUR& stepped, const Snapshot& before) {
    KONTUR replay;
    CopyKonturParameters(stepped, replay);
    replay.Points = std::make_unique<float[]>(before.points.size());
    restore(replay, before);
    return replay;
}

// A step that went through must leave exactly what the reference step leaves from the same
// state, whichever path it took.
void checkReplayedStep(const KONTUR& stepped, const Snapshot& before) {
    KONTUR replay = replayFrom(stepped, before);
    try {
        StepReference(replay);
    } catch (const FloatingPointError&) {
        finding("the reference step failed where the step went through");
    }
    expect(replay.Iteration == stepped.Iteration, "the reference step left another Iteration");
    expect(sameBits(replay.Energy, stepped.Energy), "the reference step left another energy");
    expect(samePoints(stepped, std::vector<float>(replay.Points.get(),
                                                  replay.Points.get() + before.points.size())),
           "the reference step left other points");
}

// The state a failing step must leave: the points before the failing one updated in order,
// the failing one as far as it got (x before y), the rest untouched, Energy the partial sum,
// Iteration not advanced. Rebuilt from the snapshot one point at a time.
void checkFailedStep(const KONTUR& failed, const Snapshot& before, const char* text) {
    KONTUR replay = replayFrom(failed, before);
    replay.Energy = 0;
    const std::int32_t n = replay.PointCount;
    const bool opened = replay.ModelKind == 4;
    std::string replayText;
    for (std::int32_t i = opened ? 1 : 0; i < (opened ? n - 1 : n); ++i) {
        try {
            switch (replay.ModelKind) {
            case 1:
                replay.Energy += UpdateCenterPoint(replay, i);
                break;
            case 2:
                replay.Energy += UpdateStandardPoint(replay, i);
                break;
            case 3:
                replay.Energy += UpdateBalloonPoint(replay, i);
                break;
            default:
                replay.Energy += UpdateOpenedPoint(replay, i);
                break;
            }
        } catch (const FloatingPointError& error) {
            replayText = error.what();
            break;
        }
    }
    // The energy's divisor is N or N − 2, never 0, so only a point can have failed.
    expect(!replayText.empty(), "a step failed although every point went through");
    expect(replayText == text, "the failing point raised another error");
    expect(failed.Iteration == before.iteration, "a failed step advanced Iteration");
    expect(samePoints(failed, std::vector<float>(replay.Points.get(),
                                                 replay.Points.get() + before.points.size())),
           "a failed step left other points than those it had reached");
    expect(sameBits(failed.Energy, replay.Energy), "a failed step left another partial energy");
}

struct Outcome {
    std::string error; // empty: finished
    std::int32_t stepsDone = 0;
};

// The steps one at a time, each checked against its snapshot.
Outcome stepByStep(KONTUR& k) {
    Outcome outcome;
    for (std::int32_t done = 0; done < k.Iterations; ++done) {
        const Snapshot before = snapshot(k);
        try {
            StepModel(k, scratch());
        } catch (const FloatingPointError& error) {
            expect(isFloatErrorText(error.what()), "a floating-point error with another text");
            checkStepInvariants(k, before, false);
            checkFailedStep(k, before, error.what());
            outcome.error = error.what();
            return outcome;
        }
        expect(k.Iteration == before.iteration + 1, "a step did not advance Iteration by one");
        checkStepInvariants(k, before, true);
        checkReplayedStep(k, before);
        outcome.stepsDone = done + 1;
    }
    return outcome;
}

struct HookCounts {
    int progress = 0;
    int waitCursor = 0;
    int restored = 0;
};

HookCounts& hookCounts() {
    static HookCounts counts;
    return counts;
}

// Run must do exactly what the step-by-step loop did, stop where it stopped, advance the
// progress bar once per ten steps done (runs of 20 or more) and put the cursor back.
void checkRun(const InitArguments& arguments, const KONTUR& stepped, const Outcome& expected) {
    KONTUR k;
    applyInit(k, arguments);
    hookCounts() = {};
    std::string error;
    try {
        Run(k, scratch());
    } catch (const FloatingPointError& e) {
        error = e.what();
    } catch (const std::exception& e) {
        finding(std::string("Run threw something else: ") + e.what());
    }
    expect(error == expected.error, "Run and the steps one by one ended differently");
    expect(k.Iteration == stepped.Iteration, "Run and the steps one by one differ in Iteration");
    expect(sameBits(k.Energy, stepped.Energy), "Run and the steps one by one differ in Energy");
    expect(samePoints(k, std::vector<float>(stepped.Points.get(),
                                            stepped.Points.get() + pointBufferSize(k.PointCount))),
           "Run and the steps one by one differ in the points");
    const HookCounts counts = hookCounts();
    expect(counts.waitCursor == 1 && counts.restored == 1, "the wait cursor was not put back");
    const int progress = k.Iterations >= 20 ? expected.stepsDone / 10 : 0;
    expect(counts.progress == progress, "the progress bar advanced a wrong number of times");
}

// Draw onto a display-sized bitmap: clipping far-off vertices must stay inside it, and a
// vertex beyond 2^63 ends Draw with the invalid-operation error, the pen restored.
void checkDraw(const KONTUR& k) {
    const Picture& p = picture();
    const std::ptrdiff_t stride = (3 * std::ptrdiff_t(p.width) + 3) / 4 * 4;
    std::vector<std::uint8_t> bits(std::size_t(stride) * std::size_t(p.height), 0x80);
    RasterCanvas canvas({bits.data(), p.width, p.height, stride});
    const RasterCanvas::Colour penBefore = canvas.penColour();
    try {
        Draw(k, canvas);
    } catch (const FloatingPointError& error) {
        expect(std::strcmp(error.what(), kFloatInvalidText) == 0,
               "Draw failed with another error than an invalid operation");
    }
    expect(canvas.penColour() == penBefore, "Draw did not restore the pen");
}

// The popup tools at a random click: a value in the field's range, nothing on a small
// image, or the invalid operation of a zero-length direction.
void checkTools(FuzzedDataProvider& in, const ControlValues& values) {
    const Picture& p = picture();
    const Box box = boxOf(values.fields);
    std::int32_t clickX = in.ConsumeIntegral<std::int16_t>();
    std::int32_t clickY = in.ConsumeIntegral<std::int16_t>();
    const int radius = radiusFromClick(box, clickX, clickY);
    expect(radius >= 0 && radius <= 2 * 65536, "radius from a click out of reach");

    std::int32_t tx = clickX, ty = clickY;
    const std::optional<int> threshold = thresholdFromClick(tx, ty, p.width, p.height);
    expect(threshold.has_value() == windowToolsApply(p.width, p.height),
           "threshold tool applied on the wrong image sizes");
    if (threshold) {
        expect(*threshold >= 0 && *threshold <= 1020, "threshold out of the field's range");
        expect(tx >= 16 && ty >= 16 && tx <= p.width - 17 && ty <= p.height - 17,
               "click point not clamped into the image");
    }
    std::int32_t ox = clickX, oy = clickY;
    try {
        const std::optional<bool> polarity = blackOnWhiteFromClick(
            ox, oy, p.width, p.height, box, values.model == ModelChoice::Opened);
        expect(polarity.has_value() == windowToolsApply(p.width, p.height),
               "object tool applied on the wrong image sizes");
    } catch (const FloatingPointError& error) {
        expect(std::strcmp(error.what(), kFloatInvalidText) == 0,
               "object tool failed with another error than an invalid operation");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Picture& p = picture();
    BindImage({&p.grey, &p.width, &p.height, &p.blackOnWhite});
    RunHooks hooks;
    hooks.StepProgress = [] { ++hookCounts().progress; };
    hooks.ShowWaitCursor = [] { ++hookCounts().waitCursor; };
    hooks.RestoreCursor = [] { ++hookCounts().restored; };
    SetRunHooks(std::move(hooks));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    makePicture(in);
    const ControlValues values = makeControls(in);
    const InitArguments arguments = analysisArguments(values);

    KONTUR k;
    applyInit(k, arguments);
    expect(k.ModelKind >= 1 && k.ModelKind <= 4, "Init left a model kind outside 1..4");
    expect(k.Iteration == 0 && k.Energy == 0, "Init did not reset Iteration and Energy");
    for (std::int32_t i = 0; i < k.PointCount; ++i)
        expect(sameBits(pointX(k, i, 0), pointX(k, i, 1)) &&
                   sameBits(pointY(k, i, 0), pointY(k, i, 1)),
               "Init left the two levels different");

    const Outcome outcome = stepByStep(k);
    if (outcome.error.empty())
        expect(k.Iteration == std::max(k.Iterations, 0), "a finished run did not do every step");
    checkRun(arguments, k, outcome);
    checkDraw(k);
    checkTools(in, values);
    return 0;
}
