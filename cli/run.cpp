// orvik-cli's run: each picture made a document, its commands run, its lines printed as soon
// as it is done, and the run-wide table at the end.
#include "checked_float.h"
#include "cli.h"
#include "core/commands.h"
#include "core/field_table.h"
#include "core/full_stop.h"
#include "core/measurements.h"
#include "core/picture_units.h"
#include "core/result.h"
#include "document/document.h"
#include "document/find_objects.h"
#include "document/follow.h"
#include "document/objects.h"
#include "document/saving.h"
#include "document/worker_pool.h"
#include "io/formats.h"
#include "io/frame_formats.h"
#include "io/json_text.h"
#include "io/measurement_table.h"
#include "io/object_formats.h"
#include "io/objects_json.h"
#include "io/settings.h"
#include "options.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

namespace orvik::cli {

namespace {

// The box on this picture: the one given, checked against the picture, or the middle fifth.
Box boxOn(const Options& o, const GreyImage& image) {
    const std::int32_t width = image.ImageWidth, height = image.ImageHeight;
    if (!o.box) return middleFifth(width, height);
    if (const std::optional<BoxField> off = offPicture(*o.box, width, height))
        checkOnImage(o.boxFrom, off->name, (*o.box).*off->coordinate,
                     off->horizontal ? width : height);
    return *o.box;
}

// The picture's document: its frames through the display range asked for (--range for 16-bit
// frames; 8-bit ones keep their grey), in the scale given, else the picture's own. Without a
// window no frame gets a display bitmap (a saved overlay draws its own).
void openOn(Document& doc, const Options& o, const QString& path) {
    LoadedStack loaded = loadStack(path, DisplayBitmap::Skipped);
    if (o.range && loaded.stack.frames.layout() == SampleLayout::Grey16) {
        loaded.stack.range = *o.range;
        loaded.image = frameImage(loaded.stack, 0, greyMapping(*o.range, SampleLayout::Grey16),
                                  DisplayBitmap::Skipped);
    }
    doc.open(std::move(loaded), path);
    if (o.channel) doc.setChannel(*o.channel);
    if (o.scale) doc.setScale(*o.scale);
}

// The files of a result are named after `name`: the picture's, or for a frame of a stack
// "NAME-007".
void saveResults(const Options& o, const QString& name, const Document& doc,
                 const ContourResult& result, GreyImage& image) {
    makeFolder(*o.out);
    for (const ResultFormat format : o.save) {
        // An open chain encloses nothing: it has no mask (run() says so once).
        if (format == ResultFormat::Mask && !result.closed) continue;
        const QImage overlay =
            format == ResultFormat::Overlay ? drawnResult(image, Kontur) : QImage();
        saveFile(outputPath(*o.out, name, format), contourBytes(doc, format, result, overlay));
    }
}

struct ImageOutcome {
    int exitCode = 0;
    std::string json; // the lines not yet written
    std::string error;
    std::vector<MeasurementRow> tableRows; // the image's rows of --table
    // Writes a line as soon as it is made (a stack's frame by frame); none: kept in `json`.
    std::function<void(const std::string&)> write;
    bool written = false; // some line of the image went out already

