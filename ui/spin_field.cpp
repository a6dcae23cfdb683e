// The numeric parameter field: one change report per change of its text.
#include "spin_field.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

namespace orvik {

SpinField::SpinField(QWidget* parent) : QSpinBox(parent) {
    setGroupSeparatorShown(true);
    setKeyboardTracking(true);
    setWrapping(false);
    setAccelerated(false);
    setFocusPolicy(Qt::StrongFocus); // the wheel alone does not take the focus

    // The spin box listens to its line edit's textChanged to take over typed values. Our
    // first slot must run before that, our second after it: so the line edit is ours, and
    // it is handed to the spin box between the two connections.
    auto* field = new QLineEdit(this);
    connect(field, &QLineEdit::textChanged, this, [this] { ++typing_; });
    setLineEdit(field);
    connect(field, &QLineEdit::textChanged, this, [this] {
        --typing_;
        emit changed();
    });
    // Steps and values set by the program rewrite the text with the line edit's signals
    // blocked; they show up here instead.
    connect(this, &QSpinBox::valueChanged, this, [this] {
        if (typing_ != 0) return;
        // Return confirms the text: the spin box reports its value again even when it
        // stayed the same, which is no change.
        if (confirming_ && value() == confirmedValue_) return;
        emit changed();
    });
}

void SpinField::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QSpinBox::keyPressEvent(event);
        return;
    }
    confirming_ = true;
    confirmedValue_ = value();
    QSpinBox::keyPressEvent(event);
    confirming_ = false;
}

void SpinField::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSpinBox::wheelEvent(event);
}

} // namespace orvik
