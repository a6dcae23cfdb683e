// Opening pictures besides "Load Image": File > Open Recent and a file dropped on the window.
#include "command_guard.h"
#include "tform1.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <stdexcept>

namespace orvik {

void TForm1::openImageFile(const QString& path) {
    userChange(NotAStep, [this, &path] { loadImageFile(path, true); });
}

void TForm1::openRecentFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        recentFiles_.forget(path);
        rebuildRecentMenu();
        runCommand([&path] {
            throw std::runtime_error(
                QStringLiteral("The file %1 no longer exists; it has been removed from the "
                               "recent files")
                    .arg(QDir::toNativeSeparators(path))
                    .toStdString());
        });
        return;
    }
    openImageFile(path);
}

void TForm1::rebuildRecentMenu() {
    OpenRecentMenu->clear();
    const QStringList& files = recentFiles_.files();
    for (int i = 0; i < files.size(); ++i) {
        const QString name = QFileInfo(files[i]).fileName();
        QAction* entry = OpenRecentMenu->addAction(QStringLiteral("&%1 %2").arg(
            i + 1 < 10 ? QString::number(i + 1) : QStringLiteral("1&0"), name));
        entry->setToolTip(files[i]);
        entry->setStatusTip(files[i]);
        entry->setData(files[i]);
        const QString file = files[i];
        connect(entry, &QAction::triggered, this, [this, file] { openRecentFile(file); });
    }
    OpenRecentMenu->setEnabled(!files.isEmpty());
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    openImageFile(urls.first().toLocalFile());
}

} // namespace orvik
