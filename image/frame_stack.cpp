// The frame store and the mapping of its raw values onto the grey the engine sees.
#include "frame_stack.h"

#include "grey_pass.h"
#include "load_refusals.h"

#include <QFile>
#include <QLocale>
#include <algorithm>
#include <atomic>
#include <deque>
#include <limits>
#include <mutex>
#include <new>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

namespace orvik {

QString layoutName(SampleLayout layout) {
    switch (layout) {
    case SampleLayout::Grey8:
        return QStringLiteral("8-bit grey");
    case SampleLayout::Grey16:
        return QStringLiteral("16-bit grey");
    case SampleLayout::Rgb8:
        break;
    }
    return QStringLiteral("8-bit colour");
}

namespace {

std::atomic<std::uint64_t> budgetSet{0};

// A number of bytes from a line such as "MemAvailable:   123456 kB" or a file holding a number.
std::uint64_t numberIn(const QByteArray& text, std::uint64_t unit) {
    bool ok = false;
    const std::uint64_t n = text.trimmed().split(' ').first().toULongLong(&ok);
    return ok ? n * unit : std::numeric_limits<std::uint64_t>::max();
}

QByteArray fileText(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What this process can still get: the free memory, its control group's headroom, and its
// address-space headroom, whichever is least.
std::uint64_t memoryLeft() {
    std::uint64_t left = std::numeric_limits<std::uint64_t>::max();
    for (const QByteArray& line : fileText("/proc/meminfo").split('\n'))
        if (line.startsWith("MemAvailable:")) left = std::min(left, numberIn(line.mid(13), 1024));
    const QByteArray limit = fileText("/sys/fs/cgroup/memory.max").trimmed();
    if (!limit.isEmpty() && limit != "max") {
        const std::uint64_t max = numberIn(limit, 1);
        const std::uint64_t used = numberIn(fileText("/sys/fs/cgroup/memory.current"), 1);
        if (max != std::numeric_limits<std::uint64_t>::max() && used < max)
            left = std::min(left, max - used);
    }
    struct rlimit space {};
    if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY) {
        const QByteArray statm = fileText("/proc/self/statm");
        const std::uint64_t pages = numberIn(statm, std::uint64_t(::sysconf(_SC_PAGESIZE)));
        const std::uint64_t cap = space.rlim_cur;
        left = std::min(left, pages < cap ? cap - pages : 0);
    }
    return left;
}

std::uint64_t defaultBudget() {
    if (const std::uint64_t set = budgetSet.load()) return set;
    const QByteArray mb = qgetenv("ORVIK_FRAME_MEMORY_MB");
    bool ok = false;
    const std::uint64_t asked = mb.toULongLong(&ok);
    if (ok && asked > 0) return asked << 20;
    const std::uint64_t left = memoryLeft();
    return left == std::numeric_limits<std::uint64_t>::max() ? left : left / 2;
}

} // namespace

void setFrameMemoryBudget(std::uint64_t bytes) {
    budgetSet.store(bytes);
}

// The dropped frames decoded last, so that showing a frame and moving to its neighbours does
// not decode the same page again and again.
struct FrameStack::Recent {
    static constexpr std::size_t Kept = 3;
    std::mutex lock;
    std::deque<std::pair<int, std::shared_ptr<const void>>> frames;
};

namespace {

template <typename Sample>
std::shared_ptr<Sample[]> newSamples(std::size_t count) {
    try {
        return std::make_shared_for_overwrite<Sample[]>(count);
    } catch (const std::bad_alloc&) {
        refuse(QString::fromLatin1(OutOfMemoryText));
    }
}

void spreadToColour(const std::uint8_t* grey, std::size_t pixels, std::uint8_t* rgb) {
    for (std::size_t i = 0; i < pixels; ++i)
        std::fill_n(rgb + 3 * i, 3, grey[i]);
}

// "7.6 MiB"
QString amount(std::uint64_t bytes) {
    return QLocale::c().formattedDataSize(qint64(std::min<std::uint64_t>(bytes, INT64_MAX)), 1);
}

} // namespace

FrameStack::FrameStack()
    : budget_(std::numeric_limits<std::uint64_t>::max()), recent_(std::make_unique<Recent>()) {}

FrameStack::FrameStack(std::int32_t width, std::int32_t height, SampleLayout layout)
    : width_(width), height_(height), layout_(layout), budget_(defaultBudget()),
      recent_(std::make_unique<Recent>()) {}

FrameStack::FrameStack(FrameStack&&) noexcept = default;
FrameStack& FrameStack::operator=(FrameStack&&) noexcept = default;
FrameStack::~FrameStack() = default;

std::size_t FrameStack::samplesPerFrame() const {
    const std::size_t channels = layout_ == SampleLayout::Rgb8 ? 3 : 1;
    return std::size_t(width_) * std::size_t(height_) * channels;
}

std::size_t FrameStack::frameBytes() const {
    return samplesPerFrame() * (layout_ == SampleLayout::Grey16 ? 2 : 1);
}

int FrameStack::framesHeld() const {
    return int(std::count_if(frames_.begin(), frames_.end(),
                             [](const Frame& frame) { return frame.held(); }));
}

DisplayRange FrameStack::sampleRange() const {
    DisplayRange range{std::numeric_limits<std::uint16_t>::max(), 0};
    for (const Frame& frame : frames_) {
        range.low = std::min(range.low, frame.low);
        range.high = std::max(range.high, frame.high);
    }
    return range;
}

// A new frame, filled, its range noted, and held while the budget has room (always, when it
// can't be decoded again).
template <typename Sample>
void FrameStack::added(std::shared_ptr<Sample[]> Frame::*samples,
                       const std::function<void(Sample*)>& fill, FrameOrigin origin, bool widened) {
    const bool again = origin.decoder != nullptr;
    if (again && frameBytes() > budget_)
        throw FrameStoreFull(QStringLiteral("one frame of it takes %1, more than the %2 of "
                                            "memory its frames may use")
                                 .arg(amount(frameBytes()), amount(budget_))
                                 .toStdString());
    Frame frame;
    frame.origin = std::move(origin);
    frame.widened = widened;
    std::shared_ptr<Sample[]> filled = newSamples<Sample>(samplesPerFrame());
    fill(filled.get());
    if constexpr (sizeof(Sample) == 2) {
        // Two plain reductions rather than minmax_element, whose positions keep the compiler
        // from taking many samples at a time.
        std::uint16_t low = std::numeric_limits<std::uint16_t>::max(), high = 0;
        const Sample* values = filled.get();
        for (std::size_t i = 0, n = samplesPerFrame(); i < n; ++i) {
            low = std::min(low, values[i]);
            high = std::max(high, values[i]);
        }
        frame.low = low;
        frame.high = high;
    }
    if (!again || resident_ + frameBytes() <= budget_) {
        frame.*samples = std::move(filled);
        resident_ += frameBytes();
    }
    frames_.push_back(std::move(frame));
}

void FrameStack::addFrame8(const std::function<void(std::uint8_t*)>& fill, FrameOrigin origin) {
    added(&Frame::narrow, fill, std::move(origin), false);
}

void FrameStack::addFrame16(const std::function<void(std::uint16_t*)>& fill, FrameOrigin origin) {
    added(&Frame::wide, fill, std::move(origin), false);
}

// A dropped frame's samples: from the recent ones, else decoded again and kept among them. One
// frame is decoded at a time, so that threads asking for the same frame decode it once.
template <typename Sample>
std::shared_ptr<const Sample[]> FrameStack::decodedAgain(int index) const {
    std::lock_guard hold(recent_->lock);
    auto& recent = recent_->frames;
    for (auto it = recent.begin(); it != recent.end(); ++it)
        if (it->first == index) {
            auto samples = std::static_pointer_cast<const Sample[]>(it->second);
            if (it != recent.begin()) {
                recent.erase(it);
                recent.emplace_front(index, samples);
            }
            return samples;
        }
    const Frame& frame = frames_[std::size_t(index)];
    std::shared_ptr<Sample[]> samples = newSamples<Sample>(samplesPerFrame());
    void* into = samples.get();
    if (frame.widened) {
        const std::size_t pixels = samplesPerFrame() / 3;
        const std::shared_ptr<std::uint8_t[]> grey = newSamples<std::uint8_t>(pixels);
        frame.origin.decoder->decode(frame.origin.index, grey.get());
        spreadToColour(grey.get(), pixels, static_cast<std::uint8_t*>(into));
    } else {
        frame.origin.decoder->decode(frame.origin.index, into);
    }
    recent.emplace_front(index, samples);
    if (recent.size() > Recent::Kept) recent.pop_back();
    return samples;
}

std::shared_ptr<const std::uint8_t[]> FrameStack::frame8(int index) const {
    const Frame& frame = frames_[std::size_t(index)];
    return frame.narrow ? frame.narrow : decodedAgain<std::uint8_t>(index);
}

std::shared_ptr<const std::uint16_t[]> FrameStack::frame16(int index) const {
    const Frame& frame = frames_[std::size_t(index)];
    return frame.wide ? frame.wide : decodedAgain<std::uint16_t>(index);
}

void FrameStack::append(FrameStack&& other) {
    for (Frame& frame : other.frames_) {
        if (frame.held() && frame.origin.decoder && resident_ + frameBytes() > budget_) {
            frame.narrow.reset();
            frame.wide.reset();
        }
        if (frame.held()) resident_ += frameBytes();
        frames_.push_back(std::move(frame));
    }
    other.frames_.clear();
    other.resident_ = 0;
}

void FrameStack::widenToColour() {
    if (layout_ != SampleLayout::Grey8) return;
    const std::size_t pixels = samplesPerFrame();
    FrameStack colour(width_, height_, SampleLayout::Rgb8);
    colour.budget_ = budget_;
    for (int f = 0; f < frameCount(); ++f) {
        const FrameOrigin& origin = frames_[std::size_t(f)].origin;
        colour.added<std::uint8_t>(
            &Frame::narrow,
            [&](std::uint8_t* rgb) { spreadToColour(frame8(f).get(), pixels, rgb); }, origin,
            origin.decoder != nullptr);
    }
    *this = std::move(colour);
}

DisplayRange autoRange(const FrameStack& stack) {
    if (stack.layout() != SampleLayout::Grey16 || stack.frameCount() == 0) return {0, 255};
    return stack.sampleRange();
}

std::vector<std::uint8_t> greyMapping(DisplayRange range, SampleLayout layout) {
    const std::size_t count = layout == SampleLayout::Grey16 ? 65536 : 256;
    std::vector<std::uint8_t> grey(count);
    const std::uint32_t span = range.high > range.low ? range.high - range.low : 0;
    for (std::size_t value = 0; value < count; ++value) {
        if (value <= range.low)
            grey[value] = 0;
        else if (value >= range.high)
            grey[value] = 255;
        else // low < value < high, so span > 0; 0..255 leaves 8-bit values as they are
            grey[value] = std::uint8_t(((value - range.low) * 255u + span / 2) / span);
    }
    return grey;
}

GreyImage greyFrame(const FrameStack& stack, int frame, DisplayRange range, Channel channel) {
    return greyFrame(stack, frame, greyMapping(range, stack.layout()), channel,
                     DisplayBitmap::Made);
}

GreyImage greyFrame(const FrameStack& stack, int frame, const std::vector<std::uint8_t>& mapping,
                    Channel channel, DisplayBitmap display) {
    const std::int32_t width = stack.width();
    const std::int32_t height = stack.height();
    const std::size_t pixels = std::size_t(width) * std::size_t(height);

    GreyImage store;
    try {
        store.GreyData = std::make_unique_for_overwrite<std::uint8_t[]>(pixels);
    } catch (const std::bad_alloc&) {
        refuse(QString::fromLatin1(OutOfMemoryText));
    }
    std::uint8_t* grey = store.GreyData.get();
    switch (stack.layout()) {
    case SampleLayout::Grey8: {
        // The range 0..255 leaves 8-bit values as they are.
        bool same = true;
        for (std::size_t value = 0; value < 256 && same; ++value)
            same = mapping[value] == value;
        const std::shared_ptr<const std::uint8_t[]> samples = stack.frame8(frame);
        if (same)
            std::copy_n(samples.get(), pixels, grey);
        else
            std::transform(samples.get(), samples.get() + pixels, grey,
                           [&](std::uint8_t value) { return mapping[value]; });
        break;
    }
    case SampleLayout::Grey16: {
        const std::shared_ptr<const std::uint16_t[]> samples = stack.frame16(frame);
        std::transform(samples.get(), samples.get() + pixels, grey,
                       [&](std::uint16_t value) { return mapping[value]; });
        break;
    }
    case SampleLayout::Rgb8: {
        const std::shared_ptr<const std::uint8_t[]> samples = stack.frame8(frame);
        const std::uint8_t* rgb = samples.get();
        if (channel == Channel::Grey) {
            for (std::size_t i = 0; i < pixels; ++i, rgb += 3)
                grey[i] = mapping[greyValue(rgb[2], rgb[1], rgb[0])];
        } else {
            const int c = static_cast<int>(channel) - 1; // red, green, blue in this order
            for (std::size_t i = 0; i < pixels; ++i, rgb += 3)
                grey[i] = mapping[rgb[c]];
        }
        break;
    }
    }

    if (display == DisplayBitmap::Made) {
        store.Display = QImage(width, height, QImage::Format_BGR888);
        if (store.Display.isNull()) refuse(QString::fromLatin1(OutOfMemoryText));
        spreadGrey(grey, width, store.Display, width, height);
    }
    store.ImageWidth = width;
    store.ImageHeight = height;
    return store;
}

} // namespace orvik
