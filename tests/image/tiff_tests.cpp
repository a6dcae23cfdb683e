// Tests of the TIFF reader, the frame store's grey mapping, calibration and frames folders,
// on files the tests write themselves.
#include "bad_pictures.h"
#include "bitmap_folder.h"
#include "grey_image.h"
#include "grey_pass.h"
#include "image_test_support.h"
#include "picture_stack.h"
#include "pictures.h"
#include "stderr_capture.h"
#include "tiff_files.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace orvik::test {
namespace {

// The grey the engine must see for raw values through a range, computed on its own.
std::vector<std::uint8_t> expectedGrey(const TiffPage& page, DisplayRange range) {
    std::vector<std::uint8_t> grey;
    for (std::size_t i = 0; i < page.samples.size(); i += std::size_t(page.channels)) {
        const std::uint32_t* s = &page.samples[i];
        const double value = page.channels == 3 ? greyValue(std::uint8_t(s[2]), std::uint8_t(s[1]),
                                                            std::uint8_t(s[0]))
                                                : s[0];
        const double scaled = (value - range.low) * 255.0 / std::max(1, range.high - range.low);
        grey.push_back(value <= range.low    ? 0
                       : value >= range.high ? 255
                                             : std::uint8_t(std::lround(scaled)));
    }
    return grey;
}

std::vector<std::uint32_t> rawFrame(const FrameStack& frames, int frame) {
    const std::size_t n = frames.samplesPerFrame();
    if (frames.layout() == SampleLayout::Grey16)
        return {frames.frame16(frame), frames.frame16(frame) + n};
    return {frames.frame8(frame), frames.frame8(frame) + n};
}

std::string stackError(const QString& path) {
    try {
        (void)loadPictureStack(path);
    } catch (const ImageLoadError& error) {
        return error.what();
    }
    return "";
}

TiffPage with(TiffPage page, const std::function<void(TiffPage&)>& change) {
    change(page);
    return page;
}

TEST(TiffTest, PagesLayoutsAndCalibrationsReadAsWritten) {
    BitmapFolder folder;
    const TiffPage grey8 = patternPage(5, 7, 8, 1, 0, 256);
    const TiffPage grey16 = patternPage(20, 18, 16, 1, 1000, 2000);
    const TiffPage rgb = patternPage(6, 5, 8, 3, 0, 256);
    struct Case {
        const char* name;
        std::vector<TiffPage> pages;
        SampleLayout layout;
        Calibration calibration;
    };
    const Calibration none;
    const std::vector<Case> cases = {
        {"grey8", {grey8}, SampleLayout::Grey8, none},
        {"grey16-tiles-pages",
         {with(grey16, [](TiffPage& p) { p.tiled = true; }),
          with(patternPage(20, 18, 16, 1, 1500, 2500), [](TiffPage& p) { p.tiled = true; }),
          patternPage(20, 18, 16, 1, 900, 100)},
         SampleLayout::Grey16,
         none},
        {"rgb-lzw",
         {with(rgb, [](TiffPage& p) { p.compression = COMPRESSION_LZW; })},
         SampleLayout::Rgb8,
         none},
        {"rgb-planes-tiles",
         {with(rgb, [](TiffPage& p) { p.separatePlanes = p.tiled = true; })},
         SampleLayout::Rgb8,
         none},
        {"300-dpi",
         {with(grey8, [](TiffPage& p) { p.xResolution = 300, p.resolutionUnit = 2; })},
         SampleLayout::Grey8,
         {true, 25400.0 / 300, "µm", 0}},
        {"per-cm",
         {with(grey8, [](TiffPage& p) { p.xResolution = 5000, p.resolutionUnit = 3; })},
         SampleLayout::Grey8,
         {true, 2.0, "µm", 0}},
        {"imagej",
         {with(grey16,
               [](TiffPage& p) {
                   p.xResolution = 4, p.resolutionUnit = 1;
                   p.description = "ImageJ=1.54f\nimages=1\nunit=micron\nspacing=0.5\n";
               })},
         SampleLayout::Grey16,
         {true, 0.25, "µm", 0.5}},
        {"aspect-only",
         {with(grey8, [](TiffPage& p) { p.xResolution = 4, p.resolutionUnit = 1; })},
         SampleLayout::Grey8,
         none},
    };
    const StderrCapture capture;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder.path(QString(c.name) + ".tif");
        writeTiff(path, c.pages);
        const PictureStack stack = loadPictureStack(path);
        ASSERT_EQ(stack.frames.frameCount(), int(c.pages.size()));
        EXPECT_EQ(stack.frames.layout(), c.layout);
        EXPECT_EQ(stack.frames.width(), c.pages[0].width);
        EXPECT_EQ(stack.frames.height(), c.pages[0].height);
        DisplayRange range{0, 255};
        if (c.layout == SampleLayout::Grey16) {
            range = {65535, 0};
            for (const TiffPage& page : c.pages)
                for (const std::uint32_t value : page.samples)
                    range = {std::min(range.low, std::uint16_t(value)),
                             std::max(range.high, std::uint16_t(value))};
        }
        EXPECT_EQ(stack.range, range);
        for (int frame = 0; frame < stack.frames.frameCount(); ++frame) {
            SCOPED_TRACE(frame);
            EXPECT_EQ(rawFrame(stack.frames, frame), c.pages[std::size_t(frame)].samples);
            const GreyImage store = frameImage(stack, frame);
            EXPECT_EQ(storeInconsistency(store), "");
            EXPECT_EQ(greyBuffer(store), expectedGrey(c.pages[std::size_t(frame)], range));
            // Another range: the picture is mapped anew, clamping on both sides.
            const DisplayRange narrow{std::uint16_t(range.low + 40),
                                      std::uint16_t(range.high / 2 + 30)};
            EXPECT_EQ(greyBuffer(greyFrame(stack.frames, frame, narrow)),
                      expectedGrey(c.pages[std::size_t(frame)], narrow));
        }
        // The single-picture loader shows the first frame through the same range.
        EXPECT_EQ(greyBuffer(loadGreyImage(path)), greyBuffer(frameImage(stack, 0)));
        EXPECT_EQ(stack.calibration.known, c.calibration.known);
        EXPECT_EQ(stack.calibration.unit, c.calibration.unit);
        EXPECT_NEAR(stack.calibration.pixelSize, c.calibration.pixelSize, 1e-6);
        EXPECT_EQ(stack.calibration.frameSpacing, c.calibration.frameSpacing);
    }
    EXPECT_EQ(capture.text(), "");
}

