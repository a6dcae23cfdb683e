// orvik-cli's argument parsing, and the run of each image through the session commands.
#include "cli.h"

#include "checked_float.h"
#include "core/commands.h"
#include "core/field_table.h"
#include "core/full_stop.h"
#include "core/measurements.h"
#include "core/picture_units.h"
#include "core/result.h"
#include "document/find_objects.h"
#include "document/follow.h"
#include "document/objects.h"
#include "io/formats.h"
#include "io/frame_formats.h"
#include "io/json_text.h"
#include "io/object_formats.h"
#include "io/settings.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

namespace orvik::cli {

namespace {

// A bad command line: exit status 2 with this message as it is written.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    ControlValues values;   // the model, the polarity and the fields; the box fields unused
    std::optional<Box> box; // none: each image's middle fifth
    std::string boxFrom;    // where the box was given, for the message when it does not fit
    std::optional<std::pair<int, int>> click;
    std::optional<Tool> tool;
    std::vector<QString> saveKeys; // --save, resolved once the mode is known
    std::vector<ResultFormat> save;
    std::vector<ObjectsFormat> saveObjects;
    std::optional<QString> out;
    std::vector<std::string> images;
    bool pretty = false; // --pretty: the one image's result indented over several lines
    bool help = false;   // --help: the usage on standard output, nothing run
    // Many objects: found in each picture, or the objects of a saved list.
    bool findObjects = false;
    FindOptions find;
    bool thresholdAuto = false; // --threshold auto: Otsu's threshold of each picture
    std::optional<std::vector<PictureObject>> objects;
    bool analyse = false; // --analyse: the objects of --objects analysed, not measured as read
    int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::optional<QString> table;
    bool saveCtc = false; // --save ctc: the Cell Tracking Challenge folder of each picture
    // Stacks and microscopy: the 16-bit display range and the pixel size, when given.
    std::optional<DisplayRange> range;
    std::optional<Calibration> scale;
    std::optional<double> pixelSize;
    std::optional<QString> unit;
    // The options that set an object's own settings, which a saved list brings itself.
    std::string settingOption;
    bool listMode() const { return findObjects || objects.has_value(); }
};

// ---- reading values ----

template <typename T>
struct Choice {
    const char* name;
    T value;
};

template <typename T, std::size_t N>
T choose(const std::string& option, const std::string& text, const Choice<T> (&choices)[N]) {
    std::string names;
    for (const Choice<T>& choice : choices) {
        if (text == choice.name) return choice.value;
        names += std::string(names.empty() ? "" : ", ") + choice.name;
    }
    throw UsageError("option " + option + ": \"" + text + "\" is not one of " + names);
}

constexpr Choice<ModelChoice> kModels[] = {{"center", ModelChoice::CenterPoint},
                                           {"standard", ModelChoice::Standard},
                                           {"balloon", ModelChoice::Balloon},
                                           {"opened", ModelChoice::Opened}};
constexpr Choice<bool> kPolarities[] = {{"black-on-white", true}, {"white-on-black", false}};
constexpr Choice<Tool> kTools[] = {{"radius", Tool::Radius},
                                   {"threshold", Tool::Threshold},
                                   {"object", Tool::Object},
                                   {"all", Tool::All}};

template <typename T, std::size_t N>
const char* nameOf(T value, const Choice<T> (&choices)[N]) {
    for (const Choice<T>& choice : choices)
        if (choice.value == value) return choice.name;
    return "";
}

int parseWhole(const std::string& option, const std::string& text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size())
        throw UsageError("option " + option + ": \"" + text + "\" is not a whole number");
    return value;
}

void checkRange(const std::string& option, int value, int minimum, int maximum) {
    if (value < minimum || value > maximum)
        throw UsageError("option " + option + ": " + std::to_string(value) +
                         " is outside the range " + std::to_string(minimum) + ".." +
                         std::to_string(maximum));
}

