// Reading orvik-cli's command line into its options, and the usage text.
#include "options.h"

#include "core/field_table.h"
#include "core/full_stop.h"
#include "core/result.h"
#include "io/format_table.h"
#include "io/settings.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orvik::cli {

namespace {

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
// The polarity of --object: "auto" (no value here) is resolved on each picture.
constexpr Choice<std::optional<bool>> kPolarities[] = {
    {"auto", std::nullopt}, {"black-on-white", true}, {"white-on-black", false}};
constexpr Choice<Channel> kChannels[] = {{"grey", Channel::Grey},
                                         {"red", Channel::Red},
                                         {"green", Channel::Green},
                                         {"blue", Channel::Blue}};
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

// `orElse` names what else the option accepts: ", auto or local[:RADIUS]".
int parseWhole(const std::string& option, const std::string& text, const char* orElse = "") {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size())
        throw UsageError("option " + option + ": \"" + text + "\" is not a whole number" + orElse);
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
    if (settings.blackOnWhite) o.autoPolarity = false;
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
    } else if (a == "--split") {
        o.find.split = true;
    } else if (a == "--no-split") {
        o.find.split = false;
    } else if (a == "--drop-flagged") {
        o.dropFlagged = true;
    } else if (a == "--channel") {
        o.channel = choose(a, in.value(a), kChannels);
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
        if (std::any_of(o.unit->cbegin(), o.unit->cend(),
                        [](QChar c) { return c.category() == QChar::Other_Control; }))
            throw UsageError("option --unit: the unit holds a control character");
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
        o.find.localThreshold = false;
    } else if (a == "--threshold" && !in.done() && in.peek().rfind("local", 0) == 0) {
        const std::string rule = in.value(a);
        o.find.localThreshold = true;
        o.thresholdAuto = false;
        o.find.localRadius = DefaultLocalRadius;
        if (rule != "local") {
            if (rule.rfind("local:", 0) != 0)
                throw UsageError("option --threshold: \"" + rule +
                                 "\" is not a whole number, auto or local[:RADIUS]");
            o.find.localRadius = parseWhole(a, rule.substr(6), "");
            checkRange("--threshold local:RADIUS", o.find.localRadius, MinLocalRadius,
                       MaxLocalRadius);
        }
    } else if (a == "--settings") {
        applySettingsFile(in.value(a), o);
    } else if (a == "--model") {
        o.values.model = choose(a, in.value(a), kModels);
    } else if (a == "--object") {
        const std::optional<bool> polarity = choose(a, in.value(a), kPolarities);
        o.autoPolarity = !polarity.has_value();
        if (polarity) o.values.blackOnWhite = *polarity;
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
        // The threshold also takes "auto" and "local" (taken above).
        const int value = parseWhole(
            a, in.value(a), entry->field == Field::Threshold ? ", auto or local[:RADIUS]" : "");
        checkRange(a, value, entry->minimum, entry->maximum);
        at(o.values.fields, entry->field) = value;
        if (entry->field == Field::Threshold) o.thresholdAuto = o.find.localThreshold = false;
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
    if (o.autoPolarity.value_or(false) && !o.findObjects)
        throw UsageError("--object auto takes the objects of --find-objects: a single contour "
                         "needs black-on-white or white-on-black");
    if ((o.find.localThreshold || o.find.split) && !o.findObjects)
        throw UsageError(std::string(o.find.split ? "--split" : "--threshold local") +
                         " takes the objects of --find-objects: a single contour has its box");
    if (o.dropFlagged && !o.findObjects)
        throw UsageError("--drop-flagged takes the objects of --find-objects");
    if (o.find.maxArea > 0 && o.find.minArea > o.find.maxArea)
        throw UsageError("--min-area " + std::to_string(o.find.minArea) + " is above --max-area " +
                         std::to_string(o.find.maxArea));
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

} // namespace

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

std::string messageOf(const std::exception& e) {
    if (dynamic_cast<const UsageError*>(&e)) return e.what();
    return withFullStop(std::string(e.what()));
}

void checkOnImage(const std::string& from, const char* name, int value, int maximum) {
    if (value < 0 || value > maximum)
        throw UsageError(from + ": " + name + " " + std::to_string(value) +
                         " is outside the range 0.." + std::to_string(maximum) + " of this image");
}

// The box on this image: the one given, checked against the image, or the middle fifth.

std::string usage() {
    return "usage: orvik-cli [options] IMAGE [IMAGE...]\n"
           "  --settings FILE                             model, polarity, box and fields from a "
           "saved Orvik JSON;\n"
           "                                              options after it override it\n"
           "  --model center|standard|balloon|opened      default center\n"
           "  --object black-on-white|white-on-black      default black-on-white (for auto see "
           "below)\n"
           "  --channel grey|red|green|blue               the grey of a colour picture from one "
           "channel\n"
           "                                              (default grey)\n"
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
           "  --drop-flagged                              drop objects whose analysis failed or "
           "whose\n"
           "                                              measurements are flagged\n"
           "  --object auto                               the default with --find-objects: on "
           "each picture\n"
           "                                              the side of the threshold its border "
           "mostly is\n"
           "                                              not (border even: the smaller side)\n"
           "  --threshold auto                            the threshold from each picture (Otsu)\n"
           "  --threshold local[:R]                       with --find-objects: each pixel against "
           "its\n"
           "                                              background within R pixels (default "
           "50),\n"
           "                                              for unevenly lit pictures\n"
           "  --split, --no-split                         cut regions of touching objects apart "
           "along\n"
           "                                              the valleys of their distance map "
           "(default off)\n"
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
           "settings,\n"
           "                                              an edited one relaxed with its pins "
           "held\n"
           "  --threads N                                 worker threads for the objects "
           "and for finding\n"
           "                                              them on a large picture (default: "
           "every core);\n"
           "                                              with two or more, a stack's next "
           "frame is read\n"
           "                                              on one more\n"
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

} // namespace orvik::cli
