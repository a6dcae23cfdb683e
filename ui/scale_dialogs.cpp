// The Set scale and Display range dialogs.
#include "scale_dialogs.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace orvik {

namespace {

// OK and Cancel, with one more button that ends the dialog its own way.
QDialogButtonBox* buttonsWith(QDialog* dialog, const QString& text, const QString& tip,
                              QPushButton** extra) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    *extra = buttons->addButton(text, QDialogButtonBox::ResetRole);
    (*extra)->setToolTip(tip);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

SetScaleDialog::SetScaleDialog(QWidget* parent, const Calibration& now) : QDialog(parent) {
    setObjectName(QStringLiteral("SetScaleDialog"));
    setWindowTitle(QStringLiteral("Set scale"));
    pixelSize = new QDoubleSpinBox(this);
    pixelSize->setObjectName(QStringLiteral("PixelSize"));
    pixelSize->setDecimals(6);
    pixelSize->setRange(0.000001, 1e6);
    pixelSize->setValue(now.known ? now.pixelSize : 1.0);
    unit = new QLineEdit(now.known ? now.unit : QStringLiteral("micron"), this);
    unit->setObjectName(QStringLiteral("PixelUnit"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Pixel size:"), pixelSize);
    form->addRow(QStringLiteral("&Unit:"), unit);
    QPushButton* pixels = nullptr;
    QDialogButtonBox* buttons =
        buttonsWith(this, QStringLiteral("&In pixels"),
                    QStringLiteral("Measure in pixels, whatever the file says"), &pixels);
    connect(pixels, &QPushButton::clicked, this, [this] {
        inPixels_ = true;
        accept();
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

Calibration SetScaleDialog::scale() const {
    Calibration scale;
    if (!inPixels_ && !unit->text().trimmed().isEmpty()) {
        scale.known = true;
        scale.pixelSize = pixelSize->value();
        scale.unit = unit->text().trimmed();
    }
    return scale;
}

DisplayRangeDialog::DisplayRangeDialog(QWidget* parent, DisplayRange now, DisplayRange automatic,
                                       bool wide)
    : QDialog(parent) {
    setObjectName(QStringLiteral("DisplayRangeDialog"));
    setWindowTitle(QStringLiteral("Display range"));
    low = new QSpinBox(this);
    high = new QSpinBox(this);
    low->setObjectName(QStringLiteral("RangeLow"));
    high->setObjectName(QStringLiteral("RangeHigh"));
    for (QSpinBox* spin : {low, high})
        spin->setRange(0, wide ? 65535 : 255);
    low->setValue(now.low);
    high->setValue(now.high);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Black at:"), low);
    form->addRow(QStringLiteral("&White at:"), high);
    QPushButton* autoButton = nullptr;
    QDialogButtonBox* buttons =
        buttonsWith(this, QStringLiteral("&Auto"),
                    QStringLiteral("The smallest to the largest value of all frames"), &autoButton);
    connect(autoButton, &QPushButton::clicked, this, [this, automatic] {
        low->setValue(automatic.low);
        high->setValue(automatic.high);
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The picture's values shown as black and white; "
                                                "the contours see the grey between."),
                                 this));
    layout->addLayout(form);
    layout->addWidget(buttons);
}

DisplayRange DisplayRangeDialog::range() const {
    return {static_cast<std::uint16_t>(low->value()),
            static_cast<std::uint16_t>(std::max(high->value(), low->value() + 1))};
}

} // namespace orvik
