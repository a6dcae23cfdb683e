// orvik-cli's argument parsing, analysis and JSON output.
#include "cli.h"

#include "checked_float.h"
#include "field_table.h"
#include "grey_image.h"
#include "init_arguments.h"
#include "kontur.h"
#include "parameter_tools.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>

namespace orvik::cli {

namespace {

// A bad command line or an unreadable image: exit status 2 with this message.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Tool { Radius, Threshold, Object, All };

struct Options {
    ModelChoice model = ModelChoice::CenterPoint;
    bool blackOnWhite = true;
    std::optional<Box> box;
    FieldValues fields = defaultFieldValues();
    bool fieldGiven[FieldCount] = {};
    std::optional<std::pair<int, int>> click;
    std::optional<Tool> tool;
    std::string image;
};

// The message text the window's error box shows: a full stop is added when the text
// ends in a character above '.', such as a letter or a digit.
std::string withFullStop(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
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

const char* modelName(ModelChoice model) {
    switch (model) {
    case ModelChoice::Standard:
        return "standard";
    case ModelChoice::Balloon:
        return "balloon";
    case ModelChoice::Opened:
        return "opened";
    case ModelChoice::CenterPoint:
        break;
    }
    return "center";
}

Options parse(const std::vector<std::string>& args) {
    Options o;
    std::size_t i = 0;
    const auto next = [&](const std::string& option) -> const std::string& {
        if (i + 1 >= args.size()) throw UsageError("option " + option + " needs a value");
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--model") {
            const std::string& v = next(a);
            if (v == "center")
                o.model = ModelChoice::CenterPoint;
            else if (v == "standard")
                o.model = ModelChoice::Standard;
            else if (v == "balloon")
                o.model = ModelChoice::Balloon;
            else if (v == "opened")
                o.model = ModelChoice::Opened;
            else
                throw UsageError("option --model: \"" + v +
                                 "\" is not one of center, standard, balloon, opened");
        } else if (a == "--object") {
            const std::string& v = next(a);
            if (v == "black-on-white")
                o.blackOnWhite = true;
            else if (v == "white-on-black")
                o.blackOnWhite = false;
            else
                throw UsageError("option --object: \"" + v +
                                 "\" is not one of black-on-white, white-on-black");
        } else if (a == "--box") {
            Box b;
            b.x1 = parseWhole(a, next(a));
            b.y1 = parseWhole(a, next(a));
            b.x2 = parseWhole(a, next(a));
            b.y2 = parseWhole(a, next(a));
            o.box = b;
        } else if (a == "--click") {
            const int x = parseWhole(a, next(a));
            const int y = parseWhole(a, next(a));
            o.click = {x, y};
        } else if (a == "--tool") {
            const std::string& v = next(a);
            if (v == "radius")
                o.tool = Tool::Radius;
            else if (v == "threshold")
                o.tool = Tool::Threshold;
            else if (v == "object")
                o.tool = Tool::Object;
            else if (v == "all")
                o.tool = Tool::All;
            else
                throw UsageError("option --tool: \"" + v +
                                 "\" is not one of radius, threshold, object, all");
        } else if (a == "--help" || a == "-h") {
            throw UsageError(usage());
        } else if (a.rfind("--", 0) == 0) {
            bool known = false;
            for (const FieldInfo& entry : fieldTable()) {
                if (entry.field == Field::X1 || entry.field == Field::Y1 ||
                    entry.field == Field::X2 || entry.field == Field::Y2 ||
                    a != "--" + std::string(entry.key))
                    continue;
                const int value = parseWhole(a, next(a));
                checkRange(a, value, entry.minimum, entry.maximum);
                at(o.fields, entry.field) = value;
                known = true;
            }
            if (!known) throw UsageError("unknown option " + a);
        } else if (o.image.empty()) {
            o.image = a;
        } else {
            throw UsageError("more than one image given: " + a);
        }
    }
    if (o.image.empty()) throw UsageError("no image given\n" + usage());
    if (o.click.has_value() != o.tool.has_value())
        throw UsageError("--click and --tool go together");
    if (o.tool) {
        const bool closedWithShape =
            o.model == ModelChoice::CenterPoint || o.model == ModelChoice::Standard;
        if (*o.tool == Tool::Radius && !closedWithShape)
            throw UsageError("the radius tool is not available with the model " +
                             std::string(modelName(o.model)));
        if (*o.tool == Tool::Object && o.model == ModelChoice::Opened)
            throw UsageError("the object tool is not available with the model opened");
    }
    return o;
}

// Records the vertices Draw passes, move-to first.
class VertexRecorder final : public ContourCanvas {
public:
    void SelectRedPen() override {}
    void RestorePen() override {}
    void MoveTo(std::int32_t x, std::int32_t y) override { vertices.emplace_back(x, y); }
    void LineTo(std::int32_t x, std::int32_t y) override { vertices.emplace_back(x, y); }
    std::vector<std::pair<std::int32_t, std::int32_t>> vertices;
};

std::string number(float v) {
    if (!std::isfinite(v)) return "null";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(v));
    return buffer;
}

std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string describe(const Options& o, const GreyImage& image, const Box& box,
                     const FieldValues& fields, bool blackOnWhite, const KONTUR& k,
                     const std::vector<std::pair<std::int32_t, std::int32_t>>& vertices,
                     const std::string* error) {
    std::string json = "{\"width\": " + std::to_string(image.ImageWidth) +
                       ", \"height\": " + std::to_string(image.ImageHeight) + ", \"box\": [" +
                       std::to_string(box.x1) + ", " + std::to_string(box.y1) + ", " +
                       std::to_string(box.x2) + ", " + std::to_string(box.y2) + "]" +
                       ", \"model\": \"" + modelName(o.model) + "\", \"object\": \"" +
                       (blackOnWhite ? "black-on-white" : "white-on-black") + "\",\n \"fields\": {";
    bool first = true;
    for (const FieldInfo& entry : fieldTable()) {
        json += std::string(first ? "" : ", ") + "\"" + entry.key +
                "\": " + std::to_string(at(fields, entry.field));
        first = false;
    }
    json += "},\n \"iteration\": " + std::to_string(k.Iteration) +
            ", \"energy\": " + number(k.Energy) + ",\n \"points\": [";
    const int level = k.Iteration & 1;
    for (std::int32_t i = 0; k.Points && i < k.PointCount; ++i) {
        json += i ? ", [" : "[";
        json += number(pointX(k, i, level));
        if (k.ModelKind != 1) json += ", " + number(pointY(k, i, level));
        json += "]";
    }
    json += "],\n \"vertices\": [";
    for (std::size_t i = 0; i < vertices.size(); ++i)
        json += (i ? ", [" : "[") + std::to_string(vertices[i].first) + ", " +
                std::to_string(vertices[i].second) + "]";
    json += "],\n \"error\": " + (error ? quoted(*error) : std::string("null")) + "}\n";
    return json;
}

} // namespace

