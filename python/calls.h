// The calls the module offers Python, over the document: a single contour, the objects of a
// picture, and the objects followed through frames. The package's Python side (orvik/) gives
// them their keyword arguments, turning them into orvik-cli's options.
#pragma once

#include "arrays.h"
#include "core/picture_object.h"
#include "document/tracking.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::python {

// ---- a single contour ----

// The measurements dict orvik-cli prints for a result.
py::object measurementsOf(const Measurements& m, const ContourResult& result);

// An analysis of the single picture with orvik-cli's options `args`: {points, vertices,
// outline, closed, iteration, energy, measurements, error, settings}.
py::dict analyse(const PictureInput& picture, const std::vector<std::string>& args);

// The popup tool of `args` (--click, --tool) alone: the settings it leaves, with its error.
py::dict tool(const PictureInput& picture, const std::vector<std::string>& args);

// ---- the objects of a picture ----

// The objects of one frame of a document, as they are shown and saved there.
class FrameObjects {
public:
    FrameObjects(std::shared_ptr<const Document> doc, int frame);
    std::size_t size() const { return objects_.size(); }
    const std::vector<PictureObject>& objects() const { return objects_; }
    const GreyImage& image() const { return image_; }
    // {id, points, vertices, outline, closed, iteration, measurements, error, settings}.
    py::dict object(std::size_t i) const;
    // The labels picture: height × width uint16, each object's id on the pixels inside it.
    py::array_t<std::uint16_t> labels() const;
    // The objects CSV orvik-cli writes (its header and a row per object).
    std::string csv() const;
    // Saves in the format the ending of `path` names.
    void save(const std::string& path) const;
    // Objects found by find_objects: the rules they were found by, which following them
    // through frames finds them again by.
    void setRules(TrackingRules rules) { rules_ = std::move(rules); }
    const std::optional<TrackingRules>& rules() const { return rules_; }

private:
    std::shared_ptr<const Document> doc_;
    int frame_;       // -1: a single picture
    GreyImage image_; // the frame's grey
    std::vector<PictureObject> objects_;
    std::optional<TrackingRules> rules_;
};

// Places the objects Find objects finds on the document's frame shown, with the options'
// threshold and polarity ("Auto" unless one is given), as orvik-cli places them.
void findOn(Document& doc, const cli::Options& options);

// The rules orvik-cli --find-objects finds objects on `image` by, for following with detection.
TrackingRules rulesOn(const GreyImage& image, const cli::Options& options);

// Find objects and analyse them, as orvik-cli --find-objects on a single picture.
FrameObjects findObjects(const PictureInput& picture, const std::vector<std::string>& args);

// ---- following ----

class Tracks {
public:
    Tracks(std::shared_ptr<const Document> doc, int framesDone);
    int frames() const { return framesDone_; }
    FrameObjects frame(int f) const;
    // Each track: {id, first, last, error, parent, ended}.
    py::list tracks() const;
    // The Cell Tracking Challenge layout (maskTTT.tif, res_track.txt) in `folder`.
    void saveCtc(const std::string& folder) const;

private:
    std::shared_ptr<const Document> doc_;
    int framesDone_;
};

// The objects of `start` (their settings and ids; none: those found on the first frame by
// `args`' --find-objects) followed through the stack's frames, as orvik-cli follows a stack.
Tracks follow(const PictureInput& picture, const FrameObjects* start,
              const std::vector<std::string>& args);

} // namespace orvik::python
