// The objects of a picture: each with its own settings and the result of its last analysis,
// analysed one by one or all at once on worker threads.
#pragma once

#include "core/picture_object.h"
#include "grey_image.h"

#include <functional>
#include <string>
#include <vector>

namespace orvik {

class ObjectList {
public:
    // Adds an object with `values` and returns its id.
    int add(const ControlValues& values);
    // Adds an object as it was saved: its own id (ids that follow never repeat it).
    void restore(PictureObject object);
    void remove(int id);
    // Empties the list; ids go on counting, so none is reused within the picture.
    void clear();
    // A new picture: empty, and ids start again at 1.
    void reset();

    const std::vector<PictureObject>& objects() const { return objects_; }
    PictureObject* find(int id);
    const PictureObject* find(int id) const;
    std::size_t size() const { return objects_.size(); }

    // Analyses the object with `id`, as the window's "Analysis" would with its values.
    void analyse(int id, const GreyImage& image, const std::string& imageFile);
    // Analyses every object on `threads` workers (at least one), each with a step scratch of
    // its own; each result is bit for bit the one analysing that object alone gives. An object
    // whose analysis fails keeps its last good result and gets the error; the others go on.
    // `progress`, if set, hears how many objects are done, on the calling thread. With
    // `which`, only the objects it picks are analysed (and counted).
    // Objects whose contours then overlap are analysed again together, each kept to its own
    // share of the pixels they cover (see coupling.h), unless coupling is turned off; what
    // still overlaps is noted in each object's `overlapping`.
    // With `stopped` (see WorkerPool::run), objects not yet begun when it says yes keep what
    // they had, and nothing is coupled; returns whether every object was analysed.
    bool analyseAll(const GreyImage& image, const std::string& imageFile, int threads,
                    const std::function<void(std::size_t done)>& progress = {},
                    const std::function<bool(const PictureObject&)>& which = {},
                    const std::function<bool()>& stopped = {});
    void setCoupling(bool on) { couple_ = on; }
    bool coupling() const { return couple_; }

private:
    void coupleOverlapping(const GreyImage& image, const std::string& imageFile, int threads,
                           const std::vector<PictureObject*>& picked);
    std::vector<PictureObject> objects_;
    int nextId_ = 1;
    bool couple_ = true;
};

// The analysis of one object's values on `image` in `scratch`, as "Analysis" runs it: the
// result, or the error's text when a floating-point error ended the run.
struct ObjectAnalysis {
    ContourResult result;
    std::string error;
};
ObjectAnalysis analyseObject(const GreyImage& image, const std::string& imageFile,
                             const ControlValues& values, StepScratch& scratch);
// The analysis of an object of the list: from its outline (analyseFromOutline) when it was
// read as one and still has it, so that analysing it again refines it; else from its values.
ObjectAnalysis analyseObject(const GreyImage& image, const std::string& imageFile,
                             const PictureObject& object, StepScratch& scratch);

} // namespace orvik