std::string usage() {
    return "usage: orvik-cli [options] IMAGE\n"
           "  --model center|standard|balloon|opened      default center\n"
           "  --object black-on-white|white-on-black      default black-on-white\n"
           "  --box X1 Y1 X2 Y2                           default: the middle fifth of the image\n"
           "  --points N --iterations N --inertia N --viscosity N --tension N --rigidity N\n"
           "  --form N --radius N --image N --threshold N --gradient N\n"
           "                                              whole numbers in the window's field "
           "units\n"
           "  --click X Y --tool radius|threshold|object|all\n"
           "                                              run that popup tool at that point "
           "first\n";
}

Outcome run(const std::vector<std::string>& args) {
    Outcome outcome;
    Options options;
    GreyImage image;
    try {
        options = parse(args);
        image = loadGreyImage(QString::fromStdString(options.image));
    } catch (const UsageError& e) {
        outcome.exitCode = 2;
        outcome.error = std::string(e.what()) + "\n";
        return outcome;
    } catch (const ImageLoadError& e) {
        outcome.exitCode = 2;
        outcome.error = withFullStop(e.what()) + "\n";
        return outcome;
    }

    // The box fields take the image's size as their maxima, as after a load in the window.
    Box box = middleFifth(image.ImageWidth, image.ImageHeight);
    if (options.box) {
        try {
            checkRange("--box X1", options.box->x1, 0, image.ImageWidth);
            checkRange("--box Y1", options.box->y1, 0, image.ImageHeight);
            checkRange("--box X2", options.box->x2, 0, image.ImageWidth);
            checkRange("--box Y2", options.box->y2, 0, image.ImageHeight);
        } catch (const UsageError& e) {
            outcome.exitCode = 2;
            outcome.error = std::string(e.what()) + "\n";
            return outcome;
        }
        box = *options.box;
    }

    ControlValues values;
    values.fields = options.fields;
    at(values.fields, Field::X1) = box.x1;
    at(values.fields, Field::Y1) = box.y1;
    at(values.fields, Field::X2) = box.x2;
    at(values.fields, Field::Y2) = box.y2;
    values.model = options.model;
    values.blackOnWhite = options.blackOnWhite;

    // The engine samples this image and polarity for as long as the command runs.
    bool blackOnWhite = options.blackOnWhite;
    BindImage({&image.GreyData, &image.ImageWidth, &image.ImageHeight, &blackOnWhite});
    struct Unbind {
        ~Unbind() { BindImage({}); }
    } unbind;

    // Each command starts from the contour model as it is at process start.
    KONTUR& k = Kontur;
    k = KONTUR{};
    VertexRecorder recorder;
    std::string error;
    try {
        if (options.tool) {
            std::int32_t clickX = options.click->first, clickY = options.click->second;
            const bool opened = options.model == ModelChoice::Opened;
            const bool radiusApplies =
                options.model == ModelChoice::CenterPoint || options.model == ModelChoice::Standard;
            const Tool tool = *options.tool;
            if (tool == Tool::Radius || (tool == Tool::All && radiusApplies)) {
                const FieldInfo& entry = fieldInfo(Field::Radius);
                at(values.fields, Field::Radius) = clampToField(
                    radiusFromClick(box, clickX, clickY), entry.minimum, entry.maximum);
            }
            if (tool == Tool::Threshold || tool == Tool::All) {
                if (const auto t =
                        thresholdFromClick(clickX, clickY, image.ImageWidth, image.ImageHeight))
                    at(values.fields, Field::Threshold) = *t;
            }
            if (tool == Tool::Object || (tool == Tool::All && !opened)) {
                if (const auto bw = blackOnWhiteFromClick(clickX, clickY, image.ImageWidth,
                                                          image.ImageHeight, box, opened)) {
                    values.blackOnWhite = *bw;
                    blackOnWhite = *bw;
                }
            }
        }
        applyInit(k, analysisArguments(values));
        Run(k);
        Draw(k, recorder);
    } catch (const FloatingPointError& e) {
        error = e.what();
        outcome.exitCode = 1;
        // Show the contour as far as it got, like the window's model after the error.
        if (k.ModelKind != 0) {
            recorder.vertices.clear();
            try {
                Draw(k, recorder);
            } catch (const FloatingPointError&) {
                // A diverged contour cannot be drawn whole; keep the vertices it reached.
            }
        }
    }
    outcome.output = describe(options, image, box, values.fields, values.blackOnWhite, k,
                              recorder.vertices, outcome.exitCode == 1 ? &error : nullptr);
    return outcome;
}

} // namespace orvik::cli