// The rows of formatTable() that serve `use` for `keys`, or the error that names the keys
// there are.
std::vector<const FormatEntry*> formatsOf(const std::vector<QString>& keys, unsigned use,
                                          const char* what) {
    std::vector<const FormatEntry*> formats;
    for (const QString& key : keys) {
        const FormatEntry* entry = formatEntry(use, key);
        if (entry == nullptr) {
            std::string names;
            for (const FormatEntry& e : formatTable())
                if ((e.uses & use) != 0 && (e.contour || e.list))
                    names += std::string(names.empty() ? "" : ", ") + e.key;
            throw UsageError("option --save: \"" + key.toStdString() + "\" is not one of " + names +
                             what);
        }
        if (std::find(formats.begin(), formats.end(), entry) == formats.end())
            formats.push_back(entry);
    }
    return formats;
}

// ---- the command line ----

// The arguments left to read.
class Arguments {
public:
    explicit Arguments(const std::vector<std::string>& args) : args_(args) {}
    bool done() const { return i_ >= args_.size(); }
    const std::string& take() { return args_[i_++]; }
    const std::string& peek() const { return args_[i_]; }
    // The value of `option`.
    const std::string& value(const std::string& option) {
        if (done()) throw UsageError("option " + option + " needs a value");
        return take();
    }
    int whole(const std::string& option) { return parseWhole(option, value(option)); }

private:
    const std::vector<std::string>& args_;
    std::size_t i_ = 0;
};

// The field options: --points, --iterations, ... (the box has its own option).
const FieldInfo* fieldOption(const std::string& option) {
    for (const FieldInfo& entry : fieldTable()) {
        if (!isBoxField(entry.field) && option == "--" + std::string(entry.key)) return &entry;
    }
    return nullptr;
}

// Whatever the file sets replaces what the options before it said.
void applySettingsFile(const std::string& path, Options& o) {
    Settings settings = readSettings(QString::fromStdString(path));
    if (settings.box) {
        o.box = *settings.box;
        o.boxFrom = "settings file \"" + path + "\", key \"box\"";
    }
    settings.box.reset();
    o.values = applySettings(settings, o.values);
}

// A count of pixels for --min-area and --max-area.
int area(const std::string& option, Arguments& in) {
    const int value = in.whole(option);
    checkRange(option, value, 0, std::numeric_limits<int>::max());
    return value;
}

// The options of many objects; false for any other.
bool parseObjectsOption(const std::string& a, Arguments& in, Options& o) {
    if (a == "--find-objects") {
        o.findObjects = true;
    } else if (a == "--min-area") {
        o.find.minArea = area(a, in);
    } else if (a == "--max-area") {
        o.find.maxArea = area(a, in);
    } else if (a == "--exclude-edges") {
        o.find.excludeEdges = true;
    } else if (a == "--objects") {
        o.objects = readObjects(QString::fromStdString(in.value(a)));
    } else if (a == "--analyse") {
        o.analyse = true;
    } else if (a == "--threads") {
        o.threads = in.whole(a);
        checkRange(a, o.threads, 1, 1024);
    } else if (a == "--table") {
        o.table = QString::fromStdString(in.value(a));
    } else if (a == "--range") {
        const int low = in.whole(a);
        const int high = in.whole(a);
        checkRange(a, low, 0, 65535);
        checkRange(a, high, 0, 65535);
        if (low >= high)
            throw UsageError("option --range: the low value " + std::to_string(low) +
                             " is not below the high value " + std::to_string(high));
        o.range = DisplayRange{std::uint16_t(low), std::uint16_t(high)};
    } else if (a == "--pixel-size") {
        const std::string text = in.value(a);
        double size = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
        if (ec != std::errc{} || end != text.data() + text.size() || !(size > 0) ||
            !std::isfinite(size))
            throw UsageError("option --pixel-size: \"" + text + "\" is not a positive number");
        o.pixelSize = size;
    } else if (a == "--unit") {
        o.unit = QString::fromStdString(in.value(a));
        if (o.unit->isEmpty()) throw UsageError("option --unit: the unit is empty");
    } else {
        return false;
    }
    return true;
}

