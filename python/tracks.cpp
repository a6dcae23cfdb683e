// Objects followed through the frames of a stack from Python, as orvik-cli follows a stack:
// found (or given) on the first frame, then each frame analysed from the contour the frame
// before left.
#include "calls.h"
#include "document/follow.h"
#include "io/frame_formats.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

namespace orvik::python {

Tracks::Tracks(std::shared_ptr<const Document> doc, int framesDone)
    : doc_(std::move(doc)), framesDone_(framesDone) {}

FrameObjects Tracks::frame(int f) const {
    if (f < 0 || f >= framesDone_)
        throw py::index_error("frame " + std::to_string(f) + " is outside the range 0.." +
                              std::to_string(framesDone_ - 1) + " of the frames followed");
    return FrameObjects(doc_, f);
}

py::list Tracks::tracks() const {
    py::list out;
    if (doc_->tracks() == nullptr) return out;
    for (const Track& track : *doc_->tracks()) {
        py::dict t;
        t["id"] = track.id;
        t["first"] = track.firstFrame;
        t["last"] = track.lastFrame();
        t["error"] = track.error.empty() ? py::object(py::none()) : py::str(track.error);
        t["parent"] = track.parent;
        t["ended"] = track.ended.empty() ? py::object(py::none()) : py::str(track.ended);
        out.append(t);
    }
    return out;
}

void Tracks::saveCtc(const std::string& folder) const {
    // The layout goes into a folder named after the picture, in the folder given: the picture
    // is named after the folder asked for (".x" stands in for an extension, which the name
    // of the folder loses).
    const QFileInfo target(QString::fromStdString(folder));
    const QString parent = target.absolutePath();
    withMessages([&] {
        makeFolder(parent);
        FramesSave save({}, true, parent, target.fileName() + QStringLiteral(".x"),
                        doc_->frameCount());
        for (int f = 0; f < framesDone_; ++f) {
            const GreyImage image = doc_->frameImage(f);
            save.addFrame(f, doc_->objectsOn(f), image, doc_->units(f));
        }
        save.finish();
    });
}

Tracks follow(const PictureInput& picture, const FrameObjects* start,
              const std::vector<std::string>& args) {
    const cli::Options o = optionsOf(args);
    const std::shared_ptr<Document> doc = documentOf(picture, true, o);
    if (start != nullptr) {
        const GreyImage& found = start->image();
        const GreyImage& first = doc->image();
        if (found.ImageWidth != first.ImageWidth || found.ImageHeight != first.ImageHeight)
            throw py::value_error(
                "the objects were found on a picture of " + std::to_string(found.ImageWidth) +
                " × " + std::to_string(found.ImageHeight) + ", the frames are " +
                std::to_string(first.ImageWidth) + " × " + std::to_string(first.ImageHeight));
        for (const PictureObject& object : start->objects())
            doc->objects().restore(object);
    }
    // Objects found (here, or by find_objects) are followed with detection, as orvik-cli
    // follows them; objects given otherwise as before.
    std::optional<TrackingRules> tracking;
    if (start == nullptr) {
        withMessages([&] {
            const py::gil_scoped_release release;
            findOn(*doc, o);
        });
        tracking = rulesOn(doc->image(), o);
    } else if (start->rules()) {
        tracking = *start->rules();
    }
    const int frames = doc->frameCount();
    bool interrupted = false;
    FollowOutcome outcome;
    {
        const py::gil_scoped_release release;
        // Ctrl+C in the interpreter stops the following after the frame being analysed.
        const auto keepGoing = [&interrupted](int) {
            const py::gil_scoped_acquire acquire;
            interrupted = PyErr_CheckSignals() != 0;
            return !interrupted;
        };
        outcome = followObjects(
            doc->objects().objects(), [&doc](int f) { return doc->frameImage(f); }, 0, frames,
            doc->file().toStdString(), o.threads, keepGoing, {}, tracking ? &*tracking : nullptr);
    }
    if (interrupted) throw py::error_already_set();
    doc->setTracks(std::move(outcome.tracks));
    return Tracks(doc, outcome.framesDone);
}

} // namespace orvik::python
