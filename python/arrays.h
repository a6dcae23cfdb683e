// Between numpy and the document: arrays of frames made the picture a document opens, a read
// picture's frames made arrays, the settings checked by orvik-cli's rules, and the errors the
// module raises with orvik-cli's messages.
#pragma once

#include "core/commands.h"
#include "core/result.h"
#include "document/document.h"
#include "options.h"

#include <memory>
#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <string>
#include <vector>

namespace orvik::python {

namespace py = pybind11;

// A picture handed over from Python: its frames (height × width, or frames × height × width
// for a stack; a last axis of 3 for 8-bit colour), the name it goes by in the saved files and
// the pixel size its file stated (pixel size, unit), if any.
struct PictureInput {
    py::array frames;
    std::string name;
    std::optional<std::pair<double, std::string>> fileScale;
};

// The picture as a load would have given it: its frames copied into a stack of their layout
// shown through its own display range. `stack` false: a single picture is asked for. A frame
// array of another type or shape is refused with a ValueError.
LoadedStack loadedOf(const PictureInput& picture, bool stack);

// orvik-cli's options for `args` (option names and values as on its command line), checked by
// its own rules: a bad one raises a ValueError with orvik-cli's message.
cli::Options optionsOf(std::vector<std::string> args);

// A document on the picture with the options' channel, display range and scale, as orvik-cli
// opens a file.
std::shared_ptr<Document> documentOf(const PictureInput& picture, bool stack,
                                     const cli::Options& options);

// The values an analysis starts from: with --threshold auto, the picture's own threshold.
ControlValues valuesOn(const cli::Options& options, const GreyImage& image);

// The stored points as orvik-cli prints them (x, y; model 1: its radii, one a row), the
// integer vertices Draw passes and the contour polygon in pixel coordinates.
py::array_t<float> pointsOf(const ContourResult& result);
py::array_t<std::int32_t> verticesOf(const ContourResult& result);
py::array_t<double> outlineOf(const ContourResult& result);

// The settings of a result as a dict: model, object (the polarity), box and fields by their
// orvik-cli names.
py::dict settingsDict(const RunContext& context);

// Runs `work` with orvik-cli's text for any error it throws: a ValueError for a bad setting,
// an OSError for a file that cannot be read or written.
template <typename Work>
auto withMessages(Work work) -> decltype(work());

[[noreturn]] void raiseMessage(const std::exception& e);

template <typename Work>
auto withMessages(Work work) -> decltype(work()) {
    try {
        return work();
    } catch (const py::error_already_set&) {
        throw;
    } catch (const py::builtin_exception&) {
        throw;
    } catch (const std::exception& e) {
        raiseMessage(e);
    }
}

} // namespace orvik::python
