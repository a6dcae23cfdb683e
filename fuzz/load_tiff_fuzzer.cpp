// libFuzzer target over the TIFF reader: any bytes, read as a .tif file, give either a stack of
// frames whose every frame makes a complete grey image store, or one of the loader's texts
// naming the file. Anything else (another exception, frames that disagree, a message of libtiff
// that reaches its process-wide handlers and so the standard error, a crash or a sanitizer
// report) is a finding.
#include "frame_stack.h"
#include "grey_image.h"
#include "picture_stack.h"
#include "store_checks.h"
#include "tiff_causes.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdlib.h>
#include <string>
#include <tiffio.h>
#include <vector>

namespace {

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "load_tiff_fuzzer: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

const std::filesystem::path& inputFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvik-tiff-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) finding("no temporary folder");
        return std::filesystem::path(pattern);
    }();
    return folder;
}

void removeInputFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(inputFolder(), ignored);
}

// The reader keeps every message of libtiff to itself; one that reaches here would be printed.
void libtiffPrinted(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    finding(std::string("libtiff printed: ") + (module ? module : "") + ": " + text);
}

bool isAllowedRefusal(const std::string& text, const std::string& path) {
    if (text == "Image too large for the available memory") return true;
    const std::string prefix = "Cannot read file " + path + ": ";
    if (text.rfind(prefix, 0) != 0) return false;
    const std::string cause = text.substr(prefix.size());
    for (const char* allowed :
         {"the file is empty", "its content is not a picture in the TIFF format",
          "it holds a picture in the ", "one frame of it takes "})
        if (cause.rfind(allowed, 0) == 0) return true;
    return orvik::fuzzing::isTiffPageCause(cause);
}

void checkStack(const orvik::PictureStack& stack, const QString& path) {
    const orvik::FrameStack& frames = stack.frames;
    if (frames.frameCount() < 1) finding("a stack without frames");
    if (frames.width() < 1 || frames.height() < 1 || frames.width() > orvik::MaxImageSide ||
        frames.height() > orvik::MaxImageSide)
        finding("frame size out of range");
    if (stack.range.low > stack.range.high) finding("an automatic range upside down");
    // A few frames and the last, each through the automatic range and through a narrow one.
    std::vector<int> checked;
    for (int frame = 0; frame < std::min(frames.frameCount(), 4); ++frame)
        checked.push_back(frame);
    if (frames.frameCount() > 4) checked.push_back(frames.frameCount() - 1);
    for (const int frame : checked)
        for (const orvik::DisplayRange range :
             {stack.range, orvik::DisplayRange{std::uint16_t(stack.range.low / 2 + 1),
                                               std::uint16_t(stack.range.low / 2 + 3)}}) {
            const orvik::GreyImage store = orvik::greyFrame(frames, frame, range);
            const std::string inconsistency = orvik::test::storeInconsistency(store);
            if (!inconsistency.empty()) finding("inconsistent store: " + inconsistency);
        }
    // The single-picture loader shows the first frame, through the stack's range.
    if (orvik::test::greyBuffer(orvik::loadGreyImage(path)) !=
        orvik::test::greyBuffer(orvik::frameImage(stack, 0)))
        finding("loadGreyImage differs from the stack's first frame");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication* const application = new QCoreApplication(*argc, *argv);
    (void)application;
    TIFFSetErrorHandler(libtiffPrinted);
    TIFFSetWarningHandler(libtiffPrinted);
    // A budget of 1 MB, so that the frames of longer stacks are dropped after the open and
    // decoded again when asked for, as a stack larger than the memory is; a larger frame is
    // refused.
    orvik::setFrameMemoryBudget(1024 * 1024);
    inputFolder();
    std::atexit(removeInputFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = QString::fromStdString((inputFolder() / "input.tif").string());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            finding("cannot write input");
    }
    try {
        checkStack(orvik::loadPictureStack(path), path);
    } catch (const orvik::ImageLoadError& error) {
        if (!isAllowedRefusal(error.what(), path.toStdString()))
            finding(std::string("unexpected refusal text \"") + error.what() + "\"");
    } catch (const std::exception& error) {
        finding(std::string("exception other than ImageLoadError: ") + error.what());
    } catch (...) {
        finding("exception of an unknown type");
    }
    return 0;
}