void parseOption(const std::string& a, Arguments& in, Options& o) {
    if (parseObjectsOption(a, in, o)) return;
    const bool setting = a == "--settings" || a == "--model" || a == "--object" || a == "--box" ||
                         fieldOption(a) != nullptr;
    if (setting && o.settingOption.empty()) o.settingOption = a;
    if (a == "--threshold" && !in.done() && in.peek() == "auto") {
        in.take();
        o.thresholdAuto = true;
    } else if (a == "--settings") {
        applySettingsFile(in.value(a), o);
    } else if (a == "--model") {
        o.values.model = choose(a, in.value(a), kModels);
    } else if (a == "--object") {
        o.values.blackOnWhite = choose(a, in.value(a), kPolarities);
    } else if (a == "--box") {
        Box b;
        b.x1 = in.whole(a);
        b.y1 = in.whole(a);
        b.x2 = in.whole(a);
        b.y2 = in.whole(a);
        o.box = b;
        o.boxFrom = "option --box";
    } else if (a == "--click") {
        const int x = in.whole(a);
        o.click = {x, in.whole(a)};
    } else if (a == "--tool") {
        o.tool = choose(a, in.value(a), kTools);
    } else if (a == "--save") {
        o.saveKeys.clear();
        for (const QString& key : QString::fromStdString(in.value(a)).split(u','))
            o.saveKeys.push_back(key.trimmed());
    } else if (a == "--out") {
        o.out = QString::fromStdString(in.value(a));
    } else if (a == "--pretty") {
        o.pretty = true;
    } else if (a == "--help" || a == "-h") {
        o.help = true;
    } else if (const FieldInfo* entry = fieldOption(a)) {
        const int value = in.whole(a);
        checkRange(a, value, entry->minimum, entry->maximum);
        at(o.values.fields, entry->field) = value;
        if (entry->field == Field::Threshold) o.thresholdAuto = false;
    } else {
        throw UsageError("unknown option " + a);
    }
}

// What no single option can check.
void checkCombination(Options& o) {
    if (o.images.empty()) throw UsageError("no image given\n" + usage());
    if (o.findObjects && o.objects)
        throw UsageError("--find-objects and --objects exclude each other: objects are either "
                         "found or read");
    if (o.analyse && !o.objects) throw UsageError("--analyse takes the objects of --objects");
    if (o.objects && !o.settingOption.empty())
        throw UsageError(o.settingOption + " cannot be combined with --objects: each saved "
                                           "object brings its own model, polarity, box and fields");
    if (o.objects && o.thresholdAuto)
        throw UsageError("--threshold auto cannot be combined with --objects: each saved "
                         "object brings its own threshold");
    if (o.findObjects && o.box)
        throw UsageError("--box cannot be combined with --find-objects: each object's box "
                         "comes from its region");
    if (o.listMode() && o.click)
        throw UsageError("--click and --tool take a single contour, not --find-objects or "
                         "--objects");
    if (o.pixelSize.has_value() != o.unit.has_value())
        throw UsageError("--pixel-size and --unit go together");
    if (o.pixelSize) o.scale = Calibration{true, *o.pixelSize, *o.unit, 0.0};
    const std::vector<QString>& keys = o.saveKeys;
    const auto ctc = std::find(keys.begin(), keys.end(), QStringLiteral("ctc"));
    if (ctc != keys.end() && !o.listMode())
        throw UsageError("option --save: ctc takes the objects of --find-objects or --objects");
    for (const FormatEntry* entry :
         formatsOf(keys, o.listMode() ? ForList : ForContour,
                   o.listMode() ? ", ctc for the objects of --find-objects or --objects" : "")) {
        if (entry->contour)
            o.save.push_back(*entry->contour);
        else if (entry->list)
            o.saveObjects.push_back(*entry->list);
        else
            o.saveCtc = true;
    }
    if (o.click.has_value() != o.tool.has_value())
        throw UsageError("--click and --tool go together");
    if (o.tool && !toolAllowed(o.values.model, *o.tool))
        throw UsageError(std::string("the ") + nameOf(*o.tool, kTools) +
                         " tool is not available with the model " + modelKey(o.values.model));
    if (o.saveKeys.empty() != !o.out.has_value()) throw UsageError("--save and --out go together");
    // Several results are read line by line; only one can spread over lines.
    if (o.pretty && o.images.size() > 1)
        throw UsageError("--pretty takes one image: several give one JSON line each");
}