    void line(std::string text) {
        if (!write) {
            json += text;
            return;
        }
        write(text);
        written = true;
    }
};

// The values an image's analyses start from: with --threshold auto, its threshold is the
// picture's own.
ControlValues valuesOn(const Options& o, const GreyImage& image) {
    ControlValues values = o.values;
    if (o.thresholdAuto) at(values.fields, Field::Threshold) = otsuThreshold(image, o.threads);
    return values;
}

// The rules --find-objects finds the objects of `image` by.
FindOptions findOptionsOn(const Options& o, const ControlValues& base) {
    FindOptions find = o.find;
    find.threshold = at(base.fields, Field::Threshold);
    find.blackOnWhite = base.blackOnWhite;
    find.autoPolarity = o.autoPolarity.value_or(true);
    return find;
}

// The picture's objects: one per region found, or the saved ones, each box on the picture.
void placeObjects(Document& doc, const Options& o) {
    const GreyImage& image = doc.image();
    if (o.findObjects) {
        const ControlValues base = valuesOn(o, image);
        doc.findObjects(findOptionsOn(o, base), base, false, o.threads);
        return;
    }
    // Outlines read without settings get them from their region on this picture.
    for (PictureObject object : placeObjects(*o.objects, image, doc.file().toStdString())) {
        const Box box = boxOf(object.values.fields);
        if (const std::optional<BoxField> off =
                offPicture(box, image.ImageWidth, image.ImageHeight))
            checkOnImage("--objects, object " + std::to_string(object.id) + ", box", off->name,
                         box.*off->coordinate,
                         off->horizontal ? image.ImageWidth : image.ImageHeight);
        doc.objects().restore(std::move(object));
    }
}

// --drop-flagged, as the window's Find objects has it: once analysed on the frame shown, the
// objects whose analysis failed or whose measurements carry a flag leave the list.
void dropFlagged(Document& doc) {
    std::vector<int> flagged;
    for (const PictureObject& object : doc.objects().objects())
        if (!doc.measure(object, doc.image(), doc.frame()).flags.empty())
            flagged.push_back(object.id);
    for (const int id : flagged)
        doc.objects().remove(id);
    doc.listChanged();
}

// The objects on a frame measured once each, the line, the table rows and the formats all
// reading that one measurement.
struct DescribedFrame {
    std::vector<PictureObject> objects;
    ListMeasurements measured;
};

// A frame's objects described slot by slot, each slot by whichever worker has that object,
// then put together on the calling thread: each object measured once, its JSON text and its
// table row made from that measurement.
class FrameDescription {
public:
    FrameDescription(const Document& doc, const Options& o, std::size_t count)
        : doc_(doc), o_(o), file_(doc.file().toStdString()), slots_(count) {}

    // Room for `count` slots, on the calling thread between frames.
    void grow(std::size_t count) {
        if (count > slots_.size()) slots_.resize(count);
    }

    // Slot i holds `object` on `image`, frame `f` (-1: a single picture), or nothing when no
    // object is there on this frame. Distinct slots may be described on distinct threads.
    void describe(std::size_t i, std::optional<PictureObject> object, const GreyImage& image,
                  int f) {
        Slot& slot = slots_[i];
        slot = {};
        if (!object) return;
        // An exception (no memory) must not leave a worker's thread: finish() rethrows it, as
        // describing on the calling thread would have thrown it.
        try {
            slot.m = measureObject(*object, image, doc_.units(std::max(f, 0)));
            slot.text = objectJsonText(*object, slot.m);
            if (o_.table)
                slot.row =
                    measurementRow(file_, f, std::to_string(object->id), slot.m, object->result);
            slot.object = std::move(object);
        } catch (...) {
            slot.failure = std::current_exception();
        }
    }

