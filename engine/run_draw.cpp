// The run driver, with its wait cursor and progress hooks, and the drawing of the current
// contour through the canvas interface.
#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace orvik {

namespace {

// The hooks of the thread that installed them: a worker's runs never reach the window.
thread_local RunHooks runHooks;

// Shows the wait cursor for its lifetime; the cursor comes back however Run leaves.
class WaitCursorGuard {
public:
    explicit WaitCursorGuard(const RunHooks& hooks) : hooks_(hooks) {
        if (hooks_.ShowWaitCursor) hooks_.ShowWaitCursor();
    }
    ~WaitCursorGuard() {
        if (hooks_.RestoreCursor) hooks_.RestoreCursor();
    }
    WaitCursorGuard(const WaitCursorGuard&) = delete;
    WaitCursorGuard& operator=(const WaitCursorGuard&) = delete;

private:
    const RunHooks& hooks_;
};

// Selects the red pen for its lifetime; the previous pen is back however Draw leaves.
class RedPenGuard {
public:
    explicit RedPenGuard(ContourCanvas& canvas) : canvas_(canvas) { canvas_.SelectRedPen(); }
    ~RedPenGuard() { canvas_.RestorePen(); }
    RedPenGuard(const RedPenGuard&) = delete;
    RedPenGuard& operator=(const RedPenGuard&) = delete;

private:
    ContourCanvas& canvas_;
};

// Model 1: polar vertices around the centre, visited in falling angle and closed at angle 0.
void drawCenterPoint(const KONTUR& k, std::int32_t level, ContourCanvas& canvas) {
    const std::int32_t n = k.PointCount;
    canvas.MoveTo(truncChecked(static_cast<double>(k.CenterX) + pointX(k, 0, level)),
                  truncChecked(k.CenterY));
    for (std::int32_t i = n - 1; i >= 0; --i) {
        const Direction d = pointDirection(i, n);
        const double r = pointX(k, i, level);
        canvas.LineTo(truncChecked(r * d.cos + k.CenterX), truncChecked(r * d.sin + k.CenterY));
    }
}

// Models 2 and 3: a closed polygon starting from the last point.
void drawRing(const KONTUR& k, std::int32_t level, ContourCanvas& canvas) {
    const std::int32_t last = k.PointCount - 1;
    canvas.MoveTo(truncChecked(pointX(k, last, level)), truncChecked(pointY(k, last, level)));
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        canvas.LineTo(truncChecked(pointX(k, i, level)), truncChecked(pointY(k, i, level)));
    }
}

// Model 4: an open polyline from the first point to the last.
void drawChain(const KONTUR& k, std::int32_t level, ContourCanvas& canvas) {
    canvas.MoveTo(truncChecked(pointX(k, 0, level)), truncChecked(pointY(k, 0, level)));
    for (std::int32_t i = 1; i < k.PointCount; ++i) {
        canvas.LineTo(truncChecked(pointX(k, i, level)), truncChecked(pointY(k, i, level)));
    }
}

} // namespace

void SetRunHooks(RunHooks hooks) {
    runHooks = std::move(hooks);
}

void Run(KONTUR& k, StepScratch& scratch) {
    const WaitCursorGuard cursor(runHooks);
    const std::int64_t iterations = k.Iterations;
    const bool counted = iterations >= 2 * StepsPerProgressStep;
    std::int64_t done = 0;
    while (done < iterations) {
        // The steps up to the next progress step, or to the end when nobody follows them.
        const std::int64_t left = iterations - done;
        const std::int64_t count =
            counted && runHooks.StepProgress
                ? std::min(left, StepsPerProgressStep - done % StepsPerProgressStep)
                : left;
        // Between progress steps only the hook runs: the picture stays as it was.
        StepModelRepeatedly(k, scratch, count, done > 0);
        done += count;
        if (counted && done % StepsPerProgressStep == 0 && runHooks.StepProgress)
            runHooks.StepProgress();
    }
}

void Draw(const KONTUR& k, ContourCanvas& canvas) {
    const RedPenGuard pen(canvas);
    // Before the first Init there is nothing to draw; an empty contour has no first point.
    if (!k.Points || k.PointCount < 1) return;
    const std::int32_t level = currentLevel(k);
    switch (k.ModelKind) {
    case 1:
        drawCenterPoint(k, level, canvas);
        break;
    case 2:
    case 3:
        drawRing(k, level, canvas);
        break;
    case 4:
        drawChain(k, level, canvas);
        break;
    default:
        break;
    }
}

} // namespace orvik
