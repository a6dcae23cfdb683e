// The formats of objects followed through the frames of a stack: the list formats with the
// frame of every object (a table with a frame column, a RoiSet whose ROIs sit on their
// slices, a FeatureCollection with a frame property, the Orvik JSON a line per frame, labels
// and overlays a picture per frame) and the Cell Tracking Challenge's result layout.
#pragma once

#include "core/picture_object.h"
#include "io/object_formats.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvik {

// "mask007.tif": a frame's mask in the Cell Tracking Challenge layout, its number zero-padded
// to three digits (four for stacks of more than 1000 frames).
QString ctcMaskName(int frame, int frameCount);
// The first and the last frame on which a label was drawn in the masks.
struct LabelSpan {
    int first = 0;
    int last = 0;
};
// res_track.txt: a line "L B E P" per label drawn in the masks, by rising label: the label (the
// object's id), the first and the last frame it was drawn on, parent 0. Taken from the masks,
// not the tracks, so that a contour that encloses no pixel's centre, or one that later ids
// cover whole, lists no frame its mask lacks at either end.
QByteArray ctcTracks(const std::map<int, LabelSpan>& drawn);
// Writes the asked formats of a stack's objects into `folder` as the frames are measured, one
// frame after the other (any frames, in any order; a frame alone gives the bytes the list
// writers give on that frame): the files of each frame at once (labels, overlay, the CTC masks in
// folder/NAME/), the files over all frames (and res_track.txt) when `finish` is called.
class FramesSave {
public:
    FramesSave(std::vector<ObjectsFormat> formats, bool ctc, QString folder, QString imageFile,
               int frameCount);
    void addFrame(int frame, const std::vector<PictureObject>& objects, const GreyImage& image,
                  const PictureUnits& units);
    void finish();

private:
    bool has(ObjectsFormat format) const;
    QString framePath(int frame, const char* ending) const;

    std::vector<ObjectsFormat> formats_;
    bool ctc_;
    QString folder_;
    QString imageFile_;
    int frameCount_;
    std::vector<MeasurementRow> table_;
    std::vector<std::string> units_; // of the calibrated columns: every added frame's unit
    std::string points_, features_, lines_;
    std::vector<ZipEntry> rois_;
    std::map<int, LabelSpan> drawn_;
};

} // namespace orvik
