// The frame store and the mapping of its raw values onto the grey the engine sees.
#include "frame_stack.h"

#include "grey_pass.h"
#include "load_refusals.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/resource.h>
#include <sys/statvfs.h>
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

// ---- the temporary file that takes the frames beyond the budget ----

// An unnamed file in the temporary folder: removed from the folder as soon as it is made, so
// that it goes when it is closed, however the process ends.
class SpillFile {
public:
    SpillFile() {
        // The toolkit gives no folder when TMPDIR names one that does not exist.
        folder_ = QDir::tempPath();
        if (folder_.isEmpty())
            throw FrameStoreFull(QStringLiteral("no temporary file for its frames in %1 (%2)")
                                     .arg(qEnvironmentVariable("TMPDIR"),
                                          QString::fromLocal8Bit(std::strerror(ENOENT)))
                                     .toStdString());
        QByteArray name =
            QDir(folder_).filePath(QStringLiteral("orvik-frames-XXXXXX")).toLocal8Bit();
        fd_ = ::mkstemp(name.data());
        if (fd_ < 0)
            throw FrameStoreFull(QStringLiteral("no temporary file for its frames in %1 (%2)")
                                     .arg(folder_, QString::fromLocal8Bit(std::strerror(errno)))
                                     .toStdString());
        ::unlink(name.constData());
    }
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;
    ~SpillFile() { ::close(fd_); }

    std::uint64_t write(const void* bytes, std::size_t count) {
        struct statvfs room {};
        if (::fstatvfs(fd_, &room) == 0 &&
            std::uint64_t(room.f_bavail) * room.f_frsize < count + KeepFree)
            throw FrameStoreFull(
                QStringLiteral("its frames need more than the memory it may use and the free "
                               "space of %1")
                    .arg(folder_)
                    .toStdString());
        const std::uint64_t at = end_;
        const auto* from = static_cast<const char*>(bytes);
        for (std::size_t done = 0; done < count;) {
            const ssize_t n = ::pwrite(fd_, from + done, count - done, off_t(at + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                throw FrameStoreFull(
                    QStringLiteral("its frames could not be written to %1 (%2)")
                        .arg(folder_, QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC)))
                        .toStdString());
            done += std::size_t(n);
        }
        end_ += count;
        return at;
    }

