// The analysis progress bar: advanced one step at a time during a run.
#pragma once

#include <QProgressBar>

namespace orvik {

// A range of 0..0 means "nothing to show" here (an analysis of fewer than ten iterations),
// not the busy animation a plain QProgressBar would play for ever.
class StepProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit StepProgressBar(QWidget* parent = nullptr);

    // Advances by one and paints at once, so the bar moves while the event loop is blocked.
    void stepIt();

protected:
    void initStyleOption(QStyleOptionProgressBar* option) const override;
};

} // namespace orvik
