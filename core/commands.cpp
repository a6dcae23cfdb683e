// The commands shared by the window and orvik-cli.
#include "core/commands.h"

#include "checked_float.h"
#include "core/parameter_tools.h"
#include "render/raster_canvas.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace orvik {

namespace {

// Which controls each model allows, one row per model.
struct ModelRow {
    ModelChoice model;
    ModelControls controls;
};

constexpr ModelRow kModelRows[] = {
    //                         form/radius polarity setRadius setObject setThreshold
    {ModelChoice::CenterPoint, {true, true, true, true, true}},
    {ModelChoice::Standard, {true, true, true, true, true}},
    {ModelChoice::Balloon, {false, true, false, true, true}},
    {ModelChoice::Opened, {false, false, false, false, true}},
};

} // namespace

ModelControls modelControls(ModelChoice model) {
    for (const ModelRow& row : kModelRows)
        if (row.model == model) return row.controls;
    return kModelRows[0].controls;
}

bool toolAllowed(ModelChoice model, Tool tool) {
    const ModelControls controls = modelControls(model);
    switch (tool) {
    case Tool::Radius:
        return controls.setRadius;
    case Tool::Threshold:
        return controls.setThreshold;
    case Tool::Object:
        return controls.setObject;
    case Tool::All:
        break;
    }
    return true;
}

LoadedImage loadImage(const QString& path) {
    LoadedImage loaded{loadGreyImage(path), {}};
    loaded.box = middleFifth(loaded.image.ImageWidth, loaded.image.ImageHeight);
    return loaded;
}

LoadedStack loadStack(const QString& path, DisplayBitmap display) {
    LoadedStack loaded{loadPictureStack(path), {}, {}};
    loaded.image = frameImage(
        loaded.stack, 0, greyMapping(loaded.stack.range, loaded.stack.frames.layout()), display);
    loaded.box = middleFifth(loaded.image.ImageWidth, loaded.image.ImageHeight);
    return loaded;
}

void previewContour(KONTUR& k, const ControlValues& values) {
    applyInit(k, geometryArguments(values));
}

std::int32_t progressMaximum(std::int32_t iterations) {
    return iterations / StepsPerProgressStep;
}

void analyseContour(KONTUR& k, StepScratch& scratch, const ControlValues& values,
                    const std::function<void(std::int32_t)>& beforeRun) {
    const InitArguments arguments = analysisArguments(values);
    applyInit(k, arguments);
    if (beforeRun) beforeRun(progressMaximum(arguments.iterations));
    Run(k, scratch);
}

std::vector<ContourPoint> sampleOutline(const std::vector<ContourPoint>& outline, int count,
                                        bool closed) {
    const std::size_t n = outline.size();
    if (n < 2 || count < (closed ? 1 : 2)) return {};
    // The length up to each vertex, and for a ring back to the first.
    const std::size_t sides = closed ? n : n - 1;
    std::vector<double> reach(sides + 1, 0.0);
    for (std::size_t i = 0; i < sides; ++i) {
        const ContourPoint& a = outline[i];
        const ContourPoint& b = outline[(i + 1) % n];
        reach[i + 1] = reach[i] + std::hypot(b.x - a.x, b.y - a.y);
    }
    const double length = reach.back();
    if (!(length > 0) || !std::isfinite(length)) return {};
    const double step = length / (closed ? count : count - 1);
    std::vector<ContourPoint> points;
    std::size_t side = 0;
    for (int i = 0; i < count; ++i) {
        const double at = std::min(i * step, length);
        while (side + 1 < sides && reach[side + 1] < at)
            ++side;
        const ContourPoint& a = outline[side];
        const ContourPoint& b = outline[(side + 1) % n];
        const double span = reach[side + 1] - reach[side];
        const double t = span > 0 ? std::clamp((at - reach[side]) / span, 0.0, 1.0) : 0.0;
        points.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
    }
    if (!closed) points.back() = outline.back();
    return points;
}

