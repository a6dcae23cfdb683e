// Undo and redo of the window's user changes: what one step puts back, and the step itself.
#pragma once

#include "init_arguments.h"
#include "kontur.h"

#include <QUndoCommand>
#include <functional>

namespace orvik {

// What the window shows after a change: the controls a step may change and the contour
// model that was drawn from them (the result, if one was shown).
struct WindowSnapshot {
    ControlValues controls;
    KONTUR contour;

    WindowSnapshot() = default;
    WindowSnapshot(const ControlValues& values, const KONTUR& k);
    WindowSnapshot(const WindowSnapshot& other);
    WindowSnapshot& operator=(const WindowSnapshot& other);
    WindowSnapshot(WindowSnapshot&&) = default;
    WindowSnapshot& operator=(WindowSnapshot&&) = default;
};

// Same controls and the same stored contour, bit for bit.
bool operator==(const WindowSnapshot& a, const WindowSnapshot& b);

// One user change: undo puts `before` back, redo `after`, both through `restore`, which
// shows the state again without running anything. Consecutive changes of the same field
// (keystrokes, spin steps) merge into one step; mergeKey -1 never merges.
class WindowStep final : public QUndoCommand {
public:
    using Restore = std::function<void(const WindowSnapshot&)>;
    WindowStep(Restore restore, WindowSnapshot before, WindowSnapshot after, int mergeKey);

    void undo() override;
    void redo() override;
    int id() const override { return mergeKey_; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    Restore restore_;
    WindowSnapshot before_, after_;
    int mergeKey_;
    bool applied_ = true; // pushed after the change was made: the first redo has nothing to do
};

} // namespace orvik
