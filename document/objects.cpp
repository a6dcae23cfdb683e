// The objects of a picture and their analyses, one by one or on worker threads.
#include "document/objects.h"

#include "checked_float.h"
#include "core/commands.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

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

namespace {

ObjectAnalysis analyseFrom(const GreyImage& image, const std::string& imageFile,
                           const ControlValues& values, const std::vector<ContourPoint>* outline,
                           StepScratch& scratch) {
    const bool blackOnWhite = values.blackOnWhite;
    const ImageBindingScope binding(image, blackOnWhite);
    KONTUR k;
    ObjectAnalysis analysis;
    try {
        if (outline != nullptr)
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

void ObjectList::analyseAll(const GreyImage& image, const std::string& imageFile, int threads,
                            const std::function<void(std::size_t)>& progress,
                            const std::function<bool(const PictureObject&)>& which) {
    std::vector<PictureObject*> picked;
    for (PictureObject& object : objects_)
        if (!which || which(object)) picked.push_back(&object);
    const std::size_t count = picked.size();
    std::vector<ObjectAnalysis> analyses(count);
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;
    // Each worker takes the next object not yet taken; objects are independent, so the order
    // in which they finish changes nothing in their results.
    const auto work = [&] {
        StepScratch scratch;
        for (std::size_t i = next++; i < count; i = next++) {
            analyses[i] = analyseObject(image, imageFile, *picked[i], scratch);
            const std::lock_guard lock(mutex);
            ++done;
            finished.notify_one();
        }
    };
    const std::size_t workers = std::min<std::size_t>(
        static_cast<std::size_t>(std::max(threads, 1)), std::max<std::size_t>(count, 1));
    {
        // The calling thread reports the progress, or works too when nobody follows it.
        std::vector<std::jthread> pool;
        for (std::size_t w = progress ? 0 : 1; w < workers; ++w)
            pool.emplace_back(work);
        if (progress) {
            std::unique_lock lock(mutex);
            for (std::size_t reported = 0; reported < count;) {
                finished.wait(lock, [&] { return done > reported; });
                reported = done;
                lock.unlock();
                progress(reported);
                lock.lock();
            }
        } else {
            work();
        }
    }
    for (std::size_t i = 0; i < count; ++i)
        keep(*picked[i], std::move(analyses[i]));
}

} // namespace orvik
