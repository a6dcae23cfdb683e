// Undo and redo of the window's user changes.
#include "window_history.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace orvik {

WindowSnapshot::WindowSnapshot(const ControlValues& values, const KONTUR& k)
    : controls(values), contour(CopyKontur(k)) {}

WindowSnapshot::WindowSnapshot(const WindowSnapshot& other)
    : controls(other.controls), contour(CopyKontur(other.contour)) {}

WindowSnapshot& WindowSnapshot::operator=(const WindowSnapshot& other) {
    if (this != &other) {
        controls = other.controls;
        contour = CopyKontur(other.contour);
    }
    return *this;
}

namespace {

bool sameContour(const KONTUR& a, const KONTUR& b) {
    const bool sameFields =
        a.Iteration == b.Iteration && a.ModelKind == b.ModelKind && a.PointCount == b.PointCount &&
        a.Tension == b.Tension && a.Rigidity == b.Rigidity && a.Radius == b.Radius &&
        a.FormWeight == b.FormWeight && a.ImageWeight == b.ImageWeight &&
        a.Threshold == b.Threshold && a.GradientWeight == b.GradientWeight &&
        a.Inertia == b.Inertia && a.Viscosity == b.Viscosity && a.Iterations == b.Iterations &&
        a.CenterX == b.CenterX && a.CenterY == b.CenterY && a.BoxX1 == b.BoxX1 &&
        a.BoxY1 == b.BoxY1 && a.BoxX2 == b.BoxX2 && a.BoxY2 == b.BoxY2 && a.Energy == b.Energy;
    if (!sameFields) return false;
    const std::size_t n = pointBufferSize(a.PointCount);
    if (n == 0) return true;
    if (!a.Points || !b.Points) return a.Points == b.Points;
    // Bit for bit: a NaN left by a diverged run equals itself here.
    return std::equal(a.Points.get(), a.Points.get() + n, b.Points.get(),
                      [](float x, float y) { return std::memcmp(&x, &y, sizeof x) == 0; });
}

} // namespace

bool operator==(const WindowSnapshot& a, const WindowSnapshot& b) {
    return a.controls.fields == b.controls.fields && a.controls.model == b.controls.model &&
           a.controls.blackOnWhite == b.controls.blackOnWhite && sameContour(a.contour, b.contour);
}

WindowStep::WindowStep(Restore restore, WindowSnapshot before, WindowSnapshot after, int mergeKey)
    : restore_(std::move(restore)), before_(std::move(before)), after_(std::move(after)),
      mergeKey_(mergeKey) {}

void WindowStep::undo() {
    restore_(before_);
    applied_ = false;
}

void WindowStep::redo() {
    if (!applied_) restore_(after_);
    applied_ = true;
}

bool WindowStep::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const WindowStep*>(other);
    if (next->mergeKey_ != mergeKey_ || mergeKey_ < 0) return false;
    after_ = next->after_;
    // Typing a value back to what it was leaves nothing to undo.
    if (before_ == after_) setObsolete(true);
    return true;
}

} // namespace orvik
