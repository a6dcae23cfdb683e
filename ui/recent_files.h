// File > Open Recent: the last pictures loaded, kept between runs in the user's settings.
#pragma once

#include <QString>
#include <QStringList>

namespace orvik {

inline constexpr int RecentFileCount = 10;

// Newest first.
QStringList recentFiles();
// Puts `path` first, once, and keeps the newest RecentFileCount.
void rememberRecentFile(const QString& path);
void forgetRecentFile(const QString& path);

} // namespace orvik