    // The frame's line in id order and its table rows; the objects and their measurements for
    // the files saved. The slots are empty again afterwards.
    DescribedFrame finish(const GreyImage& image, int f, ImageOutcome& outcome) {
        DescribedFrame described;
        std::vector<std::string> texts;
        for (Slot& slot : slots_) {
            if (slot.failure) std::rethrow_exception(slot.failure);
            if (!slot.object) continue;
            if (!slot.object->error.empty()) outcome.exitCode = 1;
            if (o_.table) outcome.tableRows.push_back(std::move(slot.row));
            described.objects.push_back(std::move(*slot.object));
            described.measured.push_back(slot.m);
            texts.push_back(std::move(slot.text));
            slot = {};
        }
        outcome.line(
            objectsJsonOf(described.objects, texts, image, doc_.file(), f >= 0 || !o_.pretty, f));
        return described;
    }

private:
    struct Slot {
        std::optional<PictureObject> object;
        Measurements m;
        std::string text;
        MeasurementRow row;
        std::exception_ptr failure;
    };
    const Document& doc_;
    const Options& o_;
    std::string file_;
    std::vector<Slot> slots_;
};

// One picture's list, found or read on it and analysed.
void runObjectsOnPicture(Document& doc, const Options& o, ImageOutcome& outcome) {
    // Read objects are measured as they are, unless --analyse asks; one read without an
    // outline (settings alone) has nothing to measure and is analysed.
    doc.analyseAll(o.threads, {}, [&o](const PictureObject& object) {
        return !o.objects || o.analyse || object.result.contour.empty();
    });
    if (o.dropFlagged) dropFlagged(doc);
    const std::vector<PictureObject> objects = doc.objectsOn(doc.frame());
    FrameDescription description(doc, o, objects.size());
    WorkerPool(o.threads).run(objects.size(), [&](std::size_t i, StepScratch&) {
        description.describe(i, objects[i], doc.image(), -1);
    });
    const DescribedFrame described = description.finish(doc.image(), -1, outcome);
    saveShownObjects(doc, described.objects, described.measured, o.saveObjects,
                     o.out.value_or(QString()), o.saveCtc);
}

// The first save of a run that failed: the frames after it are still described, their saves
// skipped, and the failure reported once every line is made.
class SaveFailure {
public:
    template <typename Save>
    void attempt(Save save) {
        if (failure_) return;
        try {
            save();
        } catch (const std::exception&) {
            failure_ = std::current_exception();
        }
    }
    void report() const {
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    std::exception_ptr failure_;
};

// A stack's list: found or read on the first frame, then followed through the frames, each
// frame's line written and its files staged as soon as the frame is done, on the grey the
// following saw. Nothing of a frame is kept after that but the contours followed on.
void runObjectsOnFrames(Document& doc, const Options& o, ImageOutcome& outcome) {
    const int frames = doc.frameCount();
    SaveFailure failure;
    std::optional<FramesSave> save;
    if (!o.saveObjects.empty() || o.saveCtc)
        failure.attempt(
            [&] { save.emplace(o.saveObjects, o.saveCtc, *o.out, doc.file(), frames); });
    // Each object is described on the worker that followed it, right after its step.
    FrameDescription description(doc, o, doc.objects().size());
    FrameDone done;
    done.forget = true;
    done.each = [&](std::size_t i, int frame, std::optional<PictureObject> object,
                    const GreyImage& image) {
        description.describe(i, std::move(object), image, frame);
    };
    done.grown = [&](std::size_t count) { description.grow(count); };
    done.heard = [&](int frame, const std::vector<Track>&, const GreyImage& image) {
        const DescribedFrame described = description.finish(image, frame, outcome);
        if (save)
            failure.attempt([&] {
                save->addFrame(frame, described.objects, described.measured, image,
                               doc.units(frame));
            });
    };
    // With --find-objects, following with detection: the objects found again on every frame.
    std::optional<TrackingRules> tracking;
    if (o.findObjects) {
        TrackingRules& rules = tracking.emplace();
        rules.base = valuesOn(o, doc.image());
        rules.find = resolvedPolarity(doc.image(), findOptionsOn(o, rules.base), o.threads);
        rules.autoThreshold = o.thresholdAuto;
    }
    followObjects(
        doc.objects().objects(), [&doc](int frame) { return doc.frameImage(frame); }, 0, frames,
        doc.file().toStdString(), o.threads, {}, done, tracking ? &*tracking : nullptr);
    if (save) failure.attempt([&] { save->finish(); });
    failure.report();
}

// An image that could not be read or saved: status 2 and the message. Every image gives its
// line, one image as several: a reader of the lines (a job runner that hands out a few images
// at a time) sees each failure in its place.
void failImage(ImageOutcome& outcome, const QString& path, const std::exception& e) {
    outcome.exitCode = 2;
    outcome.error = messageOf(e);
    if (outcome.json.empty() && !outcome.written)
        outcome.json = errorJson(path, QString::fromStdString(outcome.error)).toStdString();
}

ImageOutcome runObjects(const Options& o, const std::string& file, const Sink& sink) {
    ImageOutcome outcome;
    outcome.write = sink.output;
    const QString path = QString::fromStdString(file);
    try {
        Document doc(DisplayBitmap::Skipped);
        openOn(doc, o, path);
        placeObjects(doc, o);
        if (doc.frameCount() > 1) {
            // A stack's objects are dropped on its first frame, then the rest followed.
            if (o.dropFlagged) {
                doc.analyseAll(o.threads);
                dropFlagged(doc);
            }
            runObjectsOnFrames(doc, o, outcome);
        } else {
            runObjectsOnPicture(doc, o, outcome);
        }
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
        Document doc(DisplayBitmap::Skipped);
        openOn(doc, o, path);
        const int frames = doc.frameCount();
        ControlValues values = valuesOn(o, doc.image());
        setBox(values.fields, boxOn(o, doc.image()));
        std::optional<ToolRequest> tool;
        if (o.tool) {
            checkOnImage("option --click", "X", o.click->first, doc.image().ImageWidth);
            checkOnImage("option --click", "Y", o.click->second, doc.image().ImageHeight);
            tool = ToolRequest{*o.tool, o.click->first, o.click->second};
        }

        // The first frame as a single picture is analysed; each next frame runs on from the
        // contour the one before left, until a floating-point error ends the run.
        const HeadlessOutcome run = analyseHeadless(Kontur, scratch, doc.image(), values, tool);
        SaveFailure failure;
        std::string error = run.error;
        for (int frame = 0; frame < frames; ++frame) {
            if (frame > 0) {
                if (!error.empty()) break;
                doc.setFrame(frame);
                const bool blackOnWhite = run.values.blackOnWhite;
                const ImageBindingScope binding(doc.image(), blackOnWhite);
                try {
                    runOnNextFrame(Kontur, scratch);
                } catch (const FloatingPointError& e) {
                    error = e.what();
                }
            }
            GreyImage& image = doc.image();
            // The name as decoded, so that the JSON holds valid UTF-8 whatever bytes it came as.
            const RunContext context =
                runContext(path.toStdString(), image.ImageWidth, image.ImageHeight, run.values);
            const ContourResult result = captureResult(Kontur, context, error);
            const Measurements m = doc.measure(result);
            const int tag = frames > 1 ? frame : -1;
            outcome.json += toJson(result, m, !o.pretty || frames > 1, tag).toStdString();
            outcome.exitCode = error.empty() ? 0 : 1;
            if (o.table)
                outcome.tableRows.push_back(measurementRow(path.toStdString(), tag, "", m, result));
            if (!o.save.empty())
                failure.attempt([&] {
                    saveResults(o, frames > 1 ? frameName(path, frame, frames) : path, doc, result,
                                image);
                });
        }
        failure.report();
    } catch (const std::exception& e) {
        failImage(outcome, path, e);
    }
    return outcome;
}
} // namespace

int run(const std::vector<std::string>& args, const Sink& sink) {
    Options options;
    try {
        options = parse(args);
    } catch (const std::exception& e) { // bad arguments or settings: no image is run
        sink.error(messageOf(e) + "\n");
        return 2;
    }
    if (options.help) {
        sink.output(usage());
        return 0;
    }
    if (!isClosed(options.values.model) && std::find(options.save.begin(), options.save.end(),
                                                     ResultFormat::Mask) != options.save.end())
        sink.error("note: no mask is written for the model opened: an open chain encloses no "
                   "pixels\n");

    int exitCode = 0;
    // One scratch for the steps of every image, made once.
    StepScratch scratch;
    std::vector<MeasurementRow> table;
    for (const std::string& file : options.images) {
        ImageOutcome image =
            options.listMode() ? runObjects(options, file, sink) : runImage(options, file, scratch);
        exitCode = std::max(exitCode, image.exitCode);
        // Each picture's lines as soon as it is done: a long batch streams.
        sink.output(image.json);
        if (!image.error.empty()) sink.error(image.error + "\n");
        std::move(image.tableRows.begin(), image.tableRows.end(), std::back_inserter(table));
    }
    if (options.table) {
        try {
            // "file,[frame,]id,": the frame column when any picture of the run has frames.
            const bool frames = std::any_of(table.begin(), table.end(),
                                            [](const MeasurementRow& r) { return r.frame >= 0; });
            saveFile(*options.table, bytesOf(measurementTable(table, {true, frames, {}})));
        } catch (const std::exception& e) {
            sink.error(messageOf(e) + "\n");
            exitCode = 2;
        }
    }
    return exitCode;
}

Outcome run(const std::vector<std::string>& args) {
    Outcome outcome;
    outcome.exitCode = run(args, {[&outcome](const std::string& text) { outcome.output += text; },
                                  [&outcome](const std::string& text) { outcome.error += text; }});
    return outcome;
}

} // namespace orvik::cli
