// The objects of a picture from Python: found and analysed as orvik-cli --find-objects does,
// described, labelled, tabled and saved by the same writers.
#include "calls.h"
#include "io/labels.h"
#include "io/measurement_table.h"
#include "io/object_formats.h"

#include <cstring>

namespace orvik::python {

FrameObjects::FrameObjects(std::shared_ptr<const Document> doc, int frame)
    : doc_(std::move(doc)), frame_(frame), image_(doc_->frameImage(std::max(frame, 0))),
      objects_(doc_->objectsOn(std::max(frame, 0))) {}

py::dict FrameObjects::object(std::size_t i) const {
    const PictureObject& object = objects_.at(i);
    const ContourResult& result = object.result;
    py::dict out;
    out["id"] = object.id;
    out["points"] = pointsOf(result);
    out["vertices"] = verticesOf(result);
    out["outline"] = outlineOf(result);
    out["closed"] = result.closed;
    out["iteration"] = result.iteration;
    // As orvik-cli describes an object: its last good contour, flagged "failed" when its last
    // analysis failed.
    out["measurements"] =
        measurementsOf(measureObject(object, image_, doc_->units(std::max(frame_, 0))), result);
    out["error"] = object.error.empty() ? py::object(py::none()) : py::str(object.error);
    out["settings"] =
        settingsDict(runContext({}, image_.ImageWidth, image_.ImageHeight, object.values));
    return out;
}

py::array_t<std::uint16_t> FrameObjects::labels() const {
    const std::vector<std::uint16_t> pixels =
        labelPixels(objects_, image_.ImageWidth, image_.ImageHeight);
    py::array_t<std::uint16_t> out(
        {py::ssize_t(image_.ImageHeight), py::ssize_t(image_.ImageWidth)});
    std::memcpy(out.mutable_data(), pixels.data(), pixels.size() * sizeof(std::uint16_t));
    return out;
}

std::string FrameObjects::csv() const {
    const QByteArray bytes =
        toObjectsCsv(objects_, image_, doc_->units(std::max(frame_, 0)), frame_);
    return bytes.toStdString();
}

void FrameObjects::save(const std::string& path) const {
    const QString file = QString::fromStdString(path);
    const std::optional<ObjectsFormat> format = objectsFormatForPath(file);
    if (!format)
        throw py::value_error("cannot tell the format of \"" + path +
                              "\" from its ending: .zip (ImageJ RoiSet), .geojson, .csv, .json or "
                              ".png (labels)");
    withMessages([&] {
        saveObjects(*format, file, objects_, image_, 0, doc_->file(),
                    doc_->units(std::max(frame_, 0)), frame_);
    });
}

void findOn(Document& doc, const cli::Options& o) {
    const TrackingRules rules = rulesOn(doc.image(), o);
    FindOptions find = rules.find;
    find.autoPolarity = o.autoPolarity.value_or(true);
    find.blackOnWhite = rules.base.blackOnWhite;
    doc.findObjects(find, rules.base, false, o.threads);
}

TrackingRules rulesOn(const GreyImage& image, const cli::Options& o) {
    TrackingRules rules;
    rules.base = valuesOn(o, image);
    rules.find = o.find;
    rules.find.threshold = at(rules.base.fields, Field::Threshold);
    rules.find.blackOnWhite = rules.base.blackOnWhite;
    rules.find.autoPolarity = o.autoPolarity.value_or(true);
    rules.find = resolvedPolarity(image, rules.find, o.threads);
    rules.autoThreshold = o.thresholdAuto;
    return rules;
}

FrameObjects findObjects(const PictureInput& picture, const std::vector<std::string>& args) {
    const cli::Options o = optionsOf(args);
    const std::shared_ptr<Document> doc = documentOf(picture, false, o);
    bool interrupted = false;
    withMessages([&] {
        const py::gil_scoped_release release;
        findOn(*doc, o);
        // Ctrl+C in the interpreter stops the analyses after the objects at work.
        doc->analyseAll(o.threads, {}, {}, [&interrupted] {
            const py::gil_scoped_acquire acquire;
            interrupted = PyErr_CheckSignals() != 0;
            return interrupted;
        });
    });
    if (interrupted) throw py::error_already_set();
    FrameObjects found(doc, -1);
    found.setRules(rulesOn(doc->image(), o));
    return found;
}

} // namespace orvik::python
