// The commands shared by the window and orvik-cli.
#include "core/commands.h"

#include "checked_float.h"
#include "core/parameter_tools.h"
#include "render/raster_canvas.h"

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

LoadedStack loadStack(const QString& path) {
    LoadedStack loaded{loadPictureStack(path), {}, {}};
    loaded.image = frameImage(loaded.stack, 0);
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

QImage drawnResult(GreyImage& image, const KONTUR& k) {
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