Options parse(const std::vector<std::string>& args) {
    Options o;
    Arguments in(args);
    while (!in.done()) {
        const std::string& a = in.take();
        if (a.rfind("--", 0) == 0 || a == "-h")
            parseOption(a, in, o);
        else
            o.images.push_back(a);
    }
    if (!o.help) checkCombination(o);
    return o;
}

// The text for standard error: a usage error as written; any other (an image, a settings
// file, a save) as the window's error box shows it.
std::string messageOf(const std::exception& e) {
    if (dynamic_cast<const UsageError*>(&e)) return e.what();
    return withFullStop(std::string(e.what()));
}

// ---- one image ----

// A position given for this image, from `from` ("option --box", ...): within 0..maximum,
// as the box fields and a mouse position held to the image are.
void checkOnImage(const std::string& from, const char* name, int value, int maximum) {
    if (value < 0 || value > maximum)
        throw UsageError(from + ": " + name + " " + std::to_string(value) +
                         " is outside the range 0.." + std::to_string(maximum) + " of this image");
}

// The box on this image: the one given, checked against the image, or the middle fifth.
Box boxOn(const Options& o, const LoadedStack& loaded) {
    if (!o.box) return loaded.box;
    const std::int32_t width = loaded.image.ImageWidth, height = loaded.image.ImageHeight;
    if (const std::optional<BoxField> off = offPicture(*o.box, width, height))
        checkOnImage(o.boxFrom, off->name, (*o.box).*off->coordinate,
                     off->horizontal ? width : height);
    return *o.box;
}

// The picture's frames through the display range asked for: --range for 16-bit frames (8-bit
// ones keep their grey), else the stack's own.
LoadedStack loadOn(const Options& o, const QString& path) {
    LoadedStack loaded = loadStack(path);
    if (o.range && loaded.stack.frames.layout() == SampleLayout::Grey16) {
        loaded.stack.range = *o.range;
        loaded.image = frameImage(loaded.stack, 0);
    }
    return loaded;
}

// The pixel size the measurements are stated in: the one given, else the picture's own.
Calibration scaleOn(const Options& o, const PictureStack& stack) {
    return o.scale ? *o.scale : fileScale(stack);
}

// The files of a result are named after `name`: the picture's, or for a frame of a stack
// "NAME-007".
void saveResults(const Options& o, const QString& name, const ContourResult& result,
                 const Measurements& m, GreyImage& image) {
    makeFolder(*o.out);
    for (const ResultFormat format : o.save) {
        // An open chain encloses nothing: it has no mask (run() says so once).
        if (format == ResultFormat::Mask && !result.closed) continue;
        const QImage overlay =
            format == ResultFormat::Overlay ? drawnResult(image, Kontur) : QImage();
        saveFile(outputPath(*o.out, name, format), resultBytes(format, result, m, overlay));
    }
}

struct ImageOutcome {
    int exitCode = 0;
    std::string json;
    std::string error;
    std::vector<MeasurementRow> tableRows; // the image's rows of --table
};

// The values an image's analyses start from: with --threshold auto, its threshold is the
// picture's own.
ControlValues valuesOn(const Options& o, const GreyImage& image) {
    ControlValues values = o.values;
    if (o.thresholdAuto) at(values.fields, Field::Threshold) = otsuThreshold(image);
    return values;
}

