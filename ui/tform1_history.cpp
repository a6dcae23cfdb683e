// Undo and redo in the main window: each user change is a step between two states of what
// the window shows, and restoring a state runs nothing.
#include "command_guard.h"
#include "image_view.h"
#include "tform1.h"
#include "updating_scope.h"

#include <QUndoStack>

namespace orvik {

TForm1::HistoryPause::HistoryPause(TForm1& form) : form_(form) {
    ++form_.historyDepth_;
}

TForm1::HistoryPause::~HistoryPause() {
    --form_.historyDepth_;
}

WindowSnapshot TForm1::snapshot() const {
    return {controlValues(), shown_, doc_.state()};
}

void TForm1::userChange(int step, const std::function<void()>& change) {
    if (historyDepth_ > 0) { // part of a step already under way, a load or a restore
        runCommand(change);
        return;
    }
    const WindowState before = history_;
    {
        const HistoryPause pause(*this);
        runCommand(change);
    }
    WindowSnapshot now = snapshot();
    if (now == *history_) return;
    if (step == NotAStep) {
        // Only what is shown changed (an analysis, "Instant analysis"): the state that the
        // step before leads to, and the step after starts from, is this one now.
        *history_ = std::move(now);
        if (const int index = UndoStack->index(); index > 0)
            static_cast<WindowStep*>(const_cast<QUndoCommand*>(UndoStack->command(index - 1)))
                ->seal();
        return;
    }
    UndoStack->push(new WindowStep([this](const WindowState& state) { restore(state); }, before,
                                   std::make_shared<WindowSnapshot>(std::move(now)), step));
    // The state the history stands at: the one the current step leads to, also when the
    // step merged into the one before or undid it.
    const int index = UndoStack->index();
    if (index > 0)
        history_ = static_cast<const WindowStep*>(UndoStack->command(index - 1))->after();
    else if (UndoStack->count() > 0)
        history_ = static_cast<const WindowStep*>(UndoStack->command(0))->before();
    else
        history_ = std::make_shared<WindowSnapshot>(snapshot());
}

// Puts the controls and the drawing back and shows them again, without running anything.
void TForm1::restore(const WindowState& state) {
    const HistoryPause pause(*this);
    Dragging = 0;
    Image1->setRubberBand(std::nullopt);
    {
        const UpdatingScope guard(Updating);
        setControlValues(state->controls);
    }
    shown_ = state->shown;
    restoreObjects(state->objects);
    applyEnablingRules();
    if (!doc_.image().Display.isNull()) {
        refreshDisplay(doc_.image());
        paintShown();
        Image1->update();
    }
    history_ = state;
}

} // namespace orvik
