// The contour model KONTUR and the engine's entry points: Init, Run, Draw,
// the image sampling rule and the edge force, and the four evolution steps.
//
// Plain C++ only: the engine reaches the window's grey buffer, its progress bar,
// its wait cursor and its drawing surface through the small interfaces below,
// which the window (or the command-line tool) installs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace orvik {

// The four contour models, by the number KONTUR::ModelKind holds.
enum class ModelChoice : std::int32_t { CenterPoint = 1, Standard = 2, Balloon = 3, Opened = 4 };

// The whole state of one analysis: its points and parameters, nothing else, so that a copy
// is cheap. One instance lives for the whole process (Kontur); tests create their own.
struct KONTUR {
    std::int32_t Iteration = 0;  // steps since the last Init; its low bit is the current level
    std::int32_t ModelKind = 0;  // 1 centre point, 2 standard, 3 balloon, 4 opened; 0 before Init
    std::int32_t PointCount = 0; // N
    float Tension = 0;
    float Rigidity = 0;
    float Radius = 0;
    float FormWeight = 0;
    float ImageWeight = 0; // signed: its sign carries the object polarity
    float Threshold = 0;
    float GradientWeight = 0;
    float Inertia = 0;
    float Viscosity = 0;
    std::int32_t Iterations = 0; // steps that one Run performs
    float CenterX = 0;
    float CenterY = 0;
    float BoxX1 = 0;
    float BoxY1 = 0;
    float BoxX2 = 0;
    float BoxY2 = 0;
    double Energy = 0;
    // Four floats per point: x level 0, x level 1, y level 0, y level 1
    // (model 1: the radius in both x slots).
    std::unique_ptr<float[]> Points;
    // The points a step leaves where they are (a hand correction's pins): distinct indices in
    // ascending order; an index outside 0 .. PointCount − 1 is ignored. For "Center point" the
    // pinned radius stays. Empty (as Init leaves it): every point moves, as the model says.
    std::vector<std::int32_t> Pinned;
};
// Undo steps and lists of objects hold copies of it.
static_assert(sizeof(KONTUR) <= 16 * 1024,
              "the contour model holds its points and parameters only");

// The process-wide contour model that the window and the command-line tool work on.
extern KONTUR Kontur;

// KONTUR owns its point buffer, so it moves but does not copy implicitly; these two copy it
// on purpose. CopyKonturParameters copies everything Init stores except the point buffer
// and the step counters (Iteration, Energy); CopyKontur copies the whole state with a buffer
// of its own, so either can step on without touching the other.
void CopyKonturParameters(const KONTUR& from, KONTUR& to);
KONTUR CopyKontur(const KONTUR& from);

// The point buffer's layout: four floats per point, x at level 0 and 1, then y at level 0
// and 1. Everything that reads or writes the buffer goes through these.
inline constexpr std::size_t FloatsPerPoint = 4;

// Floats in the buffer of n points (none for a negative count).
constexpr std::size_t pointBufferSize(std::int32_t n) {
    return n > 0 ? FloatsPerPoint * static_cast<std::size_t>(n) : 0;
}
// Index of x, and of y, of point i at level 0 or 1 (model 1: x holds the radius).
constexpr std::size_t xSlot(std::int32_t i, std::int32_t level) {
    return FloatsPerPoint * static_cast<std::size_t>(i) + static_cast<std::size_t>(level);
}
constexpr std::size_t ySlot(std::int32_t i, std::int32_t level) {
    return xSlot(i, level) + 2;
}
// The level the next step reads: Iteration's low bit.
constexpr std::int32_t currentLevel(const KONTUR& k) {
    return k.Iteration & 1;
}
inline float& pointX(KONTUR& k, std::int32_t i, std::int32_t level) {
    return k.Points[xSlot(i, level)];
}
inline float pointX(const KONTUR& k, std::int32_t i, std::int32_t level) {
    return k.Points[xSlot(i, level)];
}
inline float& pointY(KONTUR& k, std::int32_t i, std::int32_t level) {
    return k.Points[ySlot(i, level)];
}
inline float pointY(const KONTUR& k, std::int32_t i, std::int32_t level) {
    return k.Points[ySlot(i, level)];
}

