// The "Find objects" dialog's controls, each with a label that names it.
#include "find_objects_dialog.h"

#include "core/field_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace orvik {

FindObjectsDialog::FindObjectsDialog(QWidget* parent, const FindOptions& start, int otsu,
                                     long long pixels, bool haveObjects)
    : QDialog(parent), fieldThreshold_(start.threshold), autoValue_(otsu) {
    setObjectName(QStringLiteral("FindObjectsDialog"));
    setWindowTitle(QStringLiteral("Find objects"));

    // The model that settles best on found regions (see the manual's "How objects are
    // seeded"); "Opened" follows an edge and encloses no region.
    modelChoice = new QComboBox(this);
    modelChoice->setObjectName(QStringLiteral("FindModel"));
    modelChoice->addItem(QStringLiteral("Center point"), int(ModelChoice::CenterPoint));
    modelChoice->addItem(QStringLiteral("Standard"), int(ModelChoice::Standard));
    modelChoice->addItem(QStringLiteral("Balloon"), int(ModelChoice::Balloon));

    const int most = static_cast<int>(std::min<long long>(pixels, std::numeric_limits<int>::max()));
    minimumArea = new QSpinBox(this);
    minimumArea->setObjectName(QStringLiteral("MinimumArea"));
    minimumArea->setRange(1, std::max(1, most));
    minimumArea->setValue(std::clamp(start.minArea, 1, std::max(1, most)));
    minimumArea->setSuffix(QStringLiteral(" px\u00B2"));

    maximumArea = new QSpinBox(this);
    maximumArea->setObjectName(QStringLiteral("MaximumArea"));
    maximumArea->setRange(1, std::max(1, most));
    // At first a quarter of the picture, as Find objects takes it when given no largest area.
    const long long quarter = std::max(1LL, pixels / 4);
    maximumArea->setValue(static_cast<int>(
        std::min<long long>(start.maxArea > 0 ? start.maxArea : quarter, std::max(1, most))));
    maximumArea->setToolTip(QStringLiteral("At first a quarter of the picture"));
    maximumArea->setSuffix(QStringLiteral(" px\u00B2"));

    // The objects' side of the threshold, as the panel's Object group has it, or "Auto": the
    // side the picture's border mostly is not, at the threshold shown.
    autoPolarity = new QRadioButton(QStringLiteral("A&uto"), this);
    autoPolarity->setObjectName(QStringLiteral("FindAutoPolarity"));
    autoPolarity->setAccessibleName(QStringLiteral("Automatic polarity"));
    autoPolarity->setToolTip(QStringLiteral("Objects on the side of the threshold that most of "
                                            "the picture's border is not on"));
    blackOnWhite = new QRadioButton(QStringLiteral("&Black on white"), this);
    blackOnWhite->setObjectName(QStringLiteral("FindBlackOnWhite"));
    whiteOnBlack = new QRadioButton(QStringLiteral("&White on black"), this);
    whiteOnBlack->setObjectName(QStringLiteral("FindWhiteOnBlack"));
    (start.autoPolarity   ? autoPolarity
     : start.blackOnWhite ? blackOnWhite
                          : whiteOnBlack)
        ->setChecked(true);
    auto* polarity = new QHBoxLayout;
    polarity->addWidget(autoPolarity);
    polarity->addWidget(blackOnWhite);
    polarity->addWidget(whiteOnBlack);

    excludeEdges = new QCheckBox(QStringLiteral("E&xclude objects on the edges"), this);
    excludeEdges->setObjectName(QStringLiteral("ExcludeEdges"));
    excludeEdges->setChecked(start.excludeEdges);

    const FieldInfo& field = fieldInfo(Field::Threshold);
    threshold = new QSpinBox(this);
    threshold->setObjectName(QStringLiteral("FindThreshold"));
    threshold->setRange(field.minimum, field.maximum);
    threshold->setValue(start.threshold);
    threshold->setToolTip(QStringLiteral("In quarter grey levels, as the Threshold field"));
    autoThreshold = new QCheckBox(QStringLiteral("&Auto (Otsu)"), this);
    autoThreshold->setObjectName(QStringLiteral("AutoThreshold"));
    autoThreshold->setAccessibleName(QStringLiteral("Automatic threshold"));
    autoThreshold->setToolTip(QStringLiteral("The threshold that splits the picture's grey levels "
                                             "best (Otsu's method): %1")
                                  .arg(otsu));

    localThreshold = new QCheckBox(QStringLiteral("L&ocal, against the background within"), this);
    localThreshold->setObjectName(QStringLiteral("LocalThreshold"));
    localThreshold->setAccessibleName(QStringLiteral("Local threshold"));
    localThreshold->setToolTip(QStringLiteral("For pictures lit unevenly: each pixel against the "
                                              "background round it (objects narrower than the "
                                              "window are taken out of it)"));
    localThreshold->setChecked(start.localThreshold);
    localRadius = new QSpinBox(this);
    localRadius->setObjectName(QStringLiteral("LocalRadius"));
    localRadius->setAccessibleName(QStringLiteral("Local threshold radius"));
    localRadius->setRange(MinLocalRadius, MaxLocalRadius);
    localRadius->setValue(start.localRadius);
    localRadius->setSuffix(QStringLiteral(" px"));
    localRadius->setEnabled(start.localThreshold);
    threshold->setEnabled(!start.localThreshold);
    auto* local = new QHBoxLayout;
    local->addWidget(localThreshold);
    local->addWidget(localRadius);
    local->addStretch();

    split = new QCheckBox(QStringLiteral("S&plit touching objects"), this);
    split->setObjectName(QStringLiteral("SplitTouching"));
    split->setToolTip(QStringLiteral("Cut a region that holds several objects along the valleys "
                                     "between them"));
    split->setChecked(start.split);

    replace = new QCheckBox(QStringLiteral("&Replace the objects in the list"), this);
    replace->setObjectName(QStringLiteral("ReplaceObjects"));
    replace->setChecked(true);
    replace->setEnabled(haveObjects);

    dropFlagged = new QCheckBox(QStringLiteral("&Drop flagged objects"), this);
    dropFlagged->setObjectName(QStringLiteral("DropFlagged"));
    dropFlagged->setToolTip(QStringLiteral("Leave out objects whose contour failed, left the "
                                           "picture, crossed itself or collapsed"));

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("FoundCount"));
    count_->setAccessibleName(QStringLiteral("Objects found"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Model:"), modelChoice);
    form->addRow(QStringLiteral("&Smallest area:"), minimumArea);
    form->addRow(QStringLiteral("&Largest area:"), maximumArea);
    form->addRow(QStringLiteral("Objects:"), polarity);
    form->addRow(QStringLiteral("&Threshold:"), threshold);
    form->addRow(QString(), autoThreshold);
    form->addRow(QString(), local);
    form->addRow(QString(), split);
    form->addRow(QString(), excludeEdges);
    form->addRow(QString(), dropFlagged);
    form->addRow(QString(), replace);
    form->addRow(QStringLiteral("Found:"), count_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Find"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(autoThreshold, &QCheckBox::toggled, this, [this](bool on) {
        if (on) localThreshold->setChecked(false);
        threshold->setEnabled(!on);
        threshold->setValue(on ? autoValue_ : fieldThreshold_);
    });
    connect(localThreshold, &QCheckBox::toggled, this, [this](bool on) {
        if (on) autoThreshold->setChecked(false);
        threshold->setEnabled(!on);
        localRadius->setEnabled(on);
        emit optionsChanged();
    });
    connect(localRadius, &QSpinBox::valueChanged, this, &FindObjectsDialog::optionsChanged);
    connect(split, &QCheckBox::toggled, this, &FindObjectsDialog::optionsChanged);
    for (QSpinBox* spin : {minimumArea, maximumArea, threshold})
        connect(spin, &QSpinBox::valueChanged, this, &FindObjectsDialog::optionsChanged);
    connect(excludeEdges, &QCheckBox::toggled, this, &FindObjectsDialog::optionsChanged);
    // One change of the options per choice: the button turned on.
    for (QRadioButton* choice : {autoPolarity, blackOnWhite, whiteOnBlack})
        connect(choice, &QRadioButton::toggled, this, [this](bool on) {
            if (on) emit optionsChanged();
        });
}

FindOptions FindObjectsDialog::options() const {
    FindOptions options;
    options.threshold = threshold->value();
    options.autoPolarity = autoPolarity->isChecked();
    options.blackOnWhite = blackOnWhite->isChecked();
    options.minArea = minimumArea->value();
    options.maxArea = maximumArea->value();
    options.excludeEdges = excludeEdges->isChecked();
    options.localThreshold = localThreshold->isChecked();
    options.localRadius = localRadius->value();
    options.split = split->isChecked();
    return options;
}

ModelChoice FindObjectsDialog::model() const {
    return static_cast<ModelChoice>(modelChoice->currentData().toInt());
}

bool FindObjectsDialog::replaceObjects() const {
    return replace->isEnabled() && replace->isChecked();
}

void FindObjectsDialog::showCount(int regions) {
    count_->setText(regions == 1 ? QStringLiteral("1 object")
                                 : QStringLiteral("%1 objects").arg(regions));
}

} // namespace orvik
