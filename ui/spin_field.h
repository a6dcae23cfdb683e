// A numeric parameter field: a text field joined to a spin control, holding a whole number
// within its range, that reports every change of its text.
#pragma once

#include <QSpinBox>

class QLineEdit;

namespace orvik {

// The spin box itself is the spin control (it holds the position, the range and the
// increment); its line edit is the text field. `changed` fires once for every change of
// the text: a keystroke, a step, or a value set by the program. A typed text that is not a
// whole number within the range leaves value() at the last valid number.
class SpinField : public QSpinBox {
    Q_OBJECT
public:
    explicit SpinField(QWidget* parent = nullptr);

    QLineEdit* edit() const { return lineEdit(); }

signals:
    void changed();

private:
    // Set while the line edit reports a keystroke, so that the value change the keystroke
    // causes inside the spin box is not reported a second time.
    int typing_ = 0;
};

} // namespace orvik