// The direction of point i of n in a centre point contour, as Init and Draw take it:
// θ = (i / n)·2π rounded to a float, and its cosine and sine each rounded to a float.
float pointAngle(std::int32_t i, std::int32_t n);
struct Direction {
    float cos, sin;
};
Direction pointDirection(std::int32_t i, std::int32_t n);

// Stores the parameters and builds the initial contour from the box into both levels.
void Init(KONTUR& k, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
          std::int32_t modelKind, std::int32_t pointCount, float tension, float rigidity,
          float radius, float formWeight, float imageWeight, float threshold, float gradientWeight,
          float inertia, float viscosity, std::int32_t iterations);

// Where Sample reads the image. The pointers refer to the owner's own fields and are
// dereferenced at every call, so a new load or a new polarity is seen at once.
struct ImageBinding {
    const std::unique_ptr<std::uint8_t[]>* GreyData = nullptr;
    const std::int32_t* ImageWidth = nullptr;
    const std::int32_t* ImageHeight = nullptr;
    const bool* BlackOnWhite = nullptr; // true: "Black on white" is the selected polarity
};
// Binds the calling thread's sampling; other threads keep theirs.
void BindImage(const ImageBinding& binding);

// Grey level 0..255 of pixel (x, y); outside the image 255 for "Black on white", else 0.
int Sample(std::int32_t x, std::int32_t y);

// Edge force at pixel (x, y), weighted by k.GradientWeight.
void EdgeForce(const KONTUR& k, std::int32_t x, std::int32_t y, float& fx, float& fy);

struct ScratchSpace;

// What the steps keep between calls: tables worked out for the parameters in use, the edge
// forces of the pixels a contour visited, what its points read there, and the rows the fast
// path computes in. A few hundred kilobytes, acquired once when the scratch is made; none of
// it is part of a model. Whoever runs steps owns one and hands it to them (the window's
// analysis, orvik-cli, each worker thread): one scratch serves any number of models one after
// another, and two models step side by side with a scratch each. Every entry is checked
// against what it was made for before it is used, so results never depend on what a scratch
// did before.
class StepScratch {
public:
    StepScratch();
    ~StepScratch();
    StepScratch(const StepScratch&) = delete;
    StepScratch& operator=(const StepScratch&) = delete;

    ScratchSpace& space() { return *space_; }

private:
    std::unique_ptr<ScratchSpace> space_;
};

// One iteration of each model.
void StepCenterPoint(KONTUR& k, StepScratch& scratch);
void StepStandard(KONTUR& k, StepScratch& scratch);
void StepBalloon(KONTUR& k, StepScratch& scratch);
void StepOpened(KONTUR& k, StepScratch& scratch);

// Run advances the progress bar once per this many steps, and only in runs of at least
// twice as many; a progress bar's maximum is the iteration count divided by it.
inline constexpr std::int32_t StepsPerProgressStep = 10;

// What Run tells its owner. Unset members are skipped.
struct RunHooks {
    std::function<void()> StepProgress;   // advance the progress bar by one step
    std::function<void()> ShowWaitCursor; // before the first step
    std::function<void()> RestoreCursor;  // after the last step, also when a step throws
};
// Installs the hooks of the calling thread's runs; other threads keep theirs.
void SetRunHooks(RunHooks hooks);

// Performs k.Iterations steps of k.ModelKind. Acquires nothing.
void Run(KONTUR& k, StepScratch& scratch);

// The drawing surface Draw paints on. LineTo draws from the current position up to,
// but not including, the end point, which becomes the current position.
class ContourCanvas {
public:
    virtual void SelectRedPen() = 0; // a solid one-pixel red pen
    virtual void RestorePen() = 0;   // the pen that was selected before SelectRedPen
    virtual void MoveTo(std::int32_t x, std::int32_t y) = 0;
    virtual void LineTo(std::int32_t x, std::int32_t y) = 0;

protected:
    ~ContourCanvas() = default;
};

// Draws the current level of the contour in red; nothing before the first Init.
void Draw(const KONTUR& k, ContourCanvas& canvas);

} // namespace orvik