TEST(TiffTest, BadFilesNameTheFileAndThePageAndSayNothingOnStandardError) {
    BitmapFolder folder;
    const TiffPage grey16 = patternPage(20, 18, 16, 1, 1000, 2000);
    auto pages = [&](const char* name, const std::vector<TiffPage>& written) {
        writeTiff(folder.path(name), written);
        QFile file(folder.path(name));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    };
    const QByteArray twoPages = pages("two.tif", {grey16, grey16});
    const QByteArray small = tiffClaiming(8, 4, 32);
    const std::vector<BadPicture> cases = {
        {"cut-short.tif", small.left(small.size() - 10),
         "page 1 of the TIFF picture in it is damaged or cut short"},
        {"second-page-cut.tif", twoPages.left(twoPages.size() * 9 / 10),
         "page 2 of the TIFF picture in it is damaged or cut short"},
        {"mixed-sizes.tif", pages("sizes.tif", {grey16, patternPage(21, 18, 16, 1, 0, 9)}),
         "page 2 is 21 x 18 pixels, not 20 x 18 as the first page"},
        {"mixed-depths.tif", pages("depths.tif", {patternPage(20, 18, 8, 1, 0, 9), grey16}),
         "page 2 holds 16-bit grey, not 8-bit grey as the first page"},
        {"float.tif",
         pages("float.tif",
               {with(patternPage(3, 2, 32, 1, 0, 9), [](TiffPage& p) { p.floating = true; })}),
         "page 1 holds 32-bit floating-point samples, where only 8- and 16-bit grey and 8-bit "
         "colour can be read"},
        {"zero-width.tif", tiffClaiming(0, 4, 4),
         "page 1 of the TIFF picture in it is damaged or cut short"},
        {"huge.tif", tiffClaiming(30000, 30000, 16),
         "page 1 is too large, 30000 x 30000 pixels where at most 134217728 pixels (512 MB at 4 "
         "bytes each) can be read"},
        {"wide.tif", tiffClaiming(40000, 2, 16),
         "page 1 is too large, 40000 x 2 pixels where at most 32767 in each direction can be read"},
        {"text.tif", "not a picture\n", "its content is not a picture in the TIFF format"},
        {"empty.tiff", "", "the file is empty"},
    };
    const StderrCapture capture;
    for (const BadPicture& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString path = folder.write(c.name, c.content);
        const std::string expected = unreadableMessage(path, c).toStdString();
        EXPECT_EQ(stackError(path), expected);
        EXPECT_EQ(loadError(path), expected);
    }
    EXPECT_EQ(capture.text(), "");
}

