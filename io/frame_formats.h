// The formats of objects followed through the frames of a stack: the list formats with the
// frame of every object (a table with a frame column, a RoiSet whose ROIs sit on their
// slices, a FeatureCollection with a frame property, the Orvik JSON a line per frame, labels
// and overlays a picture per frame) and the Cell Tracking Challenge's result layout.
#pragma once

#include "core/picture_object.h"
#include "io/formats.h"
#include "io/measurement_table.h"
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
    int parent = 0; // the track it divided from, followed with detection; 0: none
};
// res_track.txt: a line "L B E P" per label drawn in the masks, by rising label: the label (the
// object's id), the first and the last frame it was drawn on, parent 0. Taken from the masks,
// not the tracks, so that a contour that encloses no pixel's centre, or one that later ids
// cover whole, lists no frame its mask lacks at either end.
QByteArray ctcTracks(const std::map<int, LabelSpan>& drawn);
// Writes the asked formats of a stack's objects into `folder` as the frames are measured, one
// frame after the other (any frames, in any order; a frame alone gives the bytes the list
// writers give on that frame): the files of each frame (labels, overlay, the CTC masks in
// folder/NAME/), the files over all frames (and res_track.txt) when `finish` is called.
// Everything goes first into a hidden folder of its own in `folder`; `finish` moves it into
// place, the CTC folder whole, replacing the one an earlier run left. A save that fails, or is
// never finished, leaves nothing of its own behind (a killed process may leave the hidden
// folder, never a part of a set).
class FramesSave {
public:
    FramesSave(std::vector<ObjectsFormat> formats, bool ctc, QString folder, QString imageFile,
               int frameCount);
    ~FramesSave();
    FramesSave(const FramesSave&) = delete;
    FramesSave& operator=(const FramesSave&) = delete;
    void addFrame(int frame, const std::vector<PictureObject>& objects, const GreyImage& image,
                  const PictureUnits& units);
    // The same with the objects' measurements on the frame, made once by the caller.
    void addFrame(int frame, const std::vector<PictureObject>& objects,
                  const ListMeasurements& measured, const GreyImage& image,
                  const PictureUnits& units);
    // Files written with the others, all or none (a single picture's list formats).
    void addFiles(std::vector<FileBytes> files);
    void finish();

private:
    bool has(ObjectsFormat format) const;
    QString frameName(int frame, const char* ending) const;
    void stage(const QString& name, const QByteArray& bytes);

    std::vector<ObjectsFormat> formats_;
    bool ctc_;
    QString folder_;
    QString imageFile_;
    int frameCount_;
    QString staging_;               // the hidden folder; empty when nothing is written
    std::vector<QString> pictures_; // the frames' pictures staged, by name
    std::vector<FileBytes> files_;
    std::vector<MeasurementRow> table_;
    std::vector<std::string> units_; // of the calibrated columns: every added frame's unit
    std::string points_, features_, lines_;
    std::vector<ZipEntry> rois_;
    std::map<int, LabelSpan> drawn_;
};

} // namespace orvik
