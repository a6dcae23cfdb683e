// The "Find objects" dialog: the area range, whether objects on the picture's edges count,
// the objects' polarity (by default "Auto", from the picture), and the threshold (the field's
// value, or Otsu's from the picture). While it is open the window previews the regions that would
// become objects.
#pragma once

#include "document/find_objects.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace orvik {

class FindObjectsDialog : public QDialog {
    Q_OBJECT
public:
    // `start` holds the Threshold field's value, `otsu` the picture's own threshold;
    // the largest area is bounded by the picture's `pixels`.
    FindObjectsDialog(QWidget* parent, const FindOptions& start, int otsu, long long pixels,
                      bool haveObjects);

    FindOptions options() const;
    // The model each found object gets: "Center point" unless the user picks another closed
    // one; the others' fields come from the panel.
    ModelChoice model() const;
    // Whether the objects found replace the list (else they are added to it).
    bool replaceObjects() const;
    // What the preview found for the options shown: "12 objects".
    void showCount(int regions);

    QComboBox* modelChoice = nullptr;
    QSpinBox* minimumArea = nullptr;
    QSpinBox* maximumArea = nullptr;
    QRadioButton* autoPolarity = nullptr; // the default: resolved on the picture
    QRadioButton* blackOnWhite = nullptr;
    QRadioButton* whiteOnBlack = nullptr;
    QCheckBox* excludeEdges = nullptr;
    QSpinBox* threshold = nullptr;
    QCheckBox* autoThreshold = nullptr;
    QCheckBox* localThreshold = nullptr; // each pixel against its background, within the radius
    QSpinBox* localRadius = nullptr;
    QCheckBox* split = nullptr; // touching objects cut apart; on at first
    QCheckBox* replace = nullptr;
    QCheckBox* dropFlagged = nullptr;

signals:
    void optionsChanged();

private:
    QLabel* count_ = nullptr;
    int fieldThreshold_ = 0;
    int autoValue_ = 0;
};

} // namespace orvik
