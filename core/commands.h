// The commands the window and orvik-cli both run: loading a picture with its starting box,
// the preview and the analysis of a contour, the popup tools and which controls each model
// allows. Widget-free: the window reads its controls into ControlValues and shows what
// these leave in the contour model.
#pragma once

#include "core/field_table.h"
#include "core/init_arguments.h"
#include "core/result.h"
#include "grey_image.h"
#include "kontur.h"
#include "picture_stack.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

// ---- which controls each model allows ----

enum class Tool { Radius, Threshold, Object, All };

struct ModelControls {
    bool formAndRadius; // the Form and Radius fields
    bool polarity;      // "Black on white", "White on black"
    bool setRadius;     // the popup tools
    bool setObject;
    bool setThreshold;
};
ModelControls modelControls(ModelChoice model);

// Whether the window offers `tool` for `model`; "Set them all" is always offered and runs
// the tools the model allows.
bool toolAllowed(ModelChoice model, Tool tool);

// Binds the calling thread's sampling to `image` with the polarity `blackOnWhite` refers
// to, for as long as it lives.
class ImageBindingScope {
public:
    ImageBindingScope(const GreyImage& image, const bool& blackOnWhite) {
        BindImage({&image.GreyData, &image.ImageWidth, &image.ImageHeight, &blackOnWhite});
    }
    ~ImageBindingScope() { BindImage({}); }
    ImageBindingScope(const ImageBindingScope&) = delete;
    ImageBindingScope& operator=(const ImageBindingScope&) = delete;
};

// ---- load ----

// A freshly read picture and the box a load starts with: the middle fifth.
struct LoadedImage {
    GreyImage image;
    Box box;
};

// Throws ImageLoadError and changes nothing when the file cannot be read.
LoadedImage loadImage(const QString& path);

// A picture's frames (a TIFF file's pages, or a folder's numbered pictures), the grey image of
// its first frame through the stack's display range, and the middle-fifth box. Another frame
// or another range is frameImage(stack, k) after setting stack.range.
struct LoadedStack {
    PictureStack stack;
    GreyImage image;
    Box box;
};

// Throws ImageLoadError and changes nothing when the file or folder cannot be read. Without a
// window the first frame's store need not have the display bitmap.
LoadedStack loadStack(const QString& path, DisplayBitmap display = DisplayBitmap::Made);

// ---- contour ----

// The initial contour of the selected model in the box, with the point count; the weights
// are left at zero, since nothing reads them before the next analysis.
void previewContour(KONTUR& k, const ControlValues& values);

// The progress bar's maximum for an analysis of `iterations` steps.
std::int32_t progressMaximum(std::int32_t iterations);

// Init with all sixteen arguments, then Run with `scratch`. `beforeRun` gets the progress
// bar's maximum once Init has succeeded. A floating-point error of Run leaves the model where
// the failing step left it and propagates.
void analyseContour(KONTUR& k, StepScratch& scratch, const ControlValues& values,
                    const std::function<void(std::int32_t progressMaximum)>& beforeRun = {});

// `count` points at equal arc-length steps along `outline`: round a closed ring from its
// first point (which is kept), or along an open chain from its first point to its last (both
// kept). Empty for an outline without length or a count below 1 (2 for a chain).
std::vector<ContourPoint> sampleOutline(const std::vector<ContourPoint>& outline, int count,
                                        bool closed);

// An analysis that starts from an outline rather than from the box: Init with all sixteen
// arguments, then both levels of the point buffer get the outline sampled at the Points
// field's count (a ring turned the way Init lays its ellipse), then Run. For "Standard",
// "Balloon" and "Opened"; "Center point", whose points are radii, and an outline that cannot
// be sampled run as analyseContour does. Errors as analyseContour.
void analyseFromOutline(KONTUR& k, StepScratch& scratch, const ControlValues& values,
                        const std::vector<ContourPoint>& outline);

// The display picture as the window shows it after an analysis: `image`'s display is
// refreshed from its grey buffer and the contour of `k` drawn on it in red. A contour that
// cannot be drawn whole keeps the part drawn before the failing vertex.
QImage drawnResult(GreyImage& image, const KONTUR& k);

// ---- popup tools ----

// Where the tools put what they derive. The window sets its controls (whose change events
// follow); orvik-cli sets its values.
struct ToolTarget {
    std::function<void(int radius)> setRadius;       // already held to the Radius range
    std::function<void(int threshold)> setThreshold; // within the Threshold range
    std::function<void(bool blackOnWhite)> setBlackOnWhite;
};

// What the tools read besides the click.
struct ToolScene {
    ModelChoice model;
    Box box;
    std::int32_t imageWidth;
    std::int32_t imageHeight;
};

// Runs one tool at the clicked point, or for Tool::All each tool the model allows in the
// window's order (radius, threshold, object). The window tools move the click inward and
// store it back, as the window keeps the moved point. Each value reaches the target as soon
// as it is known, so when "Set object" fails (a click at the box centre) the radius and the
// threshold are set already.
void runTool(Tool tool, const ToolScene& scene, std::int32_t& clickX, std::int32_t& clickY,
             const ToolTarget& target);

// ---- the whole headless command ----

struct ToolRequest {
    Tool tool;
    std::int32_t x;
    std::int32_t y;
};

// What a headless analysis leaves besides the contour model.
struct HeadlessOutcome {
    ControlValues values; // after the tool
    std::string error;    // a floating-point error's text; empty when the analysis finished
};

// What "Load Image", a popup tool and "Analysis" do in the window, on `image`: the contour
// model starts from its state at process start, the engine samples `image` with the
// polarity of `values` (as a tool changes it), the tool runs, then the analysis. The
// box is in `values`. A floating-point error of the tool or the analysis is returned, not
// thrown, and `k` keeps what the failing step left. The steps run with `scratch`.
HeadlessOutcome analyseHeadless(KONTUR& k, StepScratch& scratch, const GreyImage& image,
                                const ControlValues& values,
                                const std::optional<ToolRequest>& tool);

} // namespace orvik