// The picture's objects: one per region found, or the saved ones, each box on the picture.
ObjectList objectsOn(const Options& o, const GreyImage& image, const QString& path) {
    ObjectList list;
    if (o.findObjects) {
        const ControlValues base = valuesOn(o, image);
        FindOptions find = o.find;
        find.threshold = at(base.fields, Field::Threshold);
        find.blackOnWhite = base.blackOnWhite;
        for (const Region& region : findRegions(image, find))
            list.add(seedValues(region, base));
        return list;
    }
    // Outlines read without settings get them from their region on this picture.
    for (PictureObject object : placeObjects(*o.objects, image, path.toStdString())) {
        const Box box = boxOf(object.values.fields);
        if (const std::optional<BoxField> off =
                offPicture(box, image.ImageWidth, image.ImageHeight))
            checkOnImage("--objects, object " + std::to_string(object.id) + ", box", off->name,
                         box.*off->coordinate,
                         off->horizontal ? image.ImageWidth : image.ImageHeight);
        list.restore(std::move(object));
    }
    return list;
}

// One picture's list, found or read on it and analysed.
void runObjectsOnPicture(const Options& o, const QString& path, const LoadedStack& loaded,
                         ImageOutcome& outcome) {
    const GreyImage& image = loaded.image;
    const PictureUnits units = pictureUnits(loaded.stack, 0, scaleOn(o, loaded.stack));
    ObjectList list = objectsOn(o, image, path);
    // Read objects are measured as they are, unless --analyse asks; one read without an
    // outline (settings alone) has nothing to measure and is analysed.
    list.analyseAll(image, path.toStdString(), o.threads, {}, [&o](const PictureObject& object) {
        return !o.objects || o.analyse || object.result.contour.empty();
    });
    const std::vector<PictureObject>& objects = list.objects();
    outcome.json = toObjectsJson(objects, image, path, !o.pretty, units).toStdString();
    for (const PictureObject& object : objects) {
        if (!object.error.empty()) outcome.exitCode = 1;
        outcome.tableRows.push_back(
            measurementRow(path.toStdString(), -1, std::to_string(object.id),
                           measureObject(object, image, units), object.result));
    }
    if (!o.saveObjects.empty() || o.saveCtc) makeFolder(*o.out);
    for (const ObjectsFormat format : o.saveObjects)
        saveObjects(format, objectsOutputPath(*o.out, path, format), objects, image, 0, path,
                    units);
    if (o.saveCtc) {
        FramesSave ctc({}, true, *o.out, path, 1);
        ctc.addFrame(0, objects, image, units);
        ctc.finish();
    }
}

// A stack's list: found or read on the first frame, then followed through the frames, a line
// per frame.
void runObjectsOnFrames(const Options& o, const QString& path, const LoadedStack& loaded,
                        ImageOutcome& outcome) {
    const PictureStack& stack = loaded.stack;
    const int frames = stack.frames.frameCount();
    const ObjectList list = objectsOn(o, loaded.image, path);
    const FollowOutcome follow = followObjects(
        list.objects(), [&stack](int frame) { return frameImage(stack, frame); }, 0, frames,
        path.toStdString(), o.threads);
    if (!o.saveObjects.empty() || o.saveCtc) makeFolder(*o.out);
    FramesSave save(o.saveObjects, o.saveCtc, o.out.value_or(QString()), path, frames);
    for (int frame = 0; frame < frames; ++frame) {
        const GreyImage image = frameImage(stack, frame);
        const PictureUnits units = pictureUnits(stack, frame, scaleOn(o, stack));
        const std::vector<PictureObject> objects = objectsOnFrame(follow.tracks, frame);
        outcome.json += toObjectsJson(objects, image, path, true, units, frame).toStdString();
        for (const PictureObject& object : objects) {
            if (!object.error.empty()) outcome.exitCode = 1;
            outcome.tableRows.push_back(
                measurementRow(path.toStdString(), frame, std::to_string(object.id),
                               measureObject(object, image, units), object.result));
        }
        save.addFrame(frame, objects, image, units);
    }
    save.finish();
}

// An image that could not be read or saved: status 2 and the message. Every image gives its
// line, one image as several: a reader of the lines (a job runner that hands out a few images
// at a time) sees each failure in its place.
void failImage(ImageOutcome& outcome, const QString& path, const std::exception& e) {
    outcome.exitCode = 2;
    outcome.error = messageOf(e);
    if (outcome.json.empty())
        outcome.json = errorJson(path, QString::fromStdString(outcome.error)).toStdString();
}

