// The objects of a picture and their analyses, one by one or on worker threads.
#include "document/objects.h"

#include "checked_float.h"
#include "core/commands.h"
#include "document/coupling.h"
#include "document/editing.h"
#include "document/worker_pool.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace orvik {

int ObjectList::add(const ControlValues& values) {
    PictureObject object;
    object.id = nextId_++;
    object.values = values;
    objects_.push_back(std::move(object));
    return objects_.back().id;
}

void ObjectList::restore(PictureObject object) {
    nextId_ = std::max(nextId_, object.id + 1);
    objects_.push_back(std::move(object));
}

void ObjectList::remove(int id) {
    std::erase_if(objects_, [id](const PictureObject& o) { return o.id == id; });
}

void ObjectList::clear() {
    objects_.clear();
}

void ObjectList::reset() {
    objects_.clear();
    nextId_ = 1;
}

PictureObject* ObjectList::find(int id) {
    const auto it = std::find_if(objects_.begin(), objects_.end(),
                                 [id](const PictureObject& o) { return o.id == id; });
    return it == objects_.end() ? nullptr : &*it;
}

const PictureObject* ObjectList::find(int id) const {
    return const_cast<ObjectList*>(this)->find(id);
}

namespace {

ObjectAnalysis analyseFrom(const GreyImage& image, const std::string& imageFile,
                           const ControlValues& values, const std::vector<ContourPoint>* outline,
                           StepScratch& scratch, const PictureObject* edited = nullptr) {
    const bool blackOnWhite = values.blackOnWhite;
    const ImageBindingScope binding(image, blackOnWhite);
    KONTUR k;
    ObjectAnalysis analysis;
    try {
        if (edited != nullptr)
            relaxContour(k, scratch, values, edited->result, edited->pinned);
        else if (outline != nullptr)
            analyseFromOutline(k, scratch, values, *outline);
        else
            analyseContour(k, scratch, values);
    } catch (const FloatingPointError& error) {
        analysis.error = error.what();
    }
    analysis.result = captureResult(
        k, runContext(imageFile, image.ImageWidth, image.ImageHeight, values), analysis.error);
    return analysis;
}

} // namespace

ObjectAnalysis analyseObject(const GreyImage& image, const std::string& imageFile,
                             const ControlValues& values, StepScratch& scratch) {
    return analyseFrom(image, imageFile, values, nullptr, scratch);
}

ObjectAnalysis analyseObject(const GreyImage& image, const std::string& imageFile,
                             const PictureObject& object, StepScratch& scratch) {
    // Corrected by hand: relaxed from the contour as it is, its pins held.
    if (object.edited && !object.result.contour.empty())
        return analyseFrom(image, imageFile, object.values, nullptr, scratch, &object);
    const bool fromOutline = object.fromOutline && !object.result.contour.empty();
    return analyseFrom(image, imageFile, object.values,
                       fromOutline ? &object.result.contour : nullptr, scratch);
}

namespace {

// What an analysis leaves in the list: a finished one its result, a failed one its error
// beside the last good result.
void keep(PictureObject& object, ObjectAnalysis analysis) {
    object.error = std::move(analysis.error);
    if (object.error.empty()) object.result = std::move(analysis.result);
}

} // namespace

void ObjectList::analyse(int id, const GreyImage& image, const std::string& imageFile) {
    PictureObject* object = find(id);
    if (object == nullptr) return;
    StepScratch scratch;
    keep(*object, analyseObject(image, imageFile, *object, scratch));
}

bool ObjectList::analyseAll(const GreyImage& image, const std::string& imageFile, int threads,
                            const std::function<void(std::size_t)>& progress,
                            const std::function<bool(const PictureObject&)>& which,
                            const std::function<bool()>& stopped) {
    std::vector<PictureObject*> picked;
    for (PictureObject& object : objects_)
        if (!which || which(object)) picked.push_back(&object);
    const std::size_t count = picked.size();
    std::vector<ObjectAnalysis> analyses(count);
    std::vector<char> analysed(count, 0);
    const bool all = WorkerPool(threads).run(
        count,
        [&](std::size_t i, StepScratch& scratch) {
            analyses[i] = analyseObject(image, imageFile, *picked[i], scratch);
            analysed[i] = 1;
        },
        progress, stopped);
    for (std::size_t i = 0; i < count; ++i)
        if (analysed[i] != 0) keep(*picked[i], std::move(analyses[i]));
    if (couple_ && all) coupleOverlapping(image, imageFile, threads, picked);
    return all;
}

void ObjectList::coupleOverlapping(const GreyImage& image, const std::string& imageFile,
                                   int threads, const std::vector<PictureObject*>& picked) {
    const std::size_t size = static_cast<std::size_t>(image.ImageWidth) * image.ImageHeight;
    std::vector<const PictureObject*> objects(picked.begin(), picked.end());
    for (PictureObject* object : picked)
        object->overlapping.clear();
    std::vector<std::vector<std::size_t>> pixels =
        enclosedPixels(objects, image.ImageWidth, image.ImageHeight, threads);
    std::vector<Overlap> found = overlaps(pixels, image.ImageWidth, threads);
    if (found.empty()) return;

    std::vector<std::size_t> coupled;
    for (const Overlap& o : found) {
        coupled.push_back(o.first);
        coupled.push_back(o.second);
    }
    std::sort(coupled.begin(), coupled.end());
    coupled.erase(std::unique(coupled.begin(), coupled.end()), coupled.end());
    const std::vector<GroundEdit> edits = groundOfOthers(image, objects, pixels, coupled);
    // Each analysis runs on a copy of the picture with its edit made, undone after: a copy
    // per worker, whichever worker takes the object.
    std::mutex lock;
    std::vector<std::unique_ptr<GreyImage>> copies;
    std::vector<GreyImage*> idle;
    const auto takeCopy = [&] {
        std::lock_guard hold(lock);
        if (!idle.empty()) {
            GreyImage* copy = idle.back();
            idle.pop_back();
            return copy;
        }
        auto copy = std::make_unique<GreyImage>();
        copy->ImageWidth = image.ImageWidth;
        copy->ImageHeight = image.ImageHeight;
        copy->GreyData = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        std::copy_n(image.GreyData.get(), size, copy->GreyData.get());
        copies.push_back(std::move(copy));
        return copies.back().get();
    };
    std::vector<ObjectAnalysis> analyses(coupled.size());
    WorkerPool(threads).run(coupled.size(), [&](std::size_t i, StepScratch& scratch) {
        GreyImage* copy = takeCopy();
        const GroundEdit& edit = edits[coupled[i]];
        for (std::size_t e = 0; e < edit.pixels.size(); ++e)
            copy->GreyData[edit.pixels[e]] = edit.grey[e];
        analyses[i] = analyseObject(*copy, imageFile, *picked[coupled[i]], scratch);
        for (const std::size_t p : edit.pixels)
            copy->GreyData[p] = image.GreyData[p];
        std::lock_guard hold(lock);
        idle.push_back(copy);
    });
    for (std::size_t i = 0; i < coupled.size(); ++i)
        keep(*picked[coupled[i]], std::move(analyses[i]));

    // What overlaps still: the flag, naming the other object.
    pixels = enclosedPixels(objects, image.ImageWidth, image.ImageHeight, threads);
    for (const Overlap& o : overlaps(pixels, image.ImageWidth, threads)) {
        picked[o.first]->overlapping.push_back(picked[o.second]->id);
        picked[o.second]->overlapping.push_back(picked[o.first]->id);
    }
    for (PictureObject* object : picked)
        std::sort(object->overlapping.begin(), object->overlapping.end());
}

} // namespace orvik
