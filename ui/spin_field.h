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

protected:
    // Return or Enter on a value that has not changed reports nothing.
    void keyPressEvent(QKeyEvent* event) override;
    // The wheel steps the value only while the field has the keyboard focus; otherwise it
    // goes on to the panel, so that scrolling over the panel never changes a parameter.
    void wheelEvent(QWheelEvent* event) override;

private:
    // Set while Return or Enter is handled, with the value before it.
    bool confirming_ = false;
    int confirmedValue_ = 0;

    // Set while the line edit reports a keystroke, so that the value change the keystroke
    // causes inside the spin box is not reported a second time.
    int typing_ = 0;
};

} // namespace orvik
