// orvik-cli's options: what the command line asks for, read and checked as a whole before
// any picture is run, and the usage text that lists them.
#pragma once

#include "calibration.h"
#include "core/commands.h"
#include "core/init_arguments.h"
#include "core/picture_object.h"
#include "document/find_objects.h"
#include "frame_stack.h"
#include "io/formats.h"
#include "io/object_formats.h"

#include <QString>
#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvik::cli {

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
    // --object auto (true) or a polarity given by --object or a settings file (false); none:
    // auto with --find-objects, black on white for the single contour.
    std::optional<bool> autoPolarity;
    bool dropFlagged = false; // --drop-flagged: found objects that failed or are flagged dropped
    std::optional<Channel> channel; // --channel: the grey of a colour picture from one channel
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

// The options of `args` (the program name excluded), checked together; throws UsageError for
// a bad command line, or the reader's error for a settings or objects file that cannot be used.
// With --help nothing else is checked.
Options parse(const std::vector<std::string>& args);

// The text for standard error: a usage error as written; any other (an image, a settings
// file, a save) as the window's error box shows it.
std::string messageOf(const std::exception& e);

// A position given for this image, from `from` ("option --box", ...): within 0..maximum, as
// the box fields and a mouse position held to the image are; else a UsageError.
void checkOnImage(const std::string& from, const char* name, int value, int maximum);

std::string usage();

} // namespace orvik::cli
