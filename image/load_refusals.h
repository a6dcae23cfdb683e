// The loader's refusals: the texts a failed load shows and the picture size rule, shared by
// the loader and the bitmap guard.
#pragma once

#include "grey_image.h"

#include <QSize>
#include <QString>
#include <QtGlobal>

namespace orvik {

inline constexpr const char* NotValidText = "Bitmap image is not valid";
inline constexpr const char* OutOfMemoryText = "Image too large for the available memory";

[[noreturn]] inline void refuse(const QString& text) {
    throw ImageLoadError(text.toStdString());
}

[[noreturn]] inline void refuseAsNotValid() {
    refuse(QString::fromLatin1(NotValidText));
}

// Refuses sizes the store can't hold. The memory test comes first: a header claiming a
// gigantic picture is corrupt rather than merely large, and is refused as such.
inline void checkPictureSize(QSize size) {
    const qint64 width = size.width();
    const qint64 height = size.height();
    // Both sides fit in 31 bits, so their product can't overflow; four times it could.
    const qint64 limitPixels = (qint64{ImageAllocationLimitMB} << 20) / 4;
    if (width * height > limitPixels) refuseAsNotValid();
    if (width > MaxImageSide || height > MaxImageSide)
        refuse(QStringLiteral("Image too large: %1 x %2 pixels (at most %3 in each direction)")
                   .arg(width)
                   .arg(height)
                   .arg(MaxImageSide));
}

} // namespace orvik
