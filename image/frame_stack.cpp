// The frame store and the mapping of its raw values onto the grey the engine sees.
#include "frame_stack.h"

#include "grey_pass.h"
#include "load_refusals.h"

#include <algorithm>
#include <limits>
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

FrameStack::FrameStack(std::int32_t width, std::int32_t height, SampleLayout layout)
    : width_(width), height_(height), layout_(layout) {}

int FrameStack::frameCount() const {
    return int(layout_ == SampleLayout::Grey16 ? wide_.size() : narrow_.size());
}

std::size_t FrameStack::samplesPerFrame() const {
    const std::size_t channels = layout_ == SampleLayout::Rgb8 ? 3 : 1;
    return std::size_t(width_) * std::size_t(height_) * channels;
}

std::uint8_t* FrameStack::addFrame8() {
    narrow_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(samplesPerFrame()));
    return narrow_.back().get();
}

std::uint16_t* FrameStack::addFrame16() {
    wide_.push_back(std::make_unique_for_overwrite<std::uint16_t[]>(samplesPerFrame()));
    return wide_.back().get();
}

void FrameStack::append(FrameStack&& other) {
    for (auto& frame : other.narrow_)
        narrow_.push_back(std::move(frame));
    for (auto& frame : other.wide_)
        wide_.push_back(std::move(frame));
    other.narrow_.clear();
    other.wide_.clear();
}

void FrameStack::widenToColour() {
    if (layout_ != SampleLayout::Grey8) return;
    const std::size_t pixels = samplesPerFrame();
    std::vector<std::unique_ptr<std::uint8_t[]>> colour;
    colour.reserve(narrow_.size());
    for (const auto& grey : narrow_) {
        auto rgb = std::make_unique_for_overwrite<std::uint8_t[]>(pixels * 3);
        for (std::size_t i = 0; i < pixels; ++i)
            std::fill_n(rgb.get() + 3 * i, 3, grey[i]);
        colour.push_back(std::move(rgb));
    }
    narrow_ = std::move(colour);
    layout_ = SampleLayout::Rgb8;
}

DisplayRange autoRange(const FrameStack& stack) {
    if (stack.layout() != SampleLayout::Grey16 || stack.frameCount() == 0) return {0, 255};
    std::uint16_t low = std::numeric_limits<std::uint16_t>::max();
    std::uint16_t high = 0;
    // Two plain reductions rather than minmax_element, whose positions keep the compiler from
    // taking many samples at a time: this pass is a third of reading a stack otherwise.
    const std::size_t samples = stack.samplesPerFrame();
    for (int frame = 0; frame < stack.frameCount(); ++frame) {
        const std::uint16_t* values = stack.frame16(frame);
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
        if (same)
            std::copy_n(stack.frame8(frame), pixels, grey);
        else
            std::transform(stack.frame8(frame), stack.frame8(frame) + pixels, grey,
                           [&](std::uint8_t value) { return mapping[value]; });
        break;
    }
    case SampleLayout::Grey16:
        std::transform(stack.frame16(frame), stack.frame16(frame) + pixels, grey,
                       [&](std::uint16_t value) { return mapping[value]; });
        break;
    case SampleLayout::Rgb8: {
        const std::uint8_t* rgb = stack.frame8(frame);
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