void analyseFromOutline(KONTUR& k, StepScratch& scratch, const ControlValues& values,
                        const std::vector<ContourPoint>& outline) {
    const InitArguments arguments = analysisArguments(values);
    std::vector<ContourPoint> points =
        values.model == ModelChoice::CenterPoint
            ? std::vector<ContourPoint>{}
            : sampleOutline(outline, arguments.pointCount, isClosed(values.model));
    if (points.empty()) {
        analyseContour(k, scratch, values);
        return;
    }
    if (isClosed(values.model)) {
        // Init lays its ring with a negative shoelace sum in picture coordinates (y down):
        // from the bottom towards the right. The forces read the turn of the ring, so the
        // outline takes the same one.
        double twiceArea = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const ContourPoint& a = points[i];
            const ContourPoint& b = points[(i + 1) % points.size()];
            twiceArea += a.x * b.y - b.x * a.y;
        }
        if (twiceArea > 0) std::reverse(points.begin() + 1, points.end());
    }
    applyInit(k, arguments);
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        const float x = static_cast<float>(points[std::size_t(i)].x);
        const float y = static_cast<float>(points[std::size_t(i)].y);
        for (const std::int32_t level : {0, 1}) {
            pointX(k, i, level) = x;
            pointY(k, i, level) = y;
        }
    }
    Run(k, scratch);
}

QImage drawnResult(GreyImage& image, const KONTUR& k) {
    // A store made without a window has no display bitmap until a drawing needs one.
    if (image.Display.isNull() && image.GreyData)
        image.Display = QImage(image.ImageWidth, image.ImageHeight, QImage::Format_BGR888);
    refreshDisplay(image);
    QImage& display = image.Display;
    RasterCanvas canvas(
        PixelView{display.bits(), display.width(), display.height(), display.bytesPerLine()});
    try {
        Draw(k, canvas);
    } catch (const FloatingPointError&) {
        // A diverged contour: what was drawn before the failing vertex stays.
    }
    return display;
}

void runTool(Tool tool, const ToolScene& scene, std::int32_t& clickX, std::int32_t& clickY,
             const ToolTarget& target) {
    const bool all = tool == Tool::All;
    if (tool == Tool::Radius || (all && toolAllowed(scene.model, Tool::Radius))) {
        const FieldInfo& radius = fieldInfo(Field::Radius);
        target.setRadius(clampToField(radiusFromClick(scene.box, clickX, clickY), radius.minimum,
                                      radius.maximum));
    }
    if (tool == Tool::Threshold || (all && toolAllowed(scene.model, Tool::Threshold))) {
        if (const std::optional<int> threshold =
                thresholdFromClick(clickX, clickY, scene.imageWidth, scene.imageHeight))
            target.setThreshold(*threshold);
    }
    if (tool == Tool::Object || (all && toolAllowed(scene.model, Tool::Object))) {
        if (const std::optional<bool> blackOnWhite =
                blackOnWhiteFromClick(clickX, clickY, scene.imageWidth, scene.imageHeight,
                                      scene.box, scene.model == ModelChoice::Opened))
            target.setBlackOnWhite(*blackOnWhite);
    }
}

HeadlessOutcome analyseHeadless(KONTUR& k, StepScratch& scratch, const GreyImage& image,
                                const ControlValues& values,
                                const std::optional<ToolRequest>& tool) {
    HeadlessOutcome outcome{values, {}};
    ControlValues& v = outcome.values;
    // The engine reads the polarity at every sample, so a tool's change is seen at once.
    bool blackOnWhite = v.blackOnWhite;
    const ImageBindingScope binding(image, blackOnWhite);
    k = KONTUR{};
    try {
        if (tool) {
            const Box box = boxOf(v.fields);
            std::int32_t clickX = tool->x, clickY = tool->y;
            const ToolTarget target{
                [&](int radius) { at(v.fields, Field::Radius) = radius; },
                [&](int threshold) { at(v.fields, Field::Threshold) = threshold; },
                [&](bool black) { v.blackOnWhite = blackOnWhite = black; },
            };
            runTool(tool->tool, {v.model, box, image.ImageWidth, image.ImageHeight}, clickX, clickY,
                    target);
        }
        analyseContour(k, scratch, v);
    } catch (const FloatingPointError& e) {
        outcome.error = e.what();
    }
    return outcome;
}

} // namespace orvik
