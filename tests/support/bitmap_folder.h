// A temporary folder that tests write their pictures and files into; it goes with the object.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

namespace orvik::test {

class BitmapFolder {
public:
    BitmapFolder();
    // Writes the picture as a Windows bitmap and returns the file's path.
    QString write(const QString& name, const QImage& picture);
    // Writes the bytes as they are and returns the file's path.
    QString write(const QString& name, const QByteArray& bytes);
    QString path(const QString& name) const;

private:
    QTemporaryDir dir_;
};

} // namespace orvik::test
