// Loads a picture file into the grey buffer and the 24-bit display bitmap, after checking the
// file, and rewrites the display from the grey buffer.
#include "grey_image.h"

#include "grey_pass.h"
#include "load_refusals.h"
#include "picture_reader.h"
#include "picture_stack.h"
#include "tiff_reader.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>

namespace orvik {
namespace {

GreyImage buildGreyImage(const QString& path) {
    // A TIFF file shows its first page, through the range of all its pages.
    if (isTiffName(path)) return frameImage(readTiffStack(path), 0);
    QImage display = readPicture(path).convertToFormat(QImage::Format_BGR888);
    // The decoded picture is gone by now; a null result here means the copy found no memory.
    if (display.isNull()) refuse(QString::fromLatin1(OutOfMemoryText));

    const std::size_t pixelCount = std::size_t(display.width()) * std::size_t(display.height());
    auto grey = std::make_unique_for_overwrite<std::uint8_t[]>(pixelCount);
    fillGreyAndDisplay(display, grey.get());

    GreyImage store;
    store.GreyData = std::move(grey);
    store.ImageWidth = display.width();
    store.ImageHeight = display.height();
    store.Display = std::move(display);
    return store;
}

} // namespace

GreyImage loadGreyImage(const QString& path) {
    // Decoders of hostile files may give up by throwing; the caller sees one of our texts.
    return readGuarded(path, [&] { return buildGreyImage(path); });
}

void refreshDisplay(GreyImage& store) {
    if (!store.GreyData || store.Display.format() != QImage::Format_BGR888) return;
    // The grey buffer's size bounds the traversal; after a load the display has the same.
    spreadGrey(store.GreyData.get(), store.ImageWidth, store.Display,
               std::min(store.ImageWidth, store.Display.width()),
               std::min(store.ImageHeight, store.Display.height()));
}

} // namespace orvik
