// File > Open Recent: the last pictures loaded in this run of the program. Nothing is kept
// between runs.
#pragma once

#include <QString>
#include <QStringList>

namespace orvik {

class RecentFiles {
public:
    static constexpr int Count = 10;

    // Newest first.
    const QStringList& files() const { return files_; }
    // Puts `path` first, once, and keeps the newest Count.
    void remember(const QString& path);
    void forget(const QString& path);

private:
    QStringList files_;
};

} // namespace orvik
