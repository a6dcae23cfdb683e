// The document: the picture with its frames and scale, the objects and their tracks.
#include "document/document.h"

#include "document/follow.h"
#include "io/measurement_table.h"

#include <algorithm>
#include <utility>

namespace orvik {

namespace {

const Track* trackOf(const std::vector<Track>* tracks, int id) {
    if (tracks == nullptr) return nullptr;
    const auto it =
        std::find_if(tracks->begin(), tracks->end(), [id](const Track& t) { return t.id == id; });
    return it == tracks->end() ? nullptr : &*it;
}

} // namespace

void Document::open(LoadedStack loaded, const QString& path) {
    stack_ = std::move(loaded.stack);
    image_ = std::move(loaded.image);
    remap();
    file_ = path;
    frame_ = 0;
    scale_.reset();
    objects_.reset();
    currentId_ = 0;
    currentError_.clear();
    tracks_.reset();
    shared_.reset();
}

int Document::frameCount() const {
    return std::max(1, stack_.frames.frameCount());
}

GreyImage Document::frameImage(int f) const {
    return orvik::frameImage(stack_, f, mapping_, display_);
}

void Document::remap() {
    mapping_ = greyMapping(stack_.range, stack_.frames.layout());
}

void Document::setFrame(int f) {
    f = std::clamp(f, 0, frameCount() - 1);
    if (stack_.frames.frameCount() == 0) return;
    // The frame's picture first: when its file can no longer give it, nothing changes.
    GreyImage image = frameImage(f);
    frame_ = f;
    image_ = std::move(image);
    takeTrackedResults();
}

void Document::setRange(DisplayRange range) {
    if (stack_.frames.frameCount() == 0) return;
    stack_.range = range;
    remap();
    image_ = frameImage(frame_);
}

void Document::setChannel(Channel channel) {
    if (stack_.frames.frameCount() == 0) return;
    stack_.channel = channel;
    image_ = frameImage(frame_);
}

void Document::setScale(std::optional<Calibration> scale) {
    scale_ = std::move(scale);
}

PictureUnits Document::units(int f) const {
    if (stack_.frames.frameCount() == 0) {
        PictureUnits none;
        if (scale_) none.calibration = *scale_;
        return none;
    }
    return pictureUnits(stack_, f, scale_ ? scale_ : fileScale(stack_));
}

Measurements Document::measure(const ContourResult& result) const {
    return measureIn(result, {image_.GreyData.get(), image_.ImageWidth, image_.ImageHeight},
                     units());
}

Measurements Document::measure(const PictureObject& object, const GreyImage& image, int f) const {
    return measureObject(object, image, units(f));
}

void Document::setCurrent(int id, std::string error) {
    currentId_ = objects_.find(id) != nullptr ? id : 0;
    currentError_ = currentId_ != 0 ? std::move(error) : std::string();
}

std::vector<int> Document::findObjects(const FindOptions& given, const ControlValues& base,
                                       bool replace, int threads) {
    const FindOptions options = resolvedPolarity(image_, given, threads);
    ControlValues seed = base;
    at(seed.fields, Field::Threshold) = options.threshold;
    seed.blackOnWhite = options.blackOnWhite;
    const std::vector<Region> regions = findRegions(image_, options, nullptr, threads);
    if (replace) objects_.clear();
    std::vector<int> found;
    for (const Region& region : regions)
        found.push_back(objects_.add(seedValues(region, seed)));
    shared_.reset();
    return found;
}

bool Document::analyseAll(int threads, const std::function<void(std::size_t)>& progress,
                          const std::function<bool(const PictureObject&)>& which,
                          const std::function<bool()>& stopped) {
    const bool all =
        objects_.analyseAll(image_, file_.toStdString(), threads, progress, which, stopped);
    shared_.reset();
    if (!tracks_) return all;
    for (const PictureObject& object : objects_.objects())
        if (object.error.empty()) keepResult(object.id, object.result, {});
    return all;
}

std::vector<PictureObject> objectsOn(const ObjectList& list, const std::vector<Track>* tracks,
                                     int f) {
    if (tracks == nullptr) return list.objects();
    std::vector<PictureObject> on;
    for (const Track& track : *tracks) {
        // A deleted object is on no frame; the contour followed alone (id 0) is no object of
        // the list but is saved as its frames' object.
        if (track.id != 0 && list.find(track.id) == nullptr) continue;
        if (std::optional<PictureObject> object = trackOnFrame(track, f)) on.push_back(*object);
    }
    for (const PictureObject& object : list.objects())
        if (trackOf(tracks, object.id) == nullptr) on.push_back(object);
    return on;
}

std::vector<PictureObject> Document::objectsOn(int f) const {
    return orvik::objectsOn(objects_, tracks_.get(), f);
}

void Document::setTracks(std::vector<Track> tracks) {
    for (const Track& track : tracks)
        if (track.id != 0 && objects_.find(track.id) == nullptr && !track.frames.empty())
            objects_.restore(PictureObject{track.id, track.values, track.frames.front(), {}});
    tracks_ = std::make_shared<const std::vector<Track>>(std::move(tracks));
    takeTrackedResults();
}

std::pair<int, int> Document::trackedFrames() const {
    if (!tracks_ || tracks_->empty()) return {0, -1};
    int first = frameCount(), last = -1;
    for (const Track& track : *tracks_) {
        first = std::min(first, track.firstFrame);
        // The frame a track ended on still shows its last contour with the error.
        last = std::max(last,
                        track.lastFrame() + (track.error.empty() && track.ended.empty() ? 0 : 1));
    }
    return {first, std::min(last, frameCount() - 1)};
}

void Document::keepResult(int id, const ContourResult& result, const std::string& error) {
    if (PictureObject* object = objects_.find(id)) {
        object->error = error;
        if (error.empty()) object->result = result;
    }
    const Track* track = trackOf(tracks_.get(), id);
    if (track == nullptr || !error.empty()) return;
    const int at = frame_ - track->firstFrame;
    if (at < 0 || at >= static_cast<int>(track->frames.size())) return;
    auto changed = std::make_shared<std::vector<Track>>(*tracks_);
    (*changed)[static_cast<std::size_t>(track - tracks_->data())]
        .frames[static_cast<std::size_t>(at)] = result;
    tracks_ = std::move(changed);
}

void Document::takeTrackedResults() {
    if (!tracks_) return;
    for (const Track& track : *tracks_) {
        PictureObject* object = objects_.find(track.id);
        if (object == nullptr || track.id == 0) continue;
        const std::optional<PictureObject> there = trackOnFrame(track, frame_);
        object->result = there ? there->result : ContourResult{};
        object->error = there ? there->error : std::string();
        if (track.id == currentId_) currentError_ = object->error;
    }
    shared_.reset();
}

DocumentState Document::state() const {
    if (objects_.size() == 0) return {nullptr, currentId_, currentError_, tracks_, frame_};
    if (!shared_) shared_ = std::make_shared<const std::vector<PictureObject>>(objects_.objects());
    return {shared_, currentId_, currentError_, tracks_, frame_};
}

void Document::restore(const DocumentState& state) {
    // The frame's picture first: when its file can no longer give it, nothing changes.
    const bool moves = state.frame != frame_ && state.frame < frameCount();
    GreyImage image = moves ? frameImage(state.frame) : GreyImage();
    objects_.clear(); // ids go on counting: an undone add does not hand its id out again
    if (state.list)
        for (const PictureObject& object : *state.list)
            objects_.restore(object);
    shared_ = state.list;
    currentId_ = state.currentId;
    currentError_ = state.currentError;
    tracks_ = state.tracks;
    if (moves) {
        frame_ = state.frame;
        image_ = std::move(image);
    }
}

} // namespace orvik
