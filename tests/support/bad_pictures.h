// Picture files of formats other than BMP that the loader must refuse, each with the cause
// its message gives, and a writer of PNG files of any size.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace orvik::test {

// A valid 1-bit grey PNG of the given size, all black; small even for huge sizes.
QByteArray blackPng(int width, int height);

// The picture's bytes in the format, as the toolkit writes it.
QByteArray encodedPicture(int width, int height, const char* format);

struct BadPicture {
    QString name; // file name, with the extension that chooses the reader
    QByteArray content;
    QString cause; // the message is "Cannot read file PATH: " followed by this
};

// Empty, not a picture, another format than the extension says, cut short, too large.
std::vector<BadPicture> badPictures();

// The message a bad picture at `path` gets.
QString unreadableMessage(const QString& path, const BadPicture& picture);

} // namespace orvik::test