TEST(TiffTest, FramesFoldersAndPngCalibration) {
    BitmapFolder folder;
    ASSERT_TRUE(QDir(folder.path("")).mkdir("stack"));
    const auto at = [&](const char* name) { return folder.path(QString("stack/") + name); };
    const std::vector<TiffPage> frames = {patternPage(6, 4, 16, 1, 10, 90),
                                          patternPage(6, 4, 16, 1, 300, 50),
                                          patternPage(6, 4, 16, 1, 5, 20)};
    writeTiff(at("t1.tif"), {frames[0]});
    writeTiff(at("t02.tif"), {frames[1]});
    writeTiff(at("t10.tif"), {frames[2]});
    writeTiff(at("cover.tif"), {patternPage(9, 9, 8, 1, 0, 9)}); // no number: left out
    folder.write("stack/notes7.txt", QByteArray("not a picture"));
    const PictureStack stack = loadPictureStack(folder.path("stack"));
    ASSERT_EQ(stack.frames.frameCount(), 3);
    for (int frame = 0; frame < 3; ++frame)
        EXPECT_EQ(rawFrame(stack.frames, frame), frames[std::size_t(frame)].samples);
    EXPECT_EQ(stack.range, (DisplayRange{5, 349}));

    // 8-bit grey and colour pictures make a colour stack; another size is refused by name.
    ASSERT_TRUE(QDir(folder.path("")).mkdir("mixed"));
    QImage colour(5, 4, QImage::Format_RGB32);
    colour.fill(qRgb(200, 100, 50));
    colour.save(folder.path("mixed/a1.png"));
    folder.write("mixed/a2.bmp", uniformPicture(5, 4, 77));
    const PictureStack mixed = loadPictureStack(folder.path("mixed"));
    EXPECT_EQ(mixed.frames.layout(), SampleLayout::Rgb8);
    EXPECT_EQ(greyBuffer(frameImage(mixed, 0)),
              std::vector<std::uint8_t>(20, greyValue(50, 100, 200)));
    EXPECT_EQ(greyBuffer(frameImage(mixed, 1)), std::vector<std::uint8_t>(20, 77));
    const QString odd = folder.write("mixed/a3.bmp", uniformPicture(6, 4, 0));
    EXPECT_EQ(stackError(folder.path("mixed")), "Cannot read file " + odd.toStdString() +
                                                    ": it is 6 x 4 pixels, not 5 x 4 as a1.png");
    ASSERT_TRUE(QDir(folder.path("")).mkdir("empty"));
    EXPECT_EQ(stackError(folder.path("empty")), "Cannot read folder " +
                                                    folder.path("empty").toStdString() +
                                                    ": it holds no numbered pictures");

    // A PNG's pHYs chunk gives the pixel size; without the chunk there is none.
    QImage scaled = uniformPicture(3, 3, 9);
    scaled.setDotsPerMeterX(4000);
    scaled.setDotsPerMeterY(4000);
    ASSERT_TRUE(scaled.save(folder.path("scaled.png")));
    const Calibration calibration = loadPictureStack(folder.path("scaled.png")).calibration;
    EXPECT_TRUE(calibration.known);
    EXPECT_DOUBLE_EQ(calibration.pixelSize, 250.0);
    EXPECT_EQ(calibration.unit, "µm");
    EXPECT_FALSE(loadPictureStack(folder.write("plain.png", blackPng(4, 4))).calibration.known);
}

} // namespace
} // namespace orvik::test
