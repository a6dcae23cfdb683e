// A numeric parameter field: a text field joined to a spin control, holding a whole number
// within its range, that reports every change of its text.
#pragma once

#include <QSpinBox>
#include <optional>

class QLineEdit;

namespace orvik {

// The spin box itself is the spin control (it holds the position, the range and the
// increment); its line edit is the text field. The field shows whatever is typed into it;
// the value in force (value()) follows the text only while the text is a whole number
// within the range, and otherwise stays at the last valid number. `changed` fires once for
// every change of the text: a keystroke, a step, or a value set by the program.
//
// The window's own shortcuts win over the line edit's: Ctrl+Z and Ctrl+Shift+Z always reach
// the window's Undo and Redo, and Ctrl+C copies the field's text only when some of it is
// selected (otherwise the window's Copy runs).
class SpinField : public QSpinBox {
    Q_OBJECT
public:
    explicit SpinField(QWidget* parent = nullptr);

    QLineEdit* edit() const { return lineEdit(); }

    // The whole number `text` stands for, with or without group separators.
    std::optional<int> wholeNumber(const QString& text) const;

signals:
    void changed();

protected:
    bool event(QEvent* event) override;
    // A text that is not (yet) a valid number is kept as typed: it is intermediate, never
    // refused, so no keystroke is lost and no value is composed that nobody typed.
    QValidator::State validate(QString& text, int& position) const override;
    int valueFromText(const QString& text) const override;
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
