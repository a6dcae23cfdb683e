// The "Load Image" file dialog.
#include "load_image_dialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QMessageBox>
#include <algorithm>

namespace orvik {

QStringList loadImageNameFilters() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format).toLower();
    patterns.removeDuplicates();
    std::sort(patterns.begin(), patterns.end());
    return {QStringLiteral("Windows bitmap (*.bmp)"),
            QStringLiteral("All pictures (") + patterns.join(u' ') + u')',
            QStringLiteral("All files (*)")};
}

LoadImageFileDialog::LoadImageFileDialog(QWidget* parent) : QFileDialog(parent) {
    setWindowTitle(QStringLiteral("Load Image"));
    // Qt's own dialog: the platform's may not honour the options below.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    // AnyFile, not ExistingFile: a typed name of a missing file is accepted and loading
    // it reports "Cannot open file".
    setFileMode(QFileDialog::AnyFile);
    // Bitmaps first and chosen; every other picture the reader knows is one choice away.
    setNameFilters(loadImageNameFilters());
    selectNameFilter(loadImageNameFilters().constFirst());
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

void LoadImageFileDialog::done(int result) {
    // The file name's completer list is a window of its own: it goes with the dialog
    // instead of staying over the main window and taking its next click.
    for (const QCompleter* completer : findChildren<QCompleter*>())
        if (QAbstractItemView* list = completer->popup()) list->hide();
    QFileDialog::done(result);
}

} // namespace orvik
