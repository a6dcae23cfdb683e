// The "Load Image" file dialog.
#include "load_image_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace orvik {

LoadImageFileDialog::LoadImageFileDialog(QWidget* parent) : QFileDialog(parent) {
    setWindowTitle(QStringLiteral("Load Image"));
    // Qt's own dialog: the platform's may not honour the options below.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    // AnyFile, not ExistingFile: a typed name of a missing file is accepted and loading
    // it reports "Cannot open file".
    setFileMode(QFileDialog::AnyFile);
    setNameFilter(QStringLiteral("Windows bitmap (*.bmp)"));
    setDefaultSuffix(QStringLiteral("bmp"));
    setSizeGripEnabled(true);
}

QString LoadImageFileDialog::choose() {
    if (!lastChosen_.isEmpty()) selectFile(lastChosen_);
    if (exec() != QDialog::Accepted) return {};
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return {};
    lastChosen_ = files.first();
    return lastChosen_;
}

void LoadImageFileDialog::accept() {
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
        const QFileInfo chosen(files.first());
        if (!chosen.isDir() && !chosen.absoluteDir().exists()) {
            QMessageBox::warning(this, windowTitle(),
                                 tr("The folder %1 does not exist.")
                                     .arg(QDir::toNativeSeparators(chosen.absolutePath())));
            return;
        }
    }
    QFileDialog::accept();
}

} // namespace orvik
