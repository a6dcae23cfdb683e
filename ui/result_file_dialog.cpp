// The results items' file dialogs.
#include "result_file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace orvik {

FileChoice chooseWithFileDialog(QWidget* parent, const FileRequest& request) {
    FileChoice choice;
    choice.filter = request.filters.value(0);
    const QString filters = request.filters.join(QStringLiteral(";;"));
    // Qt's own dialog, as for "Load Image": the same look and keyboard use everywhere.
    const QFileDialog::Options options = QFileDialog::DontUseNativeDialog;
    if (request.purpose == FileRequest::Purpose::Save)
        choice.path = QFileDialog::getSaveFileName(parent, request.title, request.suggestedPath,
                                                   filters, &choice.filter, options);
    else
        choice.path = QFileDialog::getOpenFileName(parent, request.title, request.suggestedPath,
                                                   filters, &choice.filter, options);
    return choice;
}

QString withFilterExtension(const QString& path, const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*(\\.[A-Za-z0-9]+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    if (!match.hasMatch()) return path;
    const QString extension = match.captured(1);
    if (QFileInfo(path).fileName().endsWith(extension, Qt::CaseInsensitive)) return path;
    return path + extension;
}

} // namespace orvik
