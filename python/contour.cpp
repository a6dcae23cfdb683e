// A single contour from Python: a popup tool and the analysis of one box on one picture, as
// orvik-cli runs them for an image without --find-objects.
#include "arrays.h"
#include "calls.h"
#include "checked_float.h"
#include "core/field_table.h"
#include "core/measurements.h"
#include "io/json_text.h"

namespace orvik::python {

namespace {

// The box on this picture: the one given, checked against the picture, or the middle fifth.
Box boxOn(const cli::Options& o, const GreyImage& image) {
    const std::int32_t width = image.ImageWidth, height = image.ImageHeight;
    if (!o.box) return middleFifth(width, height);
    if (const std::optional<BoxField> off = offPicture(*o.box, width, height))
        cli::checkOnImage(o.boxFrom, off->name, (*o.box).*off->coordinate,
                          off->horizontal ? width : height);
    return *o.box;
}

// The values of an analysis on the document's picture with the box and the click checked.
struct Request {
    ControlValues values;
    std::optional<ToolRequest> tool;
};

Request requestOn(const cli::Options& o, const GreyImage& image) {
    return withMessages([&] {
        Request request{valuesOn(o, image), {}};
        setBox(request.values.fields, boxOn(o, image));
        if (o.tool) {
            cli::checkOnImage("option --click", "X", o.click->first, image.ImageWidth);
            cli::checkOnImage("option --click", "Y", o.click->second, image.ImageHeight);
            request.tool = ToolRequest{*o.tool, o.click->first, o.click->second};
        }
        return request;
    });
}

// Each thread's step scratch, made once: the steps of every call on it reuse it.
StepScratch& threadScratch() {
    thread_local StepScratch scratch;
    return scratch;
}

py::object errorOrNone(const std::string& error) {
    return error.empty() ? py::object(py::none()) : py::object(py::str(error));
}

} // namespace

py::object measurementsOf(const Measurements& m, const ContourResult& result) {
    // The dict orvik-cli prints, read from the very text it prints. (The json module is looked
    // up each time: a static handle would be released after the interpreter has gone.)
    return py::module_::import("json").attr("loads")(measurementsObject(m, result));
}

py::dict analyse(const PictureInput& picture, const std::vector<std::string>& args) {
    const cli::Options o = optionsOf(args);
    const std::shared_ptr<Document> doc = documentOf(picture, false, o);
    const Request request = requestOn(o, doc->image());
    KONTUR k;
    HeadlessOutcome run;
    {
        const py::gil_scoped_release release;
        run = analyseHeadless(k, threadScratch(), doc->image(), request.values, request.tool);
    }
    const GreyImage& image = doc->image();
    const RunContext context =
        runContext(picture.name, image.ImageWidth, image.ImageHeight, run.values);
    const ContourResult result = captureResult(k, context, run.error);
    py::dict out;
    out["points"] = pointsOf(result);
    out["vertices"] = verticesOf(result);
    out["outline"] = outlineOf(result);
    out["closed"] = result.closed;
    out["iteration"] = result.iteration;
    out["energy"] = result.energy;
    out["measurements"] = measurementsOf(doc->measure(result), result);
    out["error"] = errorOrNone(result.error);
    out["settings"] = settingsDict(result.context);
    return out;
}

py::dict tool(const PictureInput& picture, const std::vector<std::string>& args) {
    const cli::Options o = optionsOf(args);
    const std::shared_ptr<Document> doc = documentOf(picture, false, o);
    Request request = requestOn(o, doc->image());
    ControlValues& v = request.values;
    std::string error;
    {
        const py::gil_scoped_release release;
        // The engine reads the polarity at every sample, so a tool's change is seen at once.
        bool blackOnWhite = v.blackOnWhite;
        const GreyImage& image = doc->image();
        const ImageBindingScope binding(image, blackOnWhite);
        std::int32_t x = request.tool->x, y = request.tool->y;
        const ToolTarget target{
            [&](int radius) { at(v.fields, Field::Radius) = radius; },
            [&](int threshold) { at(v.fields, Field::Threshold) = threshold; },
            [&](bool black) { v.blackOnWhite = blackOnWhite = black; },
        };
        try {
            runTool(request.tool->tool,
                    {v.model, boxOf(v.fields), image.ImageWidth, image.ImageHeight}, x, y, target);
        } catch (const FloatingPointError& e) {
            error = e.what();
        }
    }
    const GreyImage& image = doc->image();
    py::dict out = settingsDict(runContext(picture.name, image.ImageWidth, image.ImageHeight, v));
    out["error"] = errorOrNone(error);
    return out;
}

} // namespace orvik::python
