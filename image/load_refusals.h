// The loader's refusals: the texts a failed load shows and the picture size rule, shared by
// the loader and the bitmap guard.
#pragma once

#include "frame_stack.h"
#include "grey_image.h"

#include <QByteArray>
#include <QFileInfo>
#include <QSize>
#include <QString>
#include <exception>
#include <new>

namespace orvik {

inline constexpr const char* NotValidText = "Bitmap image is not valid";
inline constexpr const char* OutOfMemoryText = "Image too large for the available memory";

// The file a load reads and the reader format that its extension names ("bmp", "png", ...).
struct PictureFile {
    QString path;
    QByteArray format;
};

[[noreturn]] inline void refuse(const QString& text) {
    throw ImageLoadError(text.toStdString());
}

[[noreturn]] inline void refuseAsNotValid() {
    refuse(QString::fromLatin1(NotValidText));
}

// "Cannot read file PATH: " and the reason.
[[noreturn]] void refuseFile(const QString& path, const QString& reason);

// Content the reader could not turn into a picture. A bitmap gets its one fixed text; any
// other file is named, with the reason found by looking at what it holds: empty, another
// format than its extension says, no picture at all, or a damaged picture of its format.
[[noreturn]] void refuseContent(const PictureFile& file);

// Runs `read` on the file at `path` so that whatever a decoder of a hostile file throws reaches
// the caller as one of our texts: out of memory, a stack that cannot hold one of its frames
// (naming the file), or the file's content refused.
template <typename Read>
auto readGuarded(const QString& path, Read read) -> decltype(read()) {
    try {
        return read();
    } catch (const ImageLoadError&) {
        throw;
    } catch (const FrameStoreFull& full) {
        refuseFile(path, QString::fromStdString(full.what()));
    } catch (const std::bad_alloc&) {
        throw ImageLoadError(OutOfMemoryText);
    } catch (const std::exception&) {
        refuseContent({path, QFileInfo(path).suffix().toLower().toUtf8()});
    }
}

// Refuses sizes the store can't hold. The memory test comes first: a bitmap header claiming a
// gigantic picture is corrupt rather than merely large, and is refused as not valid; a
// picture of another format is named as too large, with the limit.
void checkPictureSize(QSize size, const PictureFile& file);

} // namespace orvik
