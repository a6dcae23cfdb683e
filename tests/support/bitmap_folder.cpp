// A temporary folder that tests write their pictures and files into. A file that can't be
// written stops the test program: every check after it would be about the wrong file.
#include "bitmap_folder.h"

#include <QFile>
#include <QtGlobal>

namespace orvik::test {

BitmapFolder::BitmapFolder() {
    if (!dir_.isValid()) qFatal("no temporary folder for the test files");
}

QString BitmapFolder::write(const QString& name, const QImage& picture) {
    const QString file = path(name);
    if (!picture.save(file, "BMP")) qFatal("cannot write the test bitmap %s", qPrintable(file));
    return file;
}

QString BitmapFolder::write(const QString& name, const QByteArray& bytes) {
    const QString file = path(name);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
        qFatal("cannot write the test file %s", qPrintable(file));
    return file;
}

QString BitmapFolder::path(const QString& name) const {
    return dir_.filePath(name);
}

} // namespace orvik::test
