// File > Open Recent's list in the user's settings.
#include "recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace orvik {

namespace {

const QString kKey = QStringLiteral("recentFiles");

void store(const QStringList& files) {
    QSettings settings;
    settings.setValue(kKey, files);
}

} // namespace

QStringList recentFiles() {
    const QSettings settings;
    QStringList files = settings.value(kKey).toStringList();
    files.removeAll(QString());
    return files.mid(0, RecentFileCount);
}

void rememberRecentFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    store(files.mid(0, RecentFileCount));
}

void forgetRecentFile(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    store(files);
}

} // namespace orvik
