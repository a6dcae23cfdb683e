// orvik-cli's argument parsing, and the run of each image through the session commands.
#include "cli.h"

#include "commands.h"
#include "field_table.h"
#include "formats.h"
#include "full_stop.h"
#include "measurements.h"
#include "result.h"
#include "settings.h"

#include <QFile>
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <stdexcept>
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
    std::vector<ResultFormat> save;
    std::optional<QString> out;
    std::vector<std::string> images;
    bool pretty = false; // --pretty: the one image's result indented over several lines
    bool help = false;   // --help: the usage on standard output, nothing run
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

std::vector<ResultFormat> parseFormats(const std::string& option, const std::string& text) {
    std::vector<ResultFormat> formats;
    for (const QString& key : QString::fromStdString(text).split(u',')) {
        const std::optional<ResultFormat> format = formatFromKey(key.trimmed());
        if (!format) {
            std::string names;
            for (const ResultFormatInfo& info : resultFormats())
                names += std::string(names.empty() ? "" : ", ") + info.key;
            throw UsageError("option " + option + ": \"" + key.toStdString() + "\" is not one of " +
                             names);
        }
        if (std::find(formats.begin(), formats.end(), *format) == formats.end())
            formats.push_back(*format);
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

void parseOption(const std::string& a, Arguments& in, Options& o) {
    if (a == "--settings") {
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
        o.save = parseFormats(a, in.value(a));
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
    } else {
        throw UsageError("unknown option " + a);
    }
}

// What no single option can check.
void checkCombination(const Options& o) {
    if (o.images.empty()) throw UsageError("no image given\n" + usage());
    if (o.click.has_value() != o.tool.has_value())
        throw UsageError("--click and --tool go together");
    if (o.tool && !toolAllowed(o.values.model, *o.tool))
        throw UsageError(std::string("the ") + nameOf(*o.tool, kTools) +
                         " tool is not available with the model " + modelKey(o.values.model));
    if (o.save.empty() != !o.out.has_value()) throw UsageError("--save and --out go together");
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
Box boxOn(const Options& o, const LoadedImage& loaded) {
    if (!o.box) return loaded.box;
    const std::int32_t width = loaded.image.ImageWidth, height = loaded.image.ImageHeight;
    if (const std::optional<BoxField> off = offPicture(*o.box, width, height))
        checkOnImage(o.boxFrom, off->name, (*o.box).*off->coordinate,
                     off->horizontal ? width : height);
    return *o.box;
}

// DIR, created with its parents when missing; the error says why it could not be.
void makeFolder(const QString& folder) {
    std::error_code error;
    std::filesystem::create_directories(
        std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (error)
        throw ResultFileError("Cannot create the folder \"" + folder.toStdString() +
                              "\": " + error.message());
}

void saveResults(const Options& o, const ContourResult& result, const Measurements& m,
                 GreyImage& image) {
    makeFolder(*o.out);
    for (const ResultFormat format : o.save) {
        // An open chain encloses nothing: it has no mask (run() says so once).
        if (format == ResultFormat::Mask && !result.closed) continue;
        const QImage overlay =
            format == ResultFormat::Overlay ? drawnResult(image, Kontur) : QImage();
        saveFile(outputPath(*o.out, QString::fromStdString(result.context.imageFile), format),
                 resultBytes(format, result, m, overlay));
    }
}

struct ImageOutcome {
    int exitCode = 0;
    std::string json;
    std::string error;
};

ImageOutcome runImage(const Options& o, const std::string& file, StepScratch& scratch) {
    ImageOutcome outcome;
    const QString path = QString::fromStdString(file);
    try {
        LoadedImage loaded = loadImage(path);
        const Box box = boxOn(o, loaded);
        ControlValues values = o.values;
        setBox(values.fields, box);
        std::optional<ToolRequest> tool;
        if (o.tool) {
            checkOnImage("option --click", "X", o.click->first, loaded.image.ImageWidth);
            checkOnImage("option --click", "Y", o.click->second, loaded.image.ImageHeight);
            tool = ToolRequest{*o.tool, o.click->first, o.click->second};
        }

        const HeadlessOutcome run = analyseHeadless(Kontur, scratch, loaded.image, values, tool);
        const GreyImage& image = loaded.image;
        // The name as decoded, so that the JSON holds valid UTF-8 whatever bytes it came as.
        const RunContext context =
            runContext(path.toStdString(), image.ImageWidth, image.ImageHeight, run.values);
        const ContourResult result = captureResult(Kontur, context, run.error);
        const Measurements m =
            measure(result, {image.GreyData.get(), image.ImageWidth, image.ImageHeight});
        outcome.json = toJson(result, m, !o.pretty).toStdString();
        outcome.exitCode = run.error.empty() ? 0 : 1;
        if (!o.save.empty()) saveResults(o, result, m, loaded.image);
    } catch (const std::exception& e) {
        outcome.exitCode = 2;
        outcome.error = messageOf(e);
        // Every image gives its line, one image as several: a reader of the lines (a job
        // runner that hands out a few images at a time) sees each failure in its place.
        if (outcome.json.empty())
            outcome.json = errorJson(path, QString::fromStdString(outcome.error)).toStdString();
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
    for (const std::string& file : options.images) {
        const ImageOutcome image = runImage(options, file, scratch);
        outcome.exitCode = std::max(outcome.exitCode, image.exitCode);
        outcome.output += image.json;
        if (!image.error.empty()) outcome.error += image.error + "\n";
    }
    return outcome;
}

} // namespace orvik::cli