ImageOutcome runObjects(const Options& o, const std::string& file) {
    ImageOutcome outcome;
    const QString path = QString::fromStdString(file);
    try {
        const LoadedStack loaded = loadOn(o, path);
        if (loaded.stack.frames.frameCount() > 1)
            runObjectsOnFrames(o, path, loaded, outcome);
        else
            runObjectsOnPicture(o, path, loaded, outcome);
    } catch (const std::exception& e) {
        failImage(outcome, path, e);
    }
    return outcome;
}

// "NAME-007": the name a frame's result files take after the picture's.
QString frameName(const QString& path, int frame, int frames) {
    return QFileInfo(path).completeBaseName() +
           ctcMaskName(frame, frames).mid(4).chopped(4).prepend(u'-') + QStringLiteral(".x");
}

ImageOutcome runImage(const Options& o, const std::string& file, StepScratch& scratch) {
    ImageOutcome outcome;
    const QString path = QString::fromStdString(file);
    try {
        const LoadedStack loaded = loadOn(o, path);
        const PictureStack& stack = loaded.stack;
        const int frames = stack.frames.frameCount();
        const Box box = boxOn(o, loaded);
        ControlValues values = valuesOn(o, loaded.image);
        setBox(values.fields, box);
        std::optional<ToolRequest> tool;
        if (o.tool) {
            checkOnImage("option --click", "X", o.click->first, loaded.image.ImageWidth);
            checkOnImage("option --click", "Y", o.click->second, loaded.image.ImageHeight);
            tool = ToolRequest{*o.tool, o.click->first, o.click->second};
        }

        // The first frame as a single picture is analysed; each next frame runs on from the
        // contour the one before left, until a floating-point error ends the run.
        const HeadlessOutcome run = analyseHeadless(Kontur, scratch, loaded.image, values, tool);
        std::string error = run.error;
        for (int frame = 0; frame < frames; ++frame) {
            GreyImage image = frameImage(stack, frame);
            if (frame > 0) {
                if (!error.empty()) break;
                const bool blackOnWhite = run.values.blackOnWhite;
                const ImageBindingScope binding(image, blackOnWhite);
                try {
                    runOnNextFrame(Kontur, scratch);
                } catch (const FloatingPointError& e) {
                    error = e.what();
                }
            }
            // The name as decoded, so that the JSON holds valid UTF-8 whatever bytes it came as.
            const RunContext context =
                runContext(path.toStdString(), image.ImageWidth, image.ImageHeight, run.values);
            const ContourResult result = captureResult(Kontur, context, error);
            const Measurements m =
                measureIn(result, {image.GreyData.get(), image.ImageWidth, image.ImageHeight},
                          pictureUnits(stack, frame, scaleOn(o, stack)));
            const int tag = frames > 1 ? frame : -1;
            outcome.json += toJson(result, m, !o.pretty || frames > 1, tag).toStdString();
            outcome.exitCode = error.empty() ? 0 : 1;
            outcome.tableRows.push_back(measurementRow(path.toStdString(), tag, "", m, result));
            if (!o.save.empty())
                saveResults(o, frames > 1 ? frameName(path, frame, frames) : path, result, m,
                            image);
        }
    } catch (const std::exception& e) {
        failImage(outcome, path, e);
    }
    return outcome;
}
} // namespace

