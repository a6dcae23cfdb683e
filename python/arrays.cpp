// Between numpy and the document: frames in, points out, and orvik-cli's messages.
#include "arrays.h"

#include "core/field_table.h"
#include "document/find_objects.h"
#include "io/formats.h"
#include "io/settings.h"

#include <cstring>

namespace orvik::python {

namespace {

// "uint8 (2, 3)": how a refused array is named.
std::string described(const py::array& a) {
    std::string shape;
    for (py::ssize_t i = 0; i < a.ndim(); ++i)
        shape += (i ? ", " : "") + std::to_string(a.shape(i));
    if (a.ndim() == 1) shape += ",";
    return py::str(a.dtype()).cast<std::string>() + " array of shape (" + shape + ")";
}

[[noreturn]] void refuseArray(const py::array& a, bool stack) {
    throw py::value_error(
        std::string("a picture is ") +
        (stack ? "frames × height × width (× 3 for colour)" : "height × width (× 3 for colour)") +
        " of uint8, or of uint16 without colour, not a " + described(a));
}

template <typename T>
void copyFrames(FrameStack& stack, const py::array_t<T, py::array::c_style>& data, int frames) {
    const std::size_t samples = stack.samplesPerFrame();
    for (int f = 0; f < frames; ++f) {
        const auto copy = [&](T* to) {
            std::memcpy(to, data.data() + std::size_t(f) * samples, samples * sizeof(T));
        };
        if constexpr (sizeof(T) == 1)
            stack.addFrame8(copy);
        else
            stack.addFrame16(copy);
    }
}

} // namespace

LoadedStack loadedOf(const PictureInput& picture, bool stack) {
    const py::array& a = picture.frames;
    const bool wide = a.dtype().is(py::dtype::of<std::uint16_t>());
    if (!wide && !a.dtype().is(py::dtype::of<std::uint8_t>())) refuseArray(a, stack);
    // A last axis of 3 is colour; the axes before it are the frames' rows and columns.
    const py::ssize_t planes = a.ndim() - (stack ? 1 : 0);
    const bool colour = planes == 3 && a.shape(a.ndim() - 1) == 3;
    if ((planes != 2 && !colour) || (colour && wide)) refuseArray(a, stack);
    const py::ssize_t rowAxis = stack ? 1 : 0;
    const py::ssize_t height = a.shape(rowAxis), width = a.shape(rowAxis + 1);
    const py::ssize_t frames = stack ? a.shape(0) : 1;
    if (width < 1 || height < 1 || frames < 1) refuseArray(a, stack);
    if (width > MaxImageSide || height > MaxImageSide)
        throw py::value_error("a picture is at most " + std::to_string(MaxImageSide) +
                              " pixels wide and high, not " + std::to_string(width) + " × " +
                              std::to_string(height));

    LoadedStack loaded;
    FrameStack& stackOut = loaded.stack.frames;
    stackOut = FrameStack(std::int32_t(width), std::int32_t(height),
                          wide     ? SampleLayout::Grey16
                          : colour ? SampleLayout::Rgb8
                                   : SampleLayout::Grey8);
    if (wide)
        copyFrames(stackOut, py::array_t<std::uint16_t, py::array::c_style>::ensure(a),
                   int(frames));
    else
        copyFrames(stackOut, py::array_t<std::uint8_t, py::array::c_style>::ensure(a), int(frames));
    loaded.stack.range = autoRange(stackOut);
    if (picture.fileScale)
        loaded.stack.calibration = Calibration{
            true, picture.fileScale->first, QString::fromStdString(picture.fileScale->second), 0.0};
    loaded.image = frameImage(loaded.stack, 0);
    loaded.box = middleFifth(loaded.image.ImageWidth, loaded.image.ImageHeight);
    return loaded;
}

cli::Options optionsOf(std::vector<std::string> args) {
    // The picture itself is handed over apart; the options are checked as for one image.
    args.emplace_back("picture");
    return withMessages([&] { return cli::parse(args); });
}

std::shared_ptr<Document> documentOf(const PictureInput& picture, bool stack,
                                     const cli::Options& o) {
    LoadedStack loaded = loadedOf(picture, stack);
    return withMessages([&] {
        if (o.range && loaded.stack.frames.layout() == SampleLayout::Grey16) {
            loaded.stack.range = *o.range;
            loaded.image = frameImage(loaded.stack, 0);
        }
        auto doc = std::make_shared<Document>();
        doc->open(std::move(loaded), QString::fromStdString(picture.name));
        if (o.channel) doc->setChannel(*o.channel);
        if (o.scale) doc->setScale(*o.scale);
        return doc;
    });
}

ControlValues valuesOn(const cli::Options& o, const GreyImage& image) {
    ControlValues values = o.values;
    if (o.thresholdAuto) at(values.fields, Field::Threshold) = otsuThreshold(image, o.threads);
    return values;
}

py::array_t<float> pointsOf(const ContourResult& result) {
    if (!result.radii.empty()) {
        py::array_t<float> out({py::ssize_t(result.radii.size()), py::ssize_t(1)});
        std::memcpy(out.mutable_data(), result.radii.data(), result.radii.size() * sizeof(float));
        return out;
    }
    py::array_t<float> out({py::ssize_t(result.points.size()), py::ssize_t(2)});
    auto view = out.mutable_unchecked<2>();
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        view(py::ssize_t(i), 0) = result.points[i].x;
        view(py::ssize_t(i), 1) = result.points[i].y;
    }
    return out;
}

py::array_t<std::int32_t> verticesOf(const ContourResult& result) {
    py::array_t<std::int32_t> out({py::ssize_t(result.vertices.size()), py::ssize_t(2)});
    auto view = out.mutable_unchecked<2>();
    for (std::size_t i = 0; i < result.vertices.size(); ++i) {
        view(py::ssize_t(i), 0) = result.vertices[i].x;
        view(py::ssize_t(i), 1) = result.vertices[i].y;
    }
    return out;
}

py::array_t<double> outlineOf(const ContourResult& result) {
    py::array_t<double> out({py::ssize_t(result.contour.size()), py::ssize_t(2)});
    auto view = out.mutable_unchecked<2>();
    for (std::size_t i = 0; i < result.contour.size(); ++i) {
        view(py::ssize_t(i), 0) = result.contour[i].x;
        view(py::ssize_t(i), 1) = result.contour[i].y;
    }
    return out;
}

py::dict settingsDict(const RunContext& context) {
    py::dict fields;
    for (const FieldInfo& entry : fieldTable())
        if (!isBoxField(entry.field)) fields[entry.key] = at(context.fields, entry.field);
    py::dict settings;
    settings["model"] = modelKey(context.model);
    settings["object"] = polarityKey(context.blackOnWhite);
    settings["box"] =
        py::make_tuple(context.box.x1, context.box.y1, context.box.x2, context.box.y2);
    settings["fields"] = fields;
    return settings;
}

void raiseMessage(const std::exception& e) {
    const std::string message = cli::messageOf(e);
    if (dynamic_cast<const cli::UsageError*>(&e) != nullptr) throw py::value_error(message);
    if (dynamic_cast<const ImageLoadError*>(&e) != nullptr ||
        dynamic_cast<const ResultFileError*>(&e) != nullptr ||
        dynamic_cast<const SettingsError*>(&e) != nullptr) {
        PyErr_SetString(PyExc_OSError, message.c_str());
        throw py::error_already_set();
    }
    throw std::runtime_error(message);
}

} // namespace orvik::python
