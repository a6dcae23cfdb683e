// File > Open Recent's list, for the running session.
#include "recent_files.h"

#include <QFileInfo>

namespace orvik {

void RecentFiles::remember(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files_.removeAll(absolute);
    files_.prepend(absolute);
    files_ = files_.mid(0, Count);
}

void RecentFiles::forget(const QString& path) {
    files_.removeAll(path);
}

} // namespace orvik
