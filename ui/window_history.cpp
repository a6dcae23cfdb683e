// Undo and redo of the window's user changes.
#include "window_history.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace orvik {

namespace {

template <typename T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

template <typename T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](const T& x, const T& y) { return std::memcmp(&x, &y, sizeof x) == 0; });
}

bool sameContext(const RunContext& a, const RunContext& b) {
    return a.imageFile == b.imageFile && a.width == b.width && a.height == b.height &&
           a.model == b.model && a.blackOnWhite == b.blackOnWhite && a.box == b.box &&
           a.fields == b.fields;
}

} // namespace

bool operator==(const ShownContour& a, const ShownContour& b) {
    const ContourResult &x = a.result, &y = b.result;
    return a.analysed == b.analysed && a.status == b.status && sameContext(x.context, y.context) &&
           x.iteration == y.iteration && sameBits(x.energy, y.energy) &&
           sameBits(x.radii, y.radii) && sameBits(x.points, y.points) && x.vertices == y.vertices &&
           x.error == y.error;
}

bool operator==(const WindowSnapshot& a, const WindowSnapshot& b) {
    return a.controls.fields == b.controls.fields && a.controls.model == b.controls.model &&
           a.controls.blackOnWhite == b.controls.blackOnWhite && a.shown == b.shown &&
           a.objects == b.objects;
}

WindowStep::WindowStep(Restore restore, WindowState before, WindowState after, int mergeKey)
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
    if (sealed_ || next->mergeKey_ != mergeKey_ || mergeKey_ < 0) return false;
    after_ = next->after_;
    // Typing a value back to what it was leaves nothing to undo.
    if (*before_ == *after_) setObsolete(true);
    return true;
}

} // namespace orvik
