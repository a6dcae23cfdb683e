// Saving a document: a single contour, the objects of the frame shown and the objects of
// every followed frame, in the formats of io/, with the document's units and frames. The
// window's File menu and orvik-cli write through these, so the same document gives the same
// bytes.
#pragma once

#include "document/document.h"
#include "io/formats.h"
#include "io/object_formats.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <vector>

namespace orvik {

// A contour's bytes in `format`, measured on the frame shown in the document's units;
// `overlay` is the picture as shown, for ResultFormat::Overlay.
QByteArray contourBytes(const Document& doc, ResultFormat format, const ContourResult& result,
                        const QImage& overlay = {});

// The clipboard's text of a contour: its measurements in the document's units and its points.
QString contourClipboardText(const Document& doc, const ContourResult& result);

// The objects of the frame shown, in `format` at `path` (and for the table its points beside
// it); on a stack each object is tagged with its frame.
void saveFrameObjects(const Document& doc, ObjectsFormat format, const QString& path);

// The objects of the frame shown in each of `formats`, named after the picture in `folder`,
// and with `ctc` its Cell Tracking Challenge layout: every file written, or none.
void saveShownObjects(const Document& doc, const std::vector<ObjectsFormat>& formats,
                      const QString& folder, bool ctc);
// The same for `objects`, the objects of the frame shown, with their measurements there made
// once by the caller.
void saveShownObjects(const Document& doc, const std::vector<PictureObject>& objects,
                      const ListMeasurements& measured, const std::vector<ObjectsFormat>& formats,
                      const QString& folder, bool ctc);

// The formats "Save frames to folder…" writes.
const std::vector<ObjectsFormat>& framesFolderFormats();

// The objects of frames `first` to `last` into `folder`: the asked list formats over the
// frames, and with `ctc` the Cell Tracking Challenge layout in folder/NAME/.
void saveFrames(const Document& doc, const QString& folder, int first, int last,
                const std::vector<ObjectsFormat>& formats = framesFolderFormats(), bool ctc = true);

} // namespace orvik
