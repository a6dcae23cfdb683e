// Undo and redo of the window's user changes: what the window shows, and one step between
// two such states.
#pragma once

#include "core/init_arguments.h"
#include "core/result.h"
#include "document/document.h"

#include <QString>
#include <QUndoCommand>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvik {

// What the picture and the status line show: the contour drawn on the picture (no vertices
// when none is), whether it is the result of an analysis or the initial contour, and the
// status line's text.
struct ShownContour {
    ContourResult result;
    bool analysed = false;
    QString status;
};

// What the window shows after a change: the controls a step may change and what was drawn.
// A state is shared by the step that leads to it and the step that leaves it, so that a
// command which changes only what is shown (an analysis) updates both at once.
struct WindowSnapshot {
    ControlValues controls;
    ShownContour shown;
    // The document as the step leaves it. The current object's own entry may lag behind,
    // since its values and its drawing are the controls and the contour of the state, and a
    // restore takes them from there.
    DocumentState objects;
};
using WindowState = std::shared_ptr<WindowSnapshot>;

// Same controls and the same drawing, bit for bit (a NaN left by a diverged run equals
// itself here).
bool operator==(const ShownContour& a, const ShownContour& b);
bool operator==(const WindowSnapshot& a, const WindowSnapshot& b);

// One user change: undo shows `before` again, redo `after`, both through `restore`, which
// never runs anything. Consecutive changes of the same field (keystrokes, spin steps) merge
// into one step; mergeKey -1 never merges.
class WindowStep final : public QUndoCommand {
public:
    using Restore = std::function<void(const WindowState&)>;
    WindowStep(Restore restore, WindowState before, WindowState after, int mergeKey);

    void undo() override;
    void redo() override;
    int id() const override { return mergeKey_; }
    bool mergeWith(const QUndoCommand* other) override;

    const WindowState& before() const { return before_; }
    const WindowState& after() const { return after_; }
    // Something was shown since this step (an analysis): the next change is a step of its
    // own even when it changes the same field again.
    void seal() { sealed_ = true; }

private:
    Restore restore_;
    WindowState before_, after_;
    int mergeKey_;
    bool applied_ = true; // pushed after the change was made: the first redo has nothing to do
    bool sealed_ = false;
};

} // namespace orvik
