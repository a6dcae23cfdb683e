// Saving the contour, the frame's objects and the followed frames of a document.
#include "document/saving.h"

#include "io/frame_formats.h"

#include <algorithm>

namespace orvik {

QByteArray contourBytes(const Document& doc, ResultFormat format, const ContourResult& result,
                        const QImage& overlay) {
    return resultBytes(format, result, doc.measure(result), overlay);
}

QString contourClipboardText(const Document& doc, const ContourResult& result) {
    return clipboardText(doc.measure(result), result);
}

void saveFrameObjects(const Document& doc, ObjectsFormat format, const QString& path) {
    // On a stack each object says which frame it is on, as the frames' own files do.
    saveObjects(format, path, doc.objectsOn(doc.frame()), doc.image(), doc.currentId(), doc.file(),
                doc.units(), doc.frameCount() > 1 ? doc.frame() : -1);
}

void saveShownObjects(const Document& doc, const std::vector<ObjectsFormat>& formats,
                      const QString& folder, bool ctc) {
    if (formats.empty() && !ctc) return;
    const std::vector<PictureObject> objects = doc.objectsOn(doc.frame());
    const bool measures = std::any_of(formats.begin(), formats.end(), measuresObjects);
    saveShownObjects(doc, objects,
                     measures ? measureObjects(objects, doc.image(), doc.units())
                              : ListMeasurements(),
                     formats, folder, ctc);
}

void saveShownObjects(const Document& doc, const std::vector<PictureObject>& objects,
                      const ListMeasurements& measured, const std::vector<ObjectsFormat>& formats,
                      const QString& folder, bool ctc) {
    if (formats.empty() && !ctc) return;
    makeFolder(folder);
    const int frame = doc.frameCount() > 1 ? doc.frame() : -1;
    // The list files ride with the CTC layout's, so that they are written all or none.
    FramesSave save({}, ctc, folder, doc.file(), doc.frameCount());
    for (const ObjectsFormat format : formats)
        save.addFiles(objectsFiles(format, objectsOutputPath(folder, doc.file(), format), objects,
                                   measured, doc.image(), doc.currentId(), doc.file(), doc.units(),
                                   frame));
    if (ctc) save.addFrame(doc.frame(), objects, measured, doc.image(), doc.units());
    save.finish();
}

const std::vector<ObjectsFormat>& framesFolderFormats() {
    static const std::vector<ObjectsFormat> formats = {ObjectsFormat::RoiSet,
                                                       ObjectsFormat::GeoJson, ObjectsFormat::Csv,
                                                       ObjectsFormat::Json, ObjectsFormat::Labels};
    return formats;
}

void saveFrames(const Document& doc, const QString& folder, int first, int last,
                const std::vector<ObjectsFormat>& formats, bool ctc) {
    if (!formats.empty() || ctc) makeFolder(folder);
    FramesSave save(formats, ctc, folder, doc.file(), doc.frameCount());
    for (int f = first; f <= last; ++f) {
        const GreyImage image = f == doc.frame() ? GreyImage() : doc.frameImage(f);
        save.addFrame(f, doc.objectsOn(f), f == doc.frame() ? doc.image() : image, doc.units(f));
    }
    save.finish();
}

} // namespace orvik
