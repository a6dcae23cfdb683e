// The frames of a picture as read from the file, before any grey mapping: their raw samples,
// the display range that maps them onto the 8-bit grey the engine sees, and that mapping.
#pragma once

#include "grey_image.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace orvik {

// What one pixel of a frame holds.
enum class SampleLayout {
    Grey8,  // one byte
    Grey16, // one 16-bit value
    Rgb8,   // three bytes: red, green, blue
};

// "8-bit grey", "16-bit grey", "8-bit colour": how messages name a layout.
QString layoutName(SampleLayout layout);

// Raw values low..high are mapped onto grey 0..255, linearly and rounded; values at or below low
// are 0, those at or above high 255 (when low is not below high, the picture splits at low).
struct DisplayRange {
    std::uint16_t low = 0;
    std::uint16_t high = 255;
    friend bool operator==(const DisplayRange&, const DisplayRange&) = default;
};

// A stack that cannot hold even one of its frames within the memory it may use. The text is
// the reason, without the file.
class FrameStoreFull : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bytes of decoded frames one stack holds; the frames beyond are dropped once read and decoded
// again from their file when they are asked for. 0 (the default) takes half the memory this
// process can still get (the free memory, its control group's limit and its address-space
// limit, whichever is least) when the stack is made; the environment variable
// ORVIK_FRAME_MEMORY_MB sets it too.
void setFrameMemoryBudget(std::uint64_t bytes);

// Where frames can be decoded again: a file and the places of its frames in it.
class FrameDecoder {
public:
    virtual ~FrameDecoder() = default;
    // Writes all the samples of its file's frame `index` into `samples`, in the layout the
    // frame was added with. Throws ImageLoadError naming the file when it cannot: the file is
    // gone, has changed since, or can no longer be decoded. Called from several threads at once.
    virtual void decode(int index, void* samples) const = 0;
};

// Where a frame comes from; without a decoder the frame can't be decoded again.
struct FrameOrigin {
    std::shared_ptr<const FrameDecoder> decoder;
    int index = 0;
};

// Frames of one size and layout. Each frame is a buffer of its own, allocated when its page is
// read: a long stack never needs one huge block. Only the raw samples are kept per frame (the
// grey of the frame on show is made when it is shown), and only as many as the memory budget
// holds: the frames beyond it are decoded again from their file when they are asked for.
// Samples are stored as read, rows from the top down without padding, 16-bit values in the
// machine's byte order.
class FrameStack {
public:
    FrameStack();
    FrameStack(std::int32_t width, std::int32_t height, SampleLayout layout);
    FrameStack(FrameStack&&) noexcept;
    FrameStack& operator=(FrameStack&&) noexcept;
    ~FrameStack();

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    SampleLayout layout() const { return layout_; }
    int frameCount() const { return int(frames_.size()); }
    // Samples per frame: width × height × (3 for colour, else 1).
    std::size_t samplesPerFrame() const;

    // Adds a frame whose samples `fill` writes, all of them, into the uninitialised buffer it is
    // given: the 8-bit one for Grey8 and Rgb8, the 16-bit one for Grey16. A frame with an
    // origin is held while the budget has room and dropped beyond it; one without is always
    // held. Throws FrameStoreFull when a frame with an origin is larger than the whole budget.
    void addFrame8(const std::function<void(std::uint8_t*)>& fill, FrameOrigin origin = {});
    void addFrame16(const std::function<void(std::uint16_t*)>& fill, FrameOrigin origin = {});
    // A frame's samples, kept alive by the pointer for as long as it is held; safe to call from
    // several threads at once. A dropped frame is decoded again (and held briefly, so that the
    // frame on show and its neighbours are not decoded again and again); that throws
    // ImageLoadError naming the file when the file can no longer give it.
    std::shared_ptr<const std::uint8_t[]> frame8(int frame) const;
    std::shared_ptr<const std::uint16_t[]> frame16(int frame) const;
    // How many frames are held for good (the rest are decoded again when asked for).
    int framesHeld() const;
    // The smallest and largest sample of all 16-bit frames, kept from when each was added.
    DisplayRange sampleRange() const;

    // Moves the frames of `other`, which has this stack's size and layout, to the end.
    void append(FrameStack&& other);
    // Makes a grey 8-bit stack a colour one, each channel the grey value.
    void widenToColour();

private:
    struct Frame {
        std::shared_ptr<std::uint8_t[]> narrow;
        std::shared_ptr<std::uint16_t[]> wide;
        FrameOrigin origin;
        bool widened = false;            // its file gives grey; the stack holds it as colour
        std::uint16_t low = 0, high = 0; // the smallest and largest 16-bit sample
        bool held() const { return narrow || wide; }
    };
    struct Recent;

    std::size_t frameBytes() const;
    template <typename Sample>
    void added(std::shared_ptr<Sample[]> Frame::*samples, const std::function<void(Sample*)>& fill,
               FrameOrigin origin, bool widened);
    template <typename Sample>
    std::shared_ptr<const Sample[]> decodedAgain(int index) const;

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    SampleLayout layout_ = SampleLayout::Grey8;
    std::vector<Frame> frames_;
    std::uint64_t budget_ = 0;
    std::uint64_t resident_ = 0;
    std::unique_ptr<Recent> recent_;
};

// The range a stack is shown through at first: for 16-bit frames the smallest to the largest
// value of the whole stack, so that a threshold means the same on every frame; for 8-bit
// frames 0..255, which leaves every grey value as it is.
DisplayRange autoRange(const FrameStack& stack);

// The grey value of each raw value 0..65535 (0..255 for 8-bit frames) through the range.
std::vector<std::uint8_t> greyMapping(DisplayRange range, SampleLayout layout);

// What a colour picture's grey is made of: its luma (the grey every picture is seen in at
// first) or one of its channels. Grey pictures have only their grey.
enum class Channel { Grey, Red, Green, Blue };

// Whether a frame's store gets the display bitmap the window shows, or only the grey buffer
// the engine samples and the measurements read (a run without a window never looks at the
// bitmap, which is three times the grey's size).
enum class DisplayBitmap { Made, Skipped };

// A complete grey image store of the frame: each pixel's value (a colour pixel's luma, or the
// channel asked for) mapped through the range into the grey buffer and the display. Throws
// ImageLoadError when there is no memory for it; the stack is left as it is.
GreyImage greyFrame(const FrameStack& stack, int frame, DisplayRange range,
                    Channel channel = Channel::Grey);
// The same through a mapping made beforehand by greyMapping for the stack's layout, with the
// display bitmap or without it (then Display stays null).
GreyImage greyFrame(const FrameStack& stack, int frame, const std::vector<std::uint8_t>& mapping,
                    Channel channel, DisplayBitmap display);

} // namespace orvik
