// libFuzzer target over the loading path: any bytes, read as a file under one of the
// extensions the loader may meet, give either a complete grey image store or one of the
// loader's error texts. Anything else (another exception, a store whose parts disagree, a
// crash or a sanitizer report) is a finding.
#include "grey_image.h"
#include "load_image_formats.h"
#include "store_checks.h"
#include "tiff_causes.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdlib.h>
#include <string>

namespace {

using orvik::fuzzing::extensionFor;

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "load_image_fuzzer: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// The folder the inputs are written to, removed when the fuzzer exits.
const std::filesystem::path& inputFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvik-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) finding("no temporary folder");
        return std::filesystem::path(pattern);
    }();
    return folder;
}

void removeInputFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(inputFolder(), ignored);
}

bool readerKnows(std::string_view extension) {
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains(QByteArray(extension.data(), qsizetype(extension.size())).toLower());
}

// The causes a picture of another format than BMP may be refused for, after "Cannot read
// file PATH: "; a TIFF file's name its page.
bool isAllowedCause(const std::string& cause) {
    for (const char* allowed : {"the file is empty", "its content is not a picture in the ",
                                "it holds a picture in the ", "the picture is too large, "})
        if (cause.rfind(allowed, 0) == 0) return true;
    if (orvik::fuzzing::isTiffPageCause(cause)) return true;
    return cause.size() > 40 && cause.rfind("the ", 0) == 0 &&
           cause.ends_with(" picture in it is damaged or cut short");
}

// The texts a refusal may carry for a file that exists and whose extension the reader knows:
// a bitmap's one text, or another format's file name and cause.
bool isAllowedRefusal(const std::string& text, std::string_view extension,
                      const std::string& path) {
    if (text == "Image too large for the available memory") return true;
    // "Image too large: W x H pixels (at most 32767 in each direction)", only beyond 32767.
    int width = 0, height = 0;
    char tail[64] = {};
    if (std::sscanf(text.c_str(), "Image too large: %d x %d pixels (at most 32767 in each %63[^)])",
                    &width, &height, tail) == 3)
        return (width > orvik::MaxImageSide || height > orvik::MaxImageSide) &&
               std::string(tail) == "direction" && text.back() == ')';
    if (QByteArray(extension.data(), qsizetype(extension.size())).toLower() == "bmp")
        return text == "Bitmap image is not valid";
    const std::string prefix = "Cannot read file " + path + ": ";
    return text.rfind(prefix, 0) == 0 && isAllowedCause(text.substr(prefix.size()));
}

void checkStore(orvik::GreyImage& store) {
    const std::string inconsistency = orvik::test::storeInconsistency(store);
    if (!inconsistency.empty()) finding("inconsistent store: " + inconsistency);
    const std::int64_t width = store.ImageWidth;
    const std::int64_t height = store.ImageHeight;
    if (width > orvik::MaxImageSide || height > orvik::MaxImageSide)
        finding("loaded size out of range: " + std::to_string(width) + " x " +
                std::to_string(height));
    if (width * height * 4 > (std::int64_t{orvik::ImageAllocationLimitMB} << 20))
        finding("loaded picture beyond the allocation limit");
    const std::uint8_t* grey = store.GreyData.get();

    // Scribble over the display the way a contour does, then a refresh must restore it.
    for (int y = 0; y < height; y += 7) {
        std::uint8_t* row = store.Display.scanLine(y);
        for (int x = y % 5; x < width; x += 3)
            row[3 * x + 2] = std::uint8_t(~row[3 * x + 2]);
    }
    orvik::refreshDisplay(store);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* pixel = store.Display.constScanLine(y);
        for (int x = 0; x < width; ++x, pixel += 3)
            if (pixel[2] != grey[y * width + x]) finding("refresh left a drawing behind");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The reader finds its plugins through the application object. It lives until the
    // process ends and is never destroyed: at exit the toolkit's own statics may already be
    // gone, and destroying it then crashes.
    static QCoreApplication* const application = new QCoreApplication(*argc, *argv);
    (void)application;
    // The decoders' warnings about broken files would bury the fuzzer's own output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtFatalMsg) finding("toolkit fatal message: " + text.toStdString());
    });
    inputFolder();
    std::atexit(removeInputFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view extension = extensionFor(data[0]);
    if (orvik::fuzzing::isExcluded(extension)) return -1; // not worth keeping in the corpus
    const QString path =
        QString::fromStdString((inputFolder() / ("input." + std::string(extension))).string());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) finding("cannot write input");
        const auto length = qint64(size - 1);
        if (file.write(reinterpret_cast<const char*>(data + 1), length) != length)
            finding("cannot write input");
    }

    try {
        orvik::GreyImage store = orvik::loadGreyImage(path);
        if (!readerKnows(extension)) finding("loaded a file whose extension no reader knows");
        checkStore(store);
    } catch (const orvik::ImageLoadError& error) {
        const std::string text = error.what();
        if (!readerKnows(extension)) {
            const std::string expected =
                "Unknown picture file extension (." + std::string(extension) + ")";
            if (text != expected) finding("unknown extension gave \"" + text + "\"");
        } else if (!isAllowedRefusal(text, extension, path.toStdString())) {
            finding("unexpected refusal text \"" + text + "\"");
        }
    } catch (const std::exception& error) {
        finding(std::string("exception other than ImageLoadError: ") + error.what());
    } catch (...) {
        finding("exception of an unknown type");
    }
    return 0;
}
