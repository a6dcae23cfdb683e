// A picture as frames: every page of a TIFF file, a single picture of another format, or the
// numbered pictures of a folder, with the display range and the calibration they come with.
#pragma once

#include "calibration.h"
#include "frame_stack.h"
#include "grey_image.h"

#include <QString>
#include <QStringList>

namespace orvik {

struct PictureStack {
    FrameStack frames;
    DisplayRange range;              // what frameImage maps through; autoRange(frames) after a load
    Calibration calibration;         // the first picture's
    Channel channel = Channel::Grey; // what frameImage makes a colour picture's grey of
    QStringList readerNotes;         // what the TIFF library said about the files, never printed
};

// Reads a picture file, or a folder of numbered pictures, into a complete new stack, or throws
// ImageLoadError naming the file (and the page of a TIFF file) and changes nothing. A folder's
// pictures are taken in the order of the last number in their names (file names without a
// number are left out) and must all have the first one's size; 8-bit grey and colour mix into
// colour, 16-bit ones mix with none.
PictureStack loadPictureStack(const QString& path);

// The grey image store of one frame through the stack's range and channel (greyFrame).
GreyImage frameImage(const PictureStack& stack, int frame);
// The same through `mapping`, greyMapping of the stack's range and layout, with or without the
// display bitmap.
GreyImage frameImage(const PictureStack& stack, int frame, const std::vector<std::uint8_t>& mapping,
                     DisplayBitmap display);

} // namespace orvik