    // The file was written by this process and is never shortened, so a short read is a fault
    // of the system, reported as running out of memory would be.
    void read(std::uint64_t at, void* bytes, std::size_t count) const {
        auto* into = static_cast<char*>(bytes);
        for (std::size_t done = 0; done < count;) {
            const ssize_t n = ::pread(fd_, into + done, count - done, off_t(at + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) refuse(QString::fromLatin1(OutOfMemoryText));
            done += std::size_t(n);
        }
    }

private:
    // What is left for everything else on the temporary folder's disk.
    static constexpr std::uint64_t KeepFree = std::uint64_t(256) << 20;
    QString folder_;
    int fd_ = -1;
    std::uint64_t end_ = 0;
};

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

// The frames last read back, so that showing a frame and moving to its neighbours does not
// read the same samples again and again.
struct FrameStack::Recent {
    static constexpr std::size_t Kept = 3;
    std::mutex lock;
    std::deque<std::pair<int, std::shared_ptr<const void>>> frames;
};

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

std::uint64_t FrameStack::residentBytes() const {
    return resident_;
}

int FrameStack::framesWrittenOut() const {
    return int(std::count_if(frames_.begin(), frames_.end(),
                             [](const Frame& frame) { return !frame.inMemory(); }));
}

void FrameStack::writeOut(Frame& frame) {
    if (!spill_) spill_ = std::make_shared<SpillFile>();
    const void* bytes =
        frame.wide ? static_cast<const void*>(frame.wide.get()) : frame.narrow.get();
    frame.offset = spill_->write(bytes, frameBytes());
    frame.file = spill_;
    frame.narrow.reset();
    frame.wide.reset();
    resident_ -= frameBytes();
}

// The frames before the newest stay in memory while they fit; the newest one that does not fit
// is written out when the next comes, by which time the caller has written all its samples.
void FrameStack::keepWithinBudget(std::size_t adding) {
    if (frames_.empty()) return;
    Frame& last = frames_.back();
    if (last.inMemory() && resident_ + adding > budget_) writeOut(last);
}

// A new frame in memory, its samples in the member `samples` names; the one before it written
// out first if the budget has no room for both.
template <typename Sample>
Sample* FrameStack::added(std::shared_ptr<Sample[]> Frame::*samples) {
    keepWithinBudget(frameBytes());
    Frame frame;
    frame.*samples = std::make_shared_for_overwrite<Sample[]>(samplesPerFrame());
    frames_.push_back(std::move(frame));
    resident_ += frameBytes();
    return (frames_.back().*samples).get();
}

std::uint8_t* FrameStack::addFrame8() {
    return added(&Frame::narrow);
}

std::uint16_t* FrameStack::addFrame16() {
    return added(&Frame::wide);
}

// A written-out frame's samples: from the recent ones, else read back and kept among them.
template <typename Sample>
std::shared_ptr<const Sample[]> FrameStack::readBack(int index) const {
    std::lock_guard hold(recent_->lock);
    for (const auto& [at, samples] : recent_->frames)
        if (at == index) return std::static_pointer_cast<const Sample[]>(samples);
    std::shared_ptr<Sample[]> samples;
    try {
        samples = std::make_shared_for_overwrite<Sample[]>(samplesPerFrame());
    } catch (const std::bad_alloc&) {
        refuse(QString::fromLatin1(OutOfMemoryText));
    }
    const Frame& frame = frames_[std::size_t(index)];
    frame.file->read(frame.offset, samples.get(), frameBytes());
    recent_->frames.emplace_front(index, samples);
    if (recent_->frames.size() > Recent::Kept) recent_->frames.pop_back();
    return samples;
}

std::shared_ptr<const std::uint8_t[]> FrameStack::frame8(int index) const {
    const Frame& frame = frames_[std::size_t(index)];
    return frame.narrow ? frame.narrow : readBack<std::uint8_t>(index);
}

std::shared_ptr<const std::uint16_t[]> FrameStack::frame16(int index) const {
    const Frame& frame = frames_[std::size_t(index)];
    return frame.wide ? frame.wide : readBack<std::uint16_t>(index);
}

void FrameStack::append(FrameStack&& other) {
    for (Frame& frame : other.frames_) {
        keepWithinBudget(frameBytes());
        if (frame.inMemory()) resident_ += frameBytes();
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
        const std::shared_ptr<const std::uint8_t[]> grey = frame8(f);
        std::uint8_t* rgb = colour.addFrame8();
        for (std::size_t i = 0; i < pixels; ++i)
            std::fill_n(rgb + 3 * i, 3, grey[i]);
    }
    *this = std::move(colour);
}

DisplayRange autoRange(const FrameStack& stack) {
    if (stack.layout() != SampleLayout::Grey16 || stack.frameCount() == 0) return {0, 255};
    std::uint16_t low = std::numeric_limits<std::uint16_t>::max();
    std::uint16_t high = 0;
    // Two plain reductions rather than minmax_element, whose positions keep the compiler from
    // taking many samples at a time: this pass is a third of reading a stack otherwise.
    const std::size_t samples = stack.samplesPerFrame();
    for (int frame = 0; frame < stack.frameCount(); ++frame) {
        const std::shared_ptr<const std::uint16_t[]> kept = stack.frame16(frame);
        const std::uint16_t* values = kept.get();
        for (std::size_t i = 0; i < samples; ++i) {
            low = std::min(low, values[i]);
            high = std::max(high, values[i]);
        }
    }
    return {low, high};
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
