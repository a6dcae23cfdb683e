// The analysis progress bar.
#include "step_progress_bar.h"

#include <QStyleOptionProgressBar>
#include <algorithm>

namespace orvik {

StepProgressBar::StepProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
}

void StepProgressBar::stepIt() {
    // A bar that a shrinking range has reset stands below its minimum; count from there.
    // QProgressBar repaints at once, without waiting for the event loop, whenever the new
    // value shows as a change on the screen.
    setValue(std::max(value(), minimum()) + 1);
}

void StepProgressBar::initStyleOption(QStyleOptionProgressBar* option) const {
    QProgressBar::initStyleOption(option);
    if (option->minimum == 0 && option->maximum == 0) {
        option->maximum = 1;
        option->progress = 0;
    }
}

} // namespace orvik
