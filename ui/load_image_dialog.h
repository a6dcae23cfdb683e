// The "Load Image" file dialog: one picture at a time, the folder must exist, the file need
// not, a name without an extension gets ".bmp", and every opening starts at the file chosen
// last.
#pragma once

#include <QFileDialog>

namespace orvik {

// "Windows bitmap (*.bmp)", "All pictures (...)" (every format the image reader knows),
// "All files (*)".
QStringList loadImageNameFilters();

class LoadImageFileDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit LoadImageFileDialog(QWidget* parent = nullptr);

    // Opens the dialog at the last chosen file; the chosen path, or empty when cancelled.
    QString choose();

    const QString& lastChosen() const { return lastChosen_; }

public slots:
    // Refuses a name whose folder does not exist; a missing file is let through so that
    // loading it reports the error.
    void accept() override;
    void done(int result) override;

private:
    QString lastChosen_;
};

} // namespace orvik
