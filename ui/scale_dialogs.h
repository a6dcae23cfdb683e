// The small dialogs of a picture's scale and grey: Analysis › "Set scale…" (the size of a
// pixel and its unit, or pixels whatever the file says) and View › "Display range…" (the
// values a 16-bit picture shows as black and white).
#pragma once

#include "calibration.h"
#include "frame_stack.h"

#include <QDialog>

class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace orvik {

class SetScaleDialog : public QDialog {
    Q_OBJECT
public:
    // Starts from `now`: its pixel size and unit when known, else 1 micron.
    SetScaleDialog(QWidget* parent, const Calibration& now);
    // The scale chosen: unknown for "In pixels" or an empty unit.
    Calibration scale() const;

    QDoubleSpinBox* pixelSize = nullptr;
    QLineEdit* unit = nullptr;

private:
    bool inPixels_ = false;
};

class DisplayRangeDialog : public QDialog {
    Q_OBJECT
public:
    // Starts from `now`; "Auto" puts `automatic` in; values reach 65535 for `wide` pictures,
    // else 255.
    DisplayRangeDialog(QWidget* parent, DisplayRange now, DisplayRange automatic, bool wide);
    // The range chosen, white always above black.
    DisplayRange range() const;

    QSpinBox* low = nullptr;
    QSpinBox* high = nullptr;
};

} // namespace orvik
