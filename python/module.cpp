// The extension module _orvik: the calls of calls.h and a picture file's reading, bound for
// the package orvik, whose Python side gives them their keyword arguments.
#include "calls.h"
#include "cli.h"
#include "core/commands.h"

#include <cstring>
#include <pybind11/stl.h>

namespace orvik::python {

namespace {

using FileScale = std::optional<std::pair<double, std::string>>;

PictureInput pictureOf(py::array frames, std::string name, FileScale scale) {
    return {std::move(frames), std::move(name), std::move(scale)};
}

// A picture file's frames as they are held: frames × height × width (× 3 for colour), with
// its display range and pixel size.
py::dict readPicture(const std::string& path) {
    const LoadedStack loaded = withMessages([&] {
        const py::gil_scoped_release release;
        return loadStack(QString::fromStdString(path));
    });
    const FrameStack& frames = loaded.stack.frames;
    std::vector<py::ssize_t> shape{frames.frameCount(), frames.height(), frames.width()};
    if (frames.layout() == SampleLayout::Rgb8) shape.push_back(3);
    const std::size_t samples = frames.samplesPerFrame();
    py::array out;
    if (frames.layout() == SampleLayout::Grey16) {
        py::array_t<std::uint16_t> wide(shape);
        for (int f = 0; f < frames.frameCount(); ++f)
            std::memcpy(wide.mutable_data() + std::size_t(f) * samples, frames.frame16(f).get(),
                        samples * sizeof(std::uint16_t));
        out = wide;
    } else {
        py::array_t<std::uint8_t> narrow(shape);
        for (int f = 0; f < frames.frameCount(); ++f)
            std::memcpy(narrow.mutable_data() + std::size_t(f) * samples, frames.frame8(f).get(),
                        samples);
        out = narrow;
    }
    py::dict picture;
    picture["frames"] = out;
    const Calibration& c = loaded.stack.calibration;
    picture["pixel_size"] = c.known ? py::object(py::float_(c.pixelSize)) : py::none();
    picture["unit"] = c.known ? py::object(py::str(c.unit.toStdString())) : py::none();
    picture["display_range"] = py::make_tuple(loaded.stack.range.low, loaded.stack.range.high);
    return picture;
}

} // namespace

} // namespace orvik::python

PYBIND11_MODULE(_orvik, m) {
    using namespace orvik::python;
    m.doc() = "Orvik's document and commands; the package orvik is its Python face.";
    m.def("read", &readPicture, py::arg("path"));
    m.def(
        "analyse",
        [](py::array frames, std::string name, FileScale scale, std::vector<std::string> args) {
            return analyse(pictureOf(std::move(frames), std::move(name), std::move(scale)), args);
        },
        py::arg("frames"), py::arg("name"), py::arg("file_scale"), py::arg("args"));
    m.def(
        "tool",
        [](py::array frames, std::string name, FileScale scale, std::vector<std::string> args) {
            return tool(pictureOf(std::move(frames), std::move(name), std::move(scale)), args);
        },
        py::arg("frames"), py::arg("name"), py::arg("file_scale"), py::arg("args"));
    m.def(
        "find_objects",
        [](py::array frames, std::string name, FileScale scale, std::vector<std::string> args) {
            return findObjects(pictureOf(std::move(frames), std::move(name), std::move(scale)),
                               args);
        },
        py::arg("frames"), py::arg("name"), py::arg("file_scale"), py::arg("args"));
    m.def(
        "follow",
        [](py::array frames, std::string name, FileScale scale, const FrameObjects* start,
           std::vector<std::string> args) {
            return follow(pictureOf(std::move(frames), std::move(name), std::move(scale)), start,
                          args);
        },
        py::arg("frames"), py::arg("name"), py::arg("file_scale"), py::arg("start").none(true),
        py::arg("args"));

    // orvik-cli's run in this process, for the benchmark that sets the module's calls beside
    // it: (exit status, standard output, standard error).
    m.def(
        "run_cli",
        [](const std::vector<std::string>& args) {
            orvik::cli::Outcome outcome;
            {
                const py::gil_scoped_release release;
                outcome = orvik::cli::run(args);
            }
            return py::make_tuple(outcome.exitCode, outcome.output, outcome.error);
        },
        py::arg("args"));

    py::class_<FrameObjects>(m, "FrameObjects")
        .def("__len__", &FrameObjects::size)
        .def("object", &FrameObjects::object, py::arg("index"))
        .def("labels", &FrameObjects::labels)
        .def("csv", &FrameObjects::csv)
        .def("save", &FrameObjects::save, py::arg("path"));
    py::class_<Tracks>(m, "Tracks")
        .def_property_readonly("frames", &Tracks::frames)
        .def("frame", &Tracks::frame, py::arg("frame"))
        .def("tracks", &Tracks::tracks)
        .def("save_ctc", &Tracks::saveCtc, py::arg("folder"));
}
