// File stamps through the system's stat.
#include "file_stamp.h"

#include "load_refusals.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace orvik {
namespace {

FileStamp stampFrom(const struct stat& status) {
    return {std::uint64_t(status.st_dev), std::uint64_t(status.st_ino),
            std::int64_t(status.st_size), std::int64_t(status.st_mtim.tv_sec),
            std::int64_t(status.st_mtim.tv_nsec)};
}

} // namespace

FileStamp stampOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) return {};
    return stampFrom(status);
}

void checkUnchanged(const QString& path, const FileStamp& stamp) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        refuseFile(path, QStringLiteral("it cannot be read again for its frames (%1)")
                             .arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (stampFrom(status) != stamp) refuseChanged(path);
}

void refuseChanged(const QString& path) {
    refuseFile(path, QStringLiteral("it has changed since it was opened; open it again"));
}

} // namespace orvik
