// Tests of the TIFF reader, the frames' grey mapping, calibration and frames folders, on files
// the tests write themselves.
#include "bad_pictures.h"
#include "bitmap_folder.h"
#include "grey_pass.h"
#include "image_test_support.h"
#include "picture_stack.h"
#include "pictures.h"
#include "tiff_files.h"

#include <QDir>
#include <QFile>
#include <QSize>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <gtest/gtest.h>
#include <thread>
#include <tiffio.h>
#include <zlib.h>

namespace orvik::test {
namespace {

// The grey a page's raw values must give through a range, computed on its own.
std::vector<std::uint8_t> expectedGrey(const TiffPage& page, DisplayRange range) {
    std::vector<std::uint8_t> grey;
    for (std::size_t i = 0; i < page.samples.size(); i += std::size_t(page.channels)) {
        const std::uint32_t* s = &page.samples[i];
        const double value = page.channels == 1 ? s[0]
                                                : greyValue(std::uint8_t(s[2]), std::uint8_t(s[1]),
                                                            std::uint8_t(s[0]));
        const double scaled = (value - range.low) * 255.0 / std::max(1, range.high - range.low);
        grey.push_back(value <= range.low    ? 0
                       : value >= range.high ? 255
                                             : std::uint8_t(std::lround(scaled)));
    }
    return grey;
}

std::vector<std::uint32_t> rawFrame(const FrameStack& frames, int frame) {
    const std::size_t n = frames.samplesPerFrame();
    if (frames.layout() == SampleLayout::Grey16) {
        const auto samples = frames.frame16(frame);
        return {samples.get(), samples.get() + n};
    }
    const auto samples = frames.frame8(frame);
    return {samples.get(), samples.get() + n};
}

std::string stackError(const QString& path) {
    try {
        (void)loadPictureStack(path);
    } catch (const ImageLoadError& error) {
        return error.what();
    }
    return "";
}

// What reaches libtiff's process-wide handlers, which would print it on the standard error.
std::string printed;
void recordPrinted(const char*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    printed += text;
}

class TiffTest : public ::testing::Test {
protected:
    void SetUp() override {
        printed.clear();
        errors_ = TIFFSetErrorHandler(recordPrinted);
        warnings_ = TIFFSetWarningHandler(recordPrinted);
    }
    void TearDown() override {
        EXPECT_EQ(printed, "");
        TIFFSetErrorHandler(errors_);
        TIFFSetWarningHandler(warnings_);
    }
    BitmapFolder folder_;

private:
    TIFFErrorHandler errors_ = nullptr, warnings_ = nullptr;
};

const TiffPage grey8 = patterned({.width = 5, .height = 7}, 0, 256);
const TiffPage grey16 = patterned({.width = 20, .height = 18, .bits = 16}, 1000, 2000);

TEST_F(TiffTest, PagesLayoutsAndCalibrationsReadAsWritten) {
    struct Case {
        const char* name;
        std::vector<TiffPage> pages;
        double micrometres = 0; // the pixel size; 0: not known
        double spacing = 0;
    };
    const TiffPage tiled16{.width = 20, .height = 18, .bits = 16, .tiled = true};
    const TiffPage lzw16{.width = 20, .height = 18, .bits = 16, .compression = COMPRESSION_LZW};
    const TiffPage planes{.width = 17, .channels = 3, .tiled = true, .separatePlanes = true};
    const std::string imageJ = "ImageJ=1.54f\nunit=micron\nspacing=0.5\n";
    const std::vector<Case> cases = {
        {"grey8", {grey8}},
        {"grey16-tiles-pages",
         {patterned(tiled16, 1000, 2000), patterned(tiled16, 1500, 2500),
          patterned(lzw16, 900, 100)}},
        {"rgb-planes-tiles", {patterned(planes, 0, 256)}},
        {"300-dpi",
         {patterned({.xResolution = 300, .resolutionUnit = RESUNIT_INCH}, 0, 256)},
         84.666667},
        {"per-cm",
         {patterned({.xResolution = 5000, .resolutionUnit = RESUNIT_CENTIMETER}, 0, 256)},
         2},
        {"imagej",
         {patterned({.bits = 16, .xResolution = 4, .description = imageJ}, 0, 9)},
         0.25,
         0.5},
        {"proportions-only", {patterned({.xResolution = 4}, 0, 256)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder_.path(QString(c.name) + ".tif");
        writeTiff(path, c.pages);
        const PictureStack stack = loadPictureStack(path);
        const TiffPage& first = c.pages[0];
        ASSERT_EQ(stack.frames.frameCount(), int(c.pages.size()));
        EXPECT_EQ(stack.frames.layout(), first.bits == 16      ? SampleLayout::Grey16
                                         : first.channels == 3 ? SampleLayout::Rgb8
                                                               : SampleLayout::Grey8);
        EXPECT_EQ(QSize(stack.frames.width(), stack.frames.height()),
                  QSize(first.width, first.height));
        std::vector<std::uint32_t> all;
        for (const TiffPage& page : c.pages)
            all.insert(all.end(), page.samples.begin(), page.samples.end());
        const auto [low, high] = std::minmax_element(all.begin(), all.end());
        const DisplayRange range = first.bits == 16
                                       ? DisplayRange{std::uint16_t(*low), std::uint16_t(*high)}
                                       : DisplayRange{0, 255};
        EXPECT_EQ(stack.range, range);
        for (int frame = 0; frame < stack.frames.frameCount(); ++frame) {
            SCOPED_TRACE(frame);
            const TiffPage& page = c.pages[std::size_t(frame)];
            EXPECT_EQ(rawFrame(stack.frames, frame), page.samples);
            const GreyImage store = frameImage(stack, frame);
            EXPECT_EQ(storeInconsistency(store), "");
            EXPECT_EQ(greyBuffer(store), expectedGrey(page, range));
            // Another range maps the frame anew, clamping on both sides.
            const DisplayRange narrow{std::uint16_t(range.low + 4),
                                      std::uint16_t(range.high / 2 + 3)};
            EXPECT_EQ(greyBuffer(greyFrame(stack.frames, frame, narrow)),
                      expectedGrey(page, narrow));
        }
        // The single-picture loader shows the first frame through the same range.
        EXPECT_EQ(greyBuffer(loadGreyImage(path)), greyBuffer(frameImage(stack, 0)));
        EXPECT_EQ(stack.calibration.known, c.micrometres > 0);
        EXPECT_EQ(stack.calibration.unit, c.micrometres > 0 ? "µm" : "pixel");
        EXPECT_NEAR(stack.calibration.pixelSize, c.micrometres > 0 ? c.micrometres : 1, 1e-6);
        EXPECT_EQ(stack.calibration.frameSpacing, c.spacing);
    }
}

// 8-bit TIFF files of every kind the toolkit writes keep the grey its own reader gave them.
TEST_F(TiffTest, EightBitKindsKeepTheToolkitsGrey) {
    QImage picture(37, 11, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y,
                             qRgba(x * 53 % 256, (x * 11 + y * 91) % 256, (x ^ y) * 9 % 256,
                                   y < 5 ? 255 : 40 + x));
    for (const QImage::Format format :
         {QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_Grayscale8,
          QImage::Format_ARGB32, QImage::Format_RGBA64, QImage::Format_RGB888}) {
        SCOPED_TRACE(format);
        const QString path = folder_.path("kind.tif");
        ASSERT_TRUE(picture.convertToFormat(format).save(path, "TIFF"));
        EXPECT_EQ(greyBuffer(loadGreyImage(path)), lumaOfDecodedFile(path));
    }
}

TEST_F(TiffTest, BadFilesNameTheFileAndThePage) {
    const QByteArray twoPages = writeTiff(folder_.path("two.tif"), {grey16, grey16});
    const QByteArray oneStrip =
        writeTiff(folder_.path("one.tif"), {patterned({.width = 9, .height = 2}, 0, 9)});
    const std::vector<BadPicture> cases = {
        {"cut-short.tif",
         withTag(oneStrip, TIFFTAG_STRIPOFFSETS, std::uint32_t(oneStrip.size() - 5)),
         "page 1 of the TIFF picture in it is damaged or cut short"},
        {"second-page-cut.tif", twoPages.left(twoPages.size() * 9 / 10),
         "page 2 of the TIFF picture in it is damaged or cut short"},
        {"mixed-sizes.tif",
         writeTiff(folder_.path("s.tif"), {grey16, patterned({.width = 21, .height = 18}, 0, 9)}),
         "page 2 is 21 x 18 pixels, not 20 x 18 as the first page"},
        {"mixed-depths.tif",
         writeTiff(folder_.path("d.tif"), {patterned({.width = 20, .height = 18}, 0, 9), grey16}),
         "page 2 holds 16-bit grey, not 8-bit grey as the first page"},
        {"float.tif",
         writeTiff(folder_.path("f.tif"), {patterned({.bits = 32, .floating = true}, 0, 9)}),
         "page 1 holds 32-bit floating-point samples, where only 8- and 16-bit grey and 8-bit "
         "colour can be read"},
        {"missing-offsets.tif", withTag(oneStrip, TIFFTAG_STRIPOFFSETS, 0, true),
         "page 1 of the TIFF picture in it is damaged or cut short"},
        {"no-byte-count.tif", withTag(oneStrip, TIFFTAG_STRIPBYTECOUNTS, 0),
         "page 1 of the TIFF picture in it is damaged or cut short"},
        {"zero-width.tif", withTag(oneStrip, TIFFTAG_IMAGEWIDTH, 0),
         "page 1 of the TIFF picture in it is damaged or cut short"},
        {"huge.tif",
         withTag(withTag(oneStrip, TIFFTAG_IMAGEWIDTH, 30000), TIFFTAG_IMAGELENGTH, 30000),
         "page 1 is too large, 30000 x 30000 pixels where at most 134217728 pixels (512 MB at 4 "
         "bytes each) can be read"},
        {"wide.tif", withTag(oneStrip, TIFFTAG_IMAGEWIDTH, 40000),
         "page 1 is too large, 40000 x 2 pixels where at most 32767 in each direction can be read"},
        {"text.tiff", "not a picture\n", "its content is not a picture in the TIFF format"},
    };
    for (const BadPicture& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString path = folder_.write(c.name, c.content);
        EXPECT_EQ(stackError(path), unreadableMessage(path, c).toStdString());
        EXPECT_EQ(loadError(path), unreadableMessage(path, c).toStdString());
    }
}

TEST_F(TiffTest, FramesFoldersAndPngCalibration) {
    // Ordered by the last number in the name; names without one and other files are left out.
    QDir(folder_.path("")).mkdir("stack");
    const std::vector<TiffPage> frames = {patterned({.bits = 16}, 10, 90),
                                          patterned({.bits = 16}, 300, 50),
                                          patterned({.bits = 16}, 5, 20)};
    for (int i = 0; i < 3; ++i)
        writeTiff(folder_.path(QStringList{"stack/t1.tif", "stack/t02.tif", "stack/t10.tif"}[i]),
                  {frames[i]});
    writeTiff(folder_.path("stack/cover.tif"), {grey8});
    folder_.write("stack/notes7.txt", QByteArray("not a picture"));
    const PictureStack stack = loadPictureStack(folder_.path("stack"));
    ASSERT_EQ(stack.frames.frameCount(), 3);
    for (int frame = 0; frame < 3; ++frame)
        EXPECT_EQ(rawFrame(stack.frames, frame), frames[std::size_t(frame)].samples);
    EXPECT_EQ(stack.range, (DisplayRange{5, 349}));

    // 8-bit grey and colour pictures make a colour stack; another size is refused by name.
    QDir(folder_.path("")).mkdir("mixed");
    QImage colour(5, 4, QImage::Format_RGB32);
    colour.fill(qRgb(200, 100, 50));
    colour.save(folder_.path("mixed/a1.png"));
    folder_.write("mixed/a2.bmp", uniformPicture(5, 4, 77));
    const PictureStack mixed = loadPictureStack(folder_.path("mixed"));
    EXPECT_EQ(greyBuffer(frameImage(mixed, 0)),
              std::vector<std::uint8_t>(20, greyValue(50, 100, 200)));
    EXPECT_EQ(greyBuffer(frameImage(mixed, 1)), std::vector<std::uint8_t>(20, 77));
    const QString odd = folder_.write("mixed/a3.bmp", uniformPicture(6, 4, 0));
    EXPECT_EQ(stackError(folder_.path("mixed")), "Cannot read file " + odd.toStdString() +
                                                     ": it is 6 x 4 pixels, not 5 x 4 as a1.png");
    QDir(folder_.path("")).mkdir("empty");
    EXPECT_EQ(stackError(folder_.path("empty")), "Cannot read folder " +
                                                     folder_.path("empty").toStdString() +
                                                     ": it holds no numbered pictures");

    // A PNG's pHYs chunk gives the pixel size; without the chunk there is none.
    QImage scaled = uniformPicture(3, 3, 9);
    scaled.setDotsPerMeterX(4000);
    ASSERT_TRUE(scaled.save(folder_.path("scaled.png")));
    const Calibration calibration = loadPictureStack(folder_.path("scaled.png")).calibration;
    EXPECT_TRUE(calibration.known);
    EXPECT_DOUBLE_EQ(calibration.pixelSize, 250.0);
    EXPECT_EQ(calibration.unit, "µm");
    EXPECT_FALSE(loadPictureStack(folder_.write("plain.png", blackPng(4, 4))).calibration.known);
    // A density of 0 (which the toolkit neither writes nor reports), or of 1 pixel a metre,
    // is no calibration.
    for (const char perMetre : {0, 1}) {
        QFile file(folder_.path("scaled.png"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray png = file.readAll();
        const qsizetype chunk = png.indexOf("pHYs");
        png.replace(chunk + 4, 4, QByteArray(3, 0) + perMetre);
        const auto crc = crc32(0, reinterpret_cast<const Bytef*>(png.constData() + chunk), 13);
        png.replace(chunk + 13, 4,
                    QByteArray::fromHex(QByteArray::number(uint(crc), 16).rightJustified(8, '0')));
        const QString path = folder_.write(QStringLiteral("density%1.png").arg(int(perMetre)), png);
        EXPECT_FALSE(loadPictureStack(path).calibration.known) << int(perMetre);
    }
}

// The stack at `path` loaded with room for `frames` of its frames (all of them when 0).
PictureStack loadWithin(const QString& path, int frames) {
    setFrameMemoryBudget(0);
    PictureStack stack = loadPictureStack(path);
    const std::size_t frameBytes =
        stack.frames.samplesPerFrame() * (stack.frames.layout() == SampleLayout::Grey16 ? 2 : 1);
    if (frames > 0) {
        setFrameMemoryBudget(std::uint64_t(frames) * frameBytes);
        stack = loadPictureStack(path);
        setFrameMemoryBudget(0);
    }
    return stack;
}

TEST_F(TiffTest, StacksBeyondTheMemoryBudgetAreReadBackWhole) {
    // Each case loads once with room for every frame and once with room for two, and must give
    // the same samples, range and grey; with room for two, the rest are decoded again.
    const std::vector<TiffPage> movie = discMovie(12);
    writeTiff(folder_.path("movie.tif"), movie);
    // Six pages whose strips all point at the first page's.
    const TiffPage first = patterned({.width = 30, .height = 2, .bits = 16}, 5000, 9000);
    std::vector<TiffPage> pages(6, patterned(first, 0, 4000));
    pages[0] = first;
    folder_.write("shared.tif", sharingFirstStrip(writeTiff(folder_.path("shared.tif"), pages)));
    QDir(folder_.path("")).mkdir("mixed");
    for (int i = 1; i <= 6; ++i) {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(i % 2 ? qRgb(20 * i, 10 * i, 5 * i) : qRgb(9 * i, 9 * i, 9 * i));
        picture.save(folder_.path(QStringLiteral("mixed/f%1.png").arg(i)));
    }
    for (const char* name : {"movie.tif", "shared.tif", "mixed"}) {
        const PictureStack whole = loadWithin(folder_.path(name), 0);
        const PictureStack small = loadWithin(folder_.path(name), 2);
        EXPECT_EQ(whole.frames.framesHeld(), whole.frames.frameCount()) << name;
        EXPECT_EQ(small.frames.framesHeld(), 2) << name;
        ASSERT_EQ(small.frames.frameCount(), whole.frames.frameCount());
        EXPECT_EQ(small.range, whole.range);
        for (int f = whole.frames.frameCount() - 1; f >= 0; --f) {
            EXPECT_EQ(rawFrame(small.frames, f), rawFrame(whole.frames, f)) << name << f;
            EXPECT_EQ(greyBuffer(frameImage(small, f)), greyBuffer(frameImage(whole, f)));
        }
    }
    // Every page of the shared file is its first page's samples, decoded again or not.
    const PictureStack shared = loadWithin(folder_.path("shared.tif"), 1);
    const auto [low, high] = std::minmax_element(first.samples.begin(), first.samples.end());
    EXPECT_EQ(shared.range, (DisplayRange{std::uint16_t(*low), std::uint16_t(*high)}));
    EXPECT_EQ(rawFrame(shared.frames, 5), first.samples);

    // A frame that can't be decoded again names the file; one frame beyond the budget, the
    // amounts.
    const QString path = folder_.path("movie.tif");
    for (const bool removed : {false, true}) {
        writeTiff(path, movie);
        const PictureStack small = loadWithin(path, 2);
        if (removed)
            QFile::remove(path);
        else
            writeTiff(path, discMovie(3));
        const std::string reason = removed ? "it cannot be read again for its frames"
                                           : "it has changed since it was opened";
        try {
            (void)small.frames.frame16(11);
            ADD_FAILURE() << "no error";
        } catch (const ImageLoadError& error) {
            EXPECT_EQ(std::string(error.what())
                          .rfind("Cannot read file " + path.toStdString() + ": " + reason, 0),
                      0u)
                << error.what();
        }
    }
    writeTiff(path, movie);
    setFrameMemoryBudget(20000);
    EXPECT_EQ(stackError(path), "Cannot read file " + path.toStdString() +
                                    ": one frame of it takes 23.4 KiB, more than the 19.5 KiB of "
                                    "memory its frames may use");
    setFrameMemoryBudget(0);
}

TEST_F(TiffTest, FramesDecodedAgainOnTwoThreadsAtOnce) {
    writeTiff(folder_.path("movie.tif"), discMovie(8));
    const PictureStack whole = loadWithin(folder_.path("movie.tif"), 0);
    const PictureStack small = loadWithin(folder_.path("movie.tif"), 1);
    std::vector<std::vector<std::uint32_t>> forward(8), backward(8);
    std::thread other([&] {
        for (int f = 7; f >= 0; --f)
            backward[std::size_t(f)] = rawFrame(small.frames, f);
    });
    for (int f = 0; f < 8; ++f)
        forward[std::size_t(f)] = rawFrame(small.frames, f);
    other.join();
    for (int f = 0; f < 8; ++f) {
        EXPECT_EQ(forward[std::size_t(f)], rawFrame(whole.frames, f)) << f;
        EXPECT_EQ(backward[std::size_t(f)], rawFrame(whole.frames, f)) << f;
    }
}

} // namespace
} // namespace orvik::test
