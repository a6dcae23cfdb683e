// The numeric parameter field: one change report per change of its text.
#include "spin_field.h"

#include <QKeyEvent>
#include <QKeySequence>
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

std::optional<int> SpinField::wholeNumber(const QString& text) const {
    bool ok = false;
    const int number = locale().toInt(text, &ok);
    if (!ok) return std::nullopt;
    return number;
}

QValidator::State SpinField::validate(QString& text, int& /*position*/) const {
    const std::optional<int> number = wholeNumber(text);
    const bool inRange = number && *number >= minimum() && *number <= maximum();
    return inRange ? QValidator::Acceptable : QValidator::Intermediate;
}

int SpinField::valueFromText(const QString& text) const {
    return wholeNumber(text).value_or(value());
}

namespace {

// Ctrl+Z, Ctrl+Shift+Z and the platform's other undo and redo keys.
bool isUndoOrRedo(const QKeyEvent* key) {
    return key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
           key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z);
}

} // namespace

bool SpinField::event(QEvent* event) {
    // The spin box hands shortcut keys straight to its line edit, which would take Ctrl+Z
    // for its own text undo; declining the override lets the window's item have the key.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool windowCopy = key->matches(QKeySequence::Copy) && !edit()->hasSelectedText();
        if (isUndoOrRedo(key) || windowCopy) {
            event->ignore();
            return true;
        }
    }
    return QSpinBox::event(event);
}

void SpinField::keyPressEvent(QKeyEvent* event) {
    // With nothing to undo the window's item is disabled and the key arrives here: the
    // field's text must not be undone behind the window's history.
    if (isUndoOrRedo(event)) {
        event->ignore();
        return;
    }
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
