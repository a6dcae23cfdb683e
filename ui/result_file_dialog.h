// The file dialogs of the results items (File › Save contour as…, Save mask…, Save overlay…,
// Load settings…), behind one function that tests replace.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace orvik {

struct FileRequest {
    enum class Purpose { Save, Open };
    Purpose purpose = Purpose::Save;
    QString title;
    QStringList filters;   // "CSV points (*.csv)", ...; the first is selected
    QString suggestedPath; // the folder and name the dialog starts at
};

// What the user chose: the path (empty when cancelled) and the file type selected.
struct FileChoice {
    QString path;
    QString filter;
};

using FileChooser = std::function<FileChoice(QWidget* parent, const FileRequest& request)>;

// Qt's own file dialog; a save asks before replacing an existing file.
FileChoice chooseWithFileDialog(QWidget* parent, const FileRequest& request);

// The path with the extension of `filter` ("ImageJ ROI (*.roi)" gives ".roi") appended
// when its name has no extension of the filter's.
QString withFilterExtension(const QString& path, const QString& filter);

} // namespace orvik