std::string usage() {
    return "usage: orvik-cli [options] IMAGE [IMAGE...]\n"
           "  --settings FILE                             model, polarity, box and fields from a "
           "saved Orvik JSON;\n"
           "                                              options after it override it\n"
           "  --model center|standard|balloon|opened      default center\n"
           "  --object black-on-white|white-on-black      default black-on-white\n"
           "  --box X1 Y1 X2 Y2                           default: the middle fifth of the image\n"
           "  --points N --iterations N --inertia N --viscosity N --tension N --rigidity N\n"
           "  --form N --radius N --image N --threshold N --gradient N\n"
           "                                              whole numbers in the window's field "
           "units\n"
           "  --click X Y --tool radius|threshold|object|all\n"
           "                                              run that popup tool at that point "
           "first\n"
           "  --save FORMAT[,FORMAT...] --out DIR         write csv, roi, geojson, json, mask "
           "(not for\n"
           "                                              opened), overlay of each image into "
           "DIR\n"
           "Many objects:\n"
           "  --find-objects                              one object per region on the object's "
           "side of\n"
           "                                              the threshold, seeded for the model\n"
           "  --min-area A --max-area B                   regions kept by their pixel count "
           "(default\n"
           "                                              20 .. a quarter of the picture)\n"
           "  --exclude-edges                             drop regions that touch the border\n"
           "  --threshold auto                            the threshold from each picture (Otsu)\n"
           "  --objects FILE                              the objects of a saved Orvik JSON list, "
           "an\n"
           "                                              ImageJ RoiSet or a GeoJSON "
           "FeatureCollection,\n"
           "                                              measured as read (an outline without "
           "settings\n"
           "                                              gets them from its region)\n"
           "  --analyse                                   analyse the objects of --objects: an "
           "outline\n"
           "                                              from itself, a saved object from its "
           "settings\n"
           "  --threads N                                 worker threads for the objects "
           "(default: every\n"
           "                                              core)\n"
           "  --save roiset,geojson,csv,labels,json,overlay,ctc\n"
           "                                              the formats of the objects, into DIR "
           "(ctc: the\n"
           "                                              Cell Tracking Challenge layout in "
           "DIR/NAME/)\n"
           "  --table FILE.csv                            one measurements table for the whole "
           "run\n"
           "Stacks (TIFF pages, a folder of numbered pictures) give a line per frame:\n"
           "  --range LO HI                               display range of a 16-bit picture "
           "(default:\n"
           "                                              its smallest to largest value)\n"
           "  --pixel-size S --unit U                     the size of a pixel (default: a stack's "
           "or a\n"
           "                                              16-bit picture's from its file)\n"
           "  --pretty                                    indent the result of a single image\n"
           "  --help                                      this text, on standard output\n"
           "Each image's result is one JSON line on standard output (JSON Lines), in the order\n"
           "given; an image that cannot be read gives {\"file\": ..., \"error\": ...}.\n";
}

Outcome run(const std::vector<std::string>& args) {
    Outcome outcome;
    Options options;
    try {
        options = parse(args);
    } catch (const std::exception& e) { // bad arguments or settings: no image is run
        outcome.exitCode = 2;
        outcome.error = messageOf(e) + "\n";
        return outcome;
    }
    if (options.help) {
        outcome.output = usage();
        return outcome;
    }
    if (!isClosed(options.values.model) && std::find(options.save.begin(), options.save.end(),
                                                     ResultFormat::Mask) != options.save.end())
        outcome.error = "note: no mask is written for the model opened: an open chain encloses "
                        "no pixels\n";

    // One scratch for the steps of every image, made once.
    StepScratch scratch;
    std::vector<MeasurementRow> table;
    for (const std::string& file : options.images) {
        const ImageOutcome image =
            options.listMode() ? runObjects(options, file) : runImage(options, file, scratch);
        outcome.exitCode = std::max(outcome.exitCode, image.exitCode);
        outcome.output += image.json;
        table.insert(table.end(), image.tableRows.begin(), image.tableRows.end());
        if (!image.error.empty()) outcome.error += image.error + "\n";
    }
    if (options.table) {
        try {
            // "file,[frame,]id,": the frame column when any picture of the run has frames.
            const bool frames = std::any_of(table.begin(), table.end(),
                                            [](const MeasurementRow& r) { return r.frame >= 0; });
            saveFile(*options.table, bytesOf(measurementTable(table, {true, frames, {}})));
        } catch (const std::exception& e) {
            outcome.exitCode = 2;
            outcome.error += messageOf(e) + "\n";
        }
    }
    return outcome;
}

} // namespace orvik::cli
