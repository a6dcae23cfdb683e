// What the user works on, held once for the window, orvik-cli and the tests: the picture (its
// frames, channel, display range and scale), its objects with the current one, and their
// tracks through the frames. The rules that the shown, the saved and the printed results
// share are answered here: the units a frame is measured in, and what an object is on a frame.
#pragma once

#include "core/commands.h"
#include "core/measurements.h"
#include "core/picture_object.h"
#include "core/picture_units.h"
#include "document/find_objects.h"
#include "document/objects.h"
#include "picture_stack.h"

#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

// What an undo step of the document brings back: the objects with the current one, the
// tracks and the frame shown. The lists are shared between states until one changes.
struct DocumentState {
    std::shared_ptr<const std::vector<PictureObject>> list; // null: no object
    int currentId = 0;                                      // 0: the contour is no object's
    std::string currentError; // the error of the current object's last analysis
    std::shared_ptr<const std::vector<Track>> tracks; // the last following; null: none
    int frame = 0;
    bool operator==(const DocumentState&) const = default;
};

class Document {
public:
    // A document for the window keeps the display bitmap of the frame shown; one without a
    // window (orvik-cli, the Python module when it asks) makes only the grey of each frame.
    explicit Document(DisplayBitmap display = DisplayBitmap::Made) : display_(display) {}
    DisplayBitmap displayBitmap() const { return display_; }

    // ---- the picture ----

    // A freshly read picture in place of the one before, shown on its first frame through its
    // own display range and grey channel, in its own scale, without objects or tracks (ids
    // start again at 1).
    void open(LoadedStack loaded, const QString& path);
    const QString& file() const { return file_; }
    const PictureStack& stack() const { return stack_; }
    // At least 1: a single picture is one frame.
    int frameCount() const;
    int frame() const { return frame_; }
    // Shows frame `f`: its grey is made anew, and each followed object takes its contour there.
    void setFrame(int f);
    // The display range and the channel the grey is made through; the frame shown follows.
    void setRange(DisplayRange range);
    void setChannel(Channel channel);
    // The size of a pixel the user gave; none: the file's own (see fileScale).
    void setScale(std::optional<Calibration> scale);
    const std::optional<Calibration>& scale() const { return scale_; }
    // The grey of the frame shown: what the engine samples and the display is made from.
    GreyImage& image() { return image_; }
    const GreyImage& image() const { return image_; }
    // Frame `f` mapped onto grey through the range and channel in force, with the display
    // bitmap when the document keeps one. Safe to call from several threads at once.
    GreyImage frameImage(int f) const;
    // The units the measurements on frame `f` are stated in: the raw values of a 16-bit frame,
    // the scale given or else the file's. Valid while the document keeps its picture.
    PictureUnits units(int f) const;
    PictureUnits units() const { return units(frame_); }

    // ---- measuring ----

    // A contour measured on the frame shown, in its units.
    Measurements measure(const ContourResult& result) const;
    // An object's shown result on frame `f` (its image given), flagged "failed" when its last
    // analysis failed and "overlap" when it still overlaps a neighbour, in that frame's units.
    Measurements measure(const PictureObject& object, const GreyImage& image, int f) const;

    // ---- the objects ----

    // The list to change in place; listChanged() after a change of the list as a whole (the
    // current object's own changes are taken into a state when it is restored).
    ObjectList& objects() { return objects_; }
    const ObjectList& objects() const { return objects_; }
    void listChanged() { shared_.reset(); }
    int currentId() const { return currentId_; }
    const std::string& currentError() const { return currentError_; }
    // Makes `id` current (0, or an id that is not in the list: none) with the error of its
    // last analysis.
    void setCurrent(int id, std::string error = {});
    void setCurrentError(std::string error) { currentError_ = std::move(error); }
    // Find objects on the frame shown: an object seeded from `base` on every region `options`
    // keep (the threshold and the polarity in `options`, an "Auto" polarity resolved on this
    // frame), after the list when `replace` is false, in its place when it is true. The ids
    // of the objects found, not yet analysed. A large picture is labelled on `threads` workers.
    std::vector<int> findObjects(const FindOptions& options, const ControlValues& base,
                                 bool replace, int threads = 1);
    // Analyses every object on the frame shown (or those `which` picks), on `threads` workers;
    // `stopped` as ObjectList::analyseAll takes it. Returns whether every object was analysed.
    bool analyseAll(int threads, const std::function<void(std::size_t done)>& progress = {},
                    const std::function<bool(const PictureObject&)>& which = {},
                    const std::function<bool()>& stopped = {});

    // What each object is on frame `f`, in the list's order; the one answer the window shows
    // and every file saves. Without tracks: every object as it is. With tracks, an object
    // followed is on the frames its track reached with its contour there, and on the frame
    // where its track ended with its last contour and the error; on no frame before its track
    // started or after it ended. An object added after the following is on every frame.
    std::vector<PictureObject> objectsOn(int f) const;
    const std::vector<Track>* tracks() const { return tracks_.get(); }
    // The tracks of a following, which every frame's objects are then taken from. Tracks of
    // ids the list lacks (a following with detection's arrivals and daughters) join it first.
    void setTracks(std::vector<Track> tracks);
    // The frames the tracks cover: first to last; {0, -1} without tracks.
    std::pair<int, int> trackedFrames() const;
    // An object's new result on the frame shown (an analysis of the current object): the list
    // and, when the object is followed there, its track keep it.
    void keepResult(int id, const ContourResult& result, const std::string& error);

    // ---- undo ----

    DocumentState state() const;
    void restore(const DocumentState& state);

private:
    // The followed objects take their contours on the frame shown.
    void takeTrackedResults();
    // The range's grey for every raw value, made again when the range or the picture changes.
    void remap();

    DisplayBitmap display_;
    std::vector<std::uint8_t> mapping_;

    PictureStack stack_;
    QString file_;
    GreyImage image_;
    int frame_ = 0;
    std::optional<Calibration> scale_;
    ObjectList objects_;
    int currentId_ = 0;
    std::string currentError_;
    std::shared_ptr<const std::vector<Track>> tracks_;
    // The list as the history keeps it, made when a state needs it and dropped when the list
    // changes.
    mutable std::shared_ptr<const std::vector<PictureObject>> shared_;
};

// What each object of `list` is on frame `f` with `tracks` (none: without tracks): the rule of
// Document::objectsOn, also for tracks that a following is still making (a frame's objects
// are known once that frame is done).
std::vector<PictureObject> objectsOn(const ObjectList& list, const std::vector<Track>* tracks,
                                     int f);

} // namespace orvik
