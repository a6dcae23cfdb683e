// Tests of the grey image store on bitmap files that the tests write themselves.
#include "bad_pictures.h"
#include "bitmap_folder.h"
#include "bmp_file.h"
#include "bmp_guard.h"
#include "grey_image.h"
#include "grey_pass.h"
#include "image_test_support.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace orvik::test {
namespace {

constexpr const char* NotValid = "Bitmap image is not valid";

// The highest resident memory of the process so far, in bytes.
long peakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss * 1024L;
}

class GreyImageTest : public ::testing::Test {
protected:
    QString pathOf(const QString& name) const { return folder_.path(name); }
    QString write(const QString& name, const QByteArray& bytes) {
        return folder_.write(name, bytes);
    }

private:
    BitmapFolder folder_;
};

// A well-mixed value for each pixel, so that a shifted row or a swapped row order shows.
std::uint32_t scramble(int x, int y) {
    std::uint32_t h = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return h ^ (h >> 15);
}

// Width × height pixels in the encoding; the top row uses palette entry 0 (or black) and the
// bottom row entry 1 (or white) so that the row order always matters.
BmpPicture testPicture(BmpEncoding encoding, int width, int height) {
    BmpPicture picture;
    picture.width = width;
    picture.height = height;
    auto rowMark = [height](int y) { return y == 0 ? 0 : y == height - 1 ? 1 : -1; };
    if (usesPalette(encoding)) {
        const int colours = encoding == BmpEncoding::Palette1   ? 2
                            : encoding == BmpEncoding::Palette4 ? 12
                                                                : 200;
        for (int k = 0; k < colours; ++k)
            picture.palette.push_back(
                {std::uint8_t(k * 37 + 11), std::uint8_t(k * 91 + 7), std::uint8_t(k * 53 + 200)});
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                // RLE8 gets runs on the left half and differing neighbours on the right.
                const int column = encoding == BmpEncoding::Rle8 && x < width / 2 ? x / 4 : x;
                const int mark = rowMark(y);
                picture.indices.push_back(
                    std::uint8_t(mark >= 0 ? mark : scramble(column, y) % colours));
            }
    } else {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t h = scramble(x, y);
                const int mark = rowMark(y);
                picture.colours.push_back(mark == 0   ? Rgb{0, 0, 0}
                                          : mark == 1 ? Rgb{255, 255, 255}
                                                      : Rgb{std::uint8_t(h), std::uint8_t(h >> 8),
                                                            std::uint8_t(h >> 16)});
            }
    }
    return picture;
}

std::vector<std::uint8_t> expectedGrey(const BmpPicture& picture) {
    std::vector<std::uint8_t> grey;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const Rgb c = picture.colourAt(x, y);
            grey.push_back(greyValue(c.blue, c.green, c.red));
        }
    return grey;
}

struct ListedColour {
    Rgb colour;
    std::uint8_t grey;
};

const std::vector<ListedColour> listedColours = {
    {{255, 255, 255}, 255}, {{0, 0, 0}, 0},    {{255, 0, 0}, 76},
    {{0, 255, 0}, 149},     {{0, 0, 255}, 29}, {{100, 150, 200}, 140},
    {{200, 150, 100}, 159}, {{4, 0, 0}, 1},    {{3, 0, 0}, 0},
};

TEST(GreyValue, ListedColoursGiveTheirGreyLevels) {
    for (const ListedColour& c : listedColours)
        EXPECT_EQ(greyValue(c.colour.blue, c.colour.green, c.colour.red), c.grey)
            << int(c.colour.red) << "," << int(c.colour.green) << "," << int(c.colour.blue);
    for (int v = 0; v < 256; ++v)
        EXPECT_EQ(greyValue(std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)), v);
}

TEST_F(GreyImageTest, ListedColoursLoadAsTheirGreyLevelsFrom24And32BitAndPaletteFiles) {
    BmpPicture picture;
    picture.width = int(listedColours.size());
    picture.height = 1;
    std::vector<std::uint8_t> expected;
    for (const ListedColour& c : listedColours) {
        picture.colours.push_back(c.colour);
        expected.push_back(c.grey);
    }
    BmpPicture paletted = picture;
    paletted.palette = picture.colours;
    for (std::size_t i = 0; i < picture.colours.size(); ++i)
        paletted.indices.push_back(std::uint8_t(i));

    for (const auto& [encoding, source] :
         {std::pair{BmpEncoding::Rgb24, &picture}, std::pair{BmpEncoding::Rgb32, &picture},
          std::pair{BmpEncoding::Palette8, &paletted}}) {
        SCOPED_TRACE(encodingName(encoding));
        const GreyImage store = loadGreyImage(write("colours.bmp", writeBmp(*source, encoding)));
        EXPECT_EQ(storeInconsistency(store), "");
        EXPECT_EQ(greyBuffer(store), expected);
    }
}

TEST_F(GreyImageTest, EveryEncodingRowOrderAndWidthGivesTheEncodedPicture) {
    const BmpEncoding encodings[] = {
        BmpEncoding::Palette1, BmpEncoding::Palette4, BmpEncoding::Palette8, BmpEncoding::Rle8,
        BmpEncoding::Rgb555,   BmpEncoding::Rgb565,   BmpEncoding::Rgb24,    BmpEncoding::Rgb32};
    const int height = 5;
    for (const BmpEncoding encoding : encodings)
        for (const bool topDown : {false, true}) {
            if (topDown && encoding == BmpEncoding::Rle8) continue;
            for (const int width : {1, 2, 5, 101}) {
                SCOPED_TRACE(encodingName(encoding) + (topDown ? " top-down" : " bottom-up") +
                             ", width " + std::to_string(width));
                const BmpPicture picture = testPicture(encoding, width, height);
                const QString path = write("picture.bmp", writeBmp(picture, encoding, topDown));
                const GreyImage store = loadGreyImage(path);
                EXPECT_EQ(storeInconsistency(store), "");
                ASSERT_EQ(store.ImageWidth, width);
                ASSERT_EQ(store.ImageHeight, height);

                const std::vector<std::uint8_t> grey = greyBuffer(store);
                const std::vector<std::uint8_t> expected = expectedGrey(picture);
                if (!isLossy(encoding)) {
                    EXPECT_EQ(grey, expected);
                    continue;
                }
                // 5- and 6-bit channels come back widened by the decoder's own rule: the
                // store must follow its decode exactly and the written colours closely.
                EXPECT_EQ(grey, lumaOfDecodedFile(path));
                for (std::size_t i = 0; i < grey.size(); ++i)
                    ASSERT_LE(std::abs(int(grey[i]) - int(expected[i])), 8) << "pixel " << i;
            }
        }
}

TEST_F(GreyImageTest, GreyPictureKeepsItsValuesAndLooksUnchanged) {
    BmpPicture picture;
    picture.width = 16;
    picture.height = 16;
    for (int v = 0; v < 256; ++v) {
        picture.palette.push_back({std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)});
        picture.indices.push_back(std::uint8_t(255 - v));
    }
    const GreyImage store = loadGreyImage(write("grey.bmp", writeBmp(picture, BmpEncoding::Rle8)));
    EXPECT_EQ(storeInconsistency(store), "");
    std::vector<std::uint8_t> expected(picture.indices.begin(), picture.indices.end());
    EXPECT_EQ(greyBuffer(store), expected);
}

TEST_F(GreyImageTest, ExtensionIsMatchedWithoutRegardToCaseAndOtherFormatsLoad) {
    const QByteArray bmp = writeBmp(testPicture(BmpEncoding::Rgb24, 5, 3), BmpEncoding::Rgb24);
    for (const char* name : {"upper.BMP", "mixed.Bmp", "lower.bmp"}) {
        SCOPED_TRACE(name);
        const GreyImage store = loadGreyImage(write(name, bmp));
        EXPECT_EQ(storeInconsistency(store), "");
        EXPECT_EQ(store.ImageWidth, 5);
    }

    // Other formats the toolkit both writes and reads, the lossy ones included: the store
    // holds the luma of whatever their decoder gives.
    QImage colourful(37, 11, QImage::Format_RGB32);
    for (int y = 0; y < colourful.height(); ++y)
        for (int x = 0; x < colourful.width(); ++x)
            colourful.setPixel(x, y, scramble(x, y) | 0xff000000u);
    const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    for (const char* format : {"png", "jpg", "tiff", "webp", "ppm", "ico"}) {
        if (!writable.contains(format)) continue;
        SCOPED_TRACE(format);
        const QString path = pathOf(QString("picture.") + QString(format).toUpper());
        ASSERT_TRUE(colourful.save(path, format));
        const GreyImage store = loadGreyImage(path);
        EXPECT_EQ(storeInconsistency(store), "");
        EXPECT_EQ(store.Display.size(), colourful.size());
        EXPECT_EQ(greyBuffer(store), lumaOfDecodedFile(path));
    }
}

TEST_F(GreyImageTest, FailuresCarryTheirTexts) {
    const QByteArray bmp =
        writeBmp(testPicture(BmpEncoding::Palette8, 5, 3), BmpEncoding::Palette8);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QImage(3, 3, QImage::Format_RGB32).save(&buffer, "PNG"));
    QByteArray garbage;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 4000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        garbage.append(char(seed >> 24));
    }
    ASSERT_TRUE(QDir(pathOf("")).mkdir("folder.bmp"));
    // Reading a FIFO would wait for a writer that never comes.
    ASSERT_EQ(mkfifo(QFile::encodeName(pathOf("fifo.bmp")).constData(), 0600), 0);

    struct Case {
        const char* name;
        QByteArray content; // null: the file is not written
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"missing.bmp", {}, "Cannot open file " + pathOf("missing.bmp").toStdString()},
        {"folder.bmp", {}, "Cannot open file " + pathOf("folder.bmp").toStdString()},
        {"fifo.bmp", {}, "Cannot open file " + pathOf("fifo.bmp").toStdString()},
        // The extension is judged before the file is looked at.
        {"picture.xyz", bmp, "Unknown picture file extension (.xyz)"},
        {"missing.xyz", {}, "Unknown picture file extension (.xyz)"},
        {"Picture.XyZ", bmp, "Unknown picture file extension (.XyZ)"},
        {"archive.bmp.gz", bmp, "Unknown picture file extension (.gz)"},
        {"no-extension", bmp, "Unknown picture file extension (.)"},
        {"trailing-dot.", bmp, "Unknown picture file extension (.)"},
        {"empty.bmp", QByteArray(""), NotValid},
        {"two-bytes.bmp", bmp.left(2), NotValid},
        {"file-header-only.bmp", bmp.left(14), NotValid},
        {"half-info-header.bmp", bmp.left(34), NotValid},
        {"headers-only.bmp", bmp.left(54), NotValid},
        {"garbage.bmp", garbage, NotValid},
        {"text.bmp", QByteArray("BM this is not a bitmap at all\n"), NotValid},
        // The extension chooses the decoder: other formats' bytes don't pass as a bitmap.
        {"png-bytes.bmp", png, NotValid},
        {"negative-width.bmp", bmpHeaderClaiming(-5, 3, 24), NotValid},
        {"zero-height.bmp", bmpHeaderClaiming(5, 0, 24), NotValid},
        {"bad-bit-count.bmp", bmpHeaderClaiming(5, 3, 13), NotValid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.content.isNull()) write(c.name, c.content);
        EXPECT_EQ(loadError(pathOf(c.name)), c.expected);
    }
}

// Pictures of other formats are refused with the file's name and the cause, which the
// content shows; a bitmap keeps its one text above.
TEST_F(GreyImageTest, UnreadablePicturesOfOtherFormatsNameTheFileAndTheCause) {
    for (const BadPicture& picture : badPictures()) {
        SCOPED_TRACE(picture.name.toStdString());
        const QString path = write(picture.name, picture.content);
        const long peakBefore = peakResidentBytes();
        EXPECT_EQ(loadError(path), unreadableMessage(path, picture).toStdString());
        EXPECT_LT(peakResidentBytes() - peakBefore, 64L << 20);
    }
    // The writer of the large one writes pictures that load.
    const GreyImage small = loadGreyImage(write("small.png", blackPng(300, 7)));
    EXPECT_EQ(small.ImageWidth, 300);
    EXPECT_EQ(greyBuffer(small), std::vector<std::uint8_t>(300 * 7, 0));
}

TEST_F(GreyImageTest, PixelDataCutShortIsRefusedOrLoadedWhole) {
    const BmpPicture picture = testPicture(BmpEncoding::Rgb24, 101, 9);
    const QByteArray bmp = writeBmp(picture, BmpEncoding::Rgb24);
    for (const int keep : {55, 100, 400, 1000, int(bmp.size()) - 1}) {
        SCOPED_TRACE(keep);
        const QString path = write("short.bmp", bmp.left(keep));
        try {
            const GreyImage store = loadGreyImage(path);
            EXPECT_EQ(storeInconsistency(store), "");
            EXPECT_EQ(store.ImageWidth, 101);
            EXPECT_EQ(store.ImageHeight, 9);
        } catch (const ImageLoadError& error) {
            EXPECT_STREQ(error.what(), NotValid);
        }
    }
}

TEST_F(GreyImageTest, PixelsTheFileLeavesUndefinedComeOutAsColourZero) {
    // 200 × 100 RLE8, bottom row first: 20 white pixels, a delta 30 to the right and one row
    // up, 10 white pixels, and the end of the bitmap. Everything else is left undefined.
    const int width = 200, height = 100;
    const std::vector<Rgb> palette = {{40, 80, 120}, {255, 255, 255}};
    const QByteArray stream("\x14\x01\x00\x02\x1e\x01\x0a\x01\x00\x01", 10);
    const QString path = write("skips.bmp", rle8File(width, height, palette, stream));

    std::vector<std::uint8_t> expected(std::size_t(width) * height, greyValue(120, 80, 40));
    std::fill_n(expected.begin() + (height - 1) * width, 20, 255);
    std::fill_n(expected.begin() + (height - 2) * width + 50, 10, 255);
    for (const int round : {1, 2, 3}) {
        SCOPED_TRACE(round);
        leaveStaleBytes(std::size_t(width) * height, std::uint8_t(0x3d * round));
        const GreyImage store = loadGreyImage(path);
        EXPECT_EQ(storeInconsistency(store), "");
        EXPECT_EQ(greyBuffer(store), expected);
    }
}

TEST_F(GreyImageTest, SidesBeyond32767AreRefusedAndTheLimitItselfLoads) {
    auto blank = [](int width, int height) {
        BmpPicture picture = testPicture(BmpEncoding::Palette1, 1, 1);
        picture.width = width;
        picture.height = height;
        picture.indices.assign(std::size_t(width) * height, 0);
        return writeBmp(picture, BmpEncoding::Palette1);
    };
    EXPECT_EQ(loadError(write("wide.bmp", blank(40000, 2))),
              "Image too large: 40000 x 2 pixels (at most 32767 in each direction)");
    EXPECT_EQ(loadError(write("tall.bmp", blank(2, 32768))),
              "Image too large: 2 x 32768 pixels (at most 32767 in each direction)");
    for (const auto& [width, height] : {std::pair{32767, 1}, std::pair{1, 32767}}) {
        const GreyImage store = loadGreyImage(write("limit.bmp", blank(width, height)));
        EXPECT_EQ(store.ImageWidth, width);
        EXPECT_EQ(store.ImageHeight, height);
        EXPECT_EQ(store.Display.size(), QSize(width, height));
    }
}

TEST_F(GreyImageTest, HugeClaimedSizesAreRefusedQuicklyWithoutTakingTheirMemory) {
    struct Claim {
        std::int32_t width, height;
        std::uint16_t bits;
    };
    // Beyond the reader's limit of 4-byte pixels, and beyond what the format can express.
    for (const Claim& claim :
         {Claim{16384, 16384, 24}, Claim{12000, 12000, 32}, Claim{3000000, 2000000, 24},
          Claim{32767, 32767, 1}, Claim{2147483647, 2147483647, 24}, Claim{5, -2147483647, 24}}) {
        SCOPED_TRACE(std::to_string(claim.width) + " x " + std::to_string(claim.height));
        const QString path =
            write("huge.bmp", bmpHeaderClaiming(claim.width, claim.height, claim.bits));
        const long peakBefore = peakResidentBytes();
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(loadError(path), NotValid);
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_LT(peakResidentBytes() - peakBefore, 64L << 20);
    }
}

TEST_F(GreyImageTest, LargePictureBeyondTheReadersDefaultLimitLoads) {
    // 8000 × 6000 at 24 bits: 144 MB of pixels, decoded at 4 bytes a pixel. The file is
    // sparse: zeros (black) except for one red pixel at the top left and a grey one at the
    // bottom right.
    const int width = 8000, height = 6000, rowBytes = width * 3;
    const QString path = write("large.bmp", bmpHeaderClaiming(width, height, 24).left(54));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.resize(54 + qint64(rowBytes) * height));
        ASSERT_TRUE(file.seek(54 + qint64(rowBytes) * (height - 1)));
        ASSERT_EQ(file.write(QByteArray("\0\0\xff", 3)), 3);
        ASSERT_TRUE(file.seek(54 + rowBytes - 3));
        ASSERT_EQ(file.write(QByteArray("\x80\x80\x80", 3)), 3);
    }
    const int limitBefore = QImageReader::allocationLimit();
    const GreyImage store = loadGreyImage(path);
    EXPECT_EQ(QImageReader::allocationLimit(), limitBefore);
    ASSERT_EQ(store.ImageWidth, width);
    ASSERT_EQ(store.ImageHeight, height);
    ASSERT_EQ(store.Display.size(), QSize(width, height));
    const std::uint8_t* grey = store.GreyData.get();
    EXPECT_EQ(grey[0], 76);
    EXPECT_EQ(grey[1], 0);
    EXPECT_EQ(grey[std::size_t(width) * height - 1], 128);
    EXPECT_EQ(grey[std::size_t(width) * (height - 1)], 0);
    EXPECT_EQ(store.Display.constScanLine(0)[2], 76);
    EXPECT_EQ(store.Display.constScanLine(height - 1)[3 * width - 1], 128);
}

TEST_F(GreyImageTest, SecondLoadReplacesSizeAndBuffer) {
    const BmpPicture first = testPicture(BmpEncoding::Palette8, 5, 3);
    const BmpPicture second = testPicture(BmpEncoding::Rgb24, 101, 7);
    GreyImage store = loadGreyImage(write("first.bmp", writeBmp(first, BmpEncoding::Palette8)));
    ASSERT_EQ(store.ImageWidth, 5);
    store = loadGreyImage(write("second.bmp", writeBmp(second, BmpEncoding::Rgb24)));
    EXPECT_EQ(storeInconsistency(store), "");
    EXPECT_EQ(store.ImageWidth, 101);
    EXPECT_EQ(store.ImageHeight, 7);
    EXPECT_EQ(greyBuffer(store), expectedGrey(second));
}

TEST_F(GreyImageTest, FailedLoadLeavesThePreviousStoreIntact) {
    const BmpPicture picture = testPicture(BmpEncoding::Rgb24, 5, 3);
    GreyImage store = loadGreyImage(write("good.bmp", writeBmp(picture, BmpEncoding::Rgb24)));
    // A contour drawn on the display must survive a failed load as well.
    store.Display.scanLine(1)[3] = 0;
    store.Display.scanLine(1)[4] = 0;
    store.Display.scanLine(1)[5] = 255;
    const QImage displayBefore = store.Display.copy();
    const std::vector<std::uint8_t> greyBefore = greyBuffer(store);
    const std::uint8_t* const bufferBefore = store.GreyData.get();

    write("bad.bmp", "BM garbage");
    write("wide.bmp", bmpHeaderClaiming(40000, 2, 1));
    for (const char* name : {"missing.bmp", "bad.bmp", "good.xyz", "wide.bmp"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(store = loadGreyImage(pathOf(name)), ImageLoadError);
        EXPECT_EQ(store.GreyData.get(), bufferBefore);
        EXPECT_EQ(store.ImageWidth, 5);
        EXPECT_EQ(store.ImageHeight, 3);
        EXPECT_EQ(greyBuffer(store), greyBefore);
        EXPECT_EQ(store.Display, displayBefore);
    }
}

TEST_F(GreyImageTest, RefreshRestoresEveryPixelAfterDrawing) {
    const BmpPicture picture = testPicture(BmpEncoding::Rgb32, 101, 7);
    GreyImage store = loadGreyImage(write("picture.bmp", writeBmp(picture, BmpEncoding::Rgb32)));
    const std::vector<std::uint8_t> greyBefore = greyBuffer(store);
    // A red diagonal and a full red bottom row, as a contour would leave them.
    for (int y = 0; y < store.ImageHeight; ++y) {
        std::uint8_t* pixel = store.Display.scanLine(y);
        for (int x = 0; x < store.ImageWidth; ++x, pixel += 3)
            if (x == y * 10 || y == store.ImageHeight - 1) {
                pixel[0] = 0;
                pixel[1] = 0;
                pixel[2] = 255;
            }
    }
    // A view holding the drawn picture keeps it: the refresh writes only into the store.
    const QImage shown = store.Display;
    const QImage shownBefore = shown.copy();

    refreshDisplay(store);
    EXPECT_EQ(storeInconsistency(store), "");
    EXPECT_EQ(greyBuffer(store), greyBefore);
    EXPECT_EQ(shown, shownBefore);
}

// Many tests lean on the store check; it must notice each kind of damage.
TEST_F(GreyImageTest, StoreCheckNoticesEachKindOfDamage) {
    const QString path =
        write("picture.bmp", writeBmp(testPicture(BmpEncoding::Rgb24, 19, 5), BmpEncoding::Rgb24));
    struct Damage {
        const char* name;
        std::function<void(GreyImage&)> apply;
    };
    const Damage damages[] = {
        {"no grey buffer", [](GreyImage& s) { s.GreyData.reset(); }},
        {"no height", [](GreyImage& s) { s.ImageHeight = 0; }},
        {"another display format",
         [](GreyImage& s) { s.Display = s.Display.convertToFormat(QImage::Format_RGB888); }},
        {"a narrower display", [](GreyImage& s) { s.Display = s.Display.copy(0, 0, 18, 5); }},
        {"a drawn last pixel", [](GreyImage& s) { s.Display.scanLine(4)[3 * 18 + 2] ^= 1; }},
        {"a changed grey value", [](GreyImage& s) { s.GreyData[7] ^= 0x80; }},
    };
    EXPECT_EQ(storeInconsistency(loadGreyImage(path)), "");
    for (const Damage& damage : damages) {
        GreyImage store = loadGreyImage(path);
        damage.apply(store);
        EXPECT_NE(storeInconsistency(store), "") << damage.name;
    }
}

// The guard hands a well-formed run-length file to the decoder byte for byte and leaves
// every other bitmap to be read from the file itself.
TEST_F(GreyImageTest, BitmapGuardPassesWellFormedFilesThrough) {
    for (const BmpEncoding encoding : {BmpEncoding::Rle8, BmpEncoding::Rgb24}) {
        SCOPED_TRACE(encodingName(encoding));
        const QByteArray bytes = writeBmp(testPicture(encoding, 23, 6), encoding);
        QFile file(write("picture.bmp", bytes));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const std::optional<QByteArray> checked = checkedBitmap(file);
        if (encoding == BmpEncoding::Rle8) {
            EXPECT_EQ(checked, bytes);
        } else {
            EXPECT_FALSE(checked);
        }
    }
}

TEST(RefreshDisplay, DoesNothingWithoutAnImage) {
    GreyImage store;
    refreshDisplay(store);
    EXPECT_FALSE(store.GreyData);
    EXPECT_TRUE(store.Display.isNull());
    EXPECT_EQ(store.ImageWidth, 0);
    EXPECT_EQ(store.ImageHeight, 0);
}

TEST(RefreshDisplay, WritesEveryPixelOfEveryRowWidth) {
    // Widths around the 16-pixel blocks of the fast path and its remainders.
    for (int width = 1; width <= 50; ++width) {
        SCOPED_TRACE(width);
        const int height = 3;
        GreyImage store;
        store.ImageWidth = width;
        store.ImageHeight = height;
        store.GreyData = std::make_unique<std::uint8_t[]>(std::size_t(width) * height);
        for (int i = 0; i < width * height; ++i)
            store.GreyData[i] = std::uint8_t(scramble(i, width));
        store.Display = QImage(width, height, QImage::Format_BGR888);
        store.Display.fill(qRgb(1, 2, 3));
        // Padding bytes past the last pixel of a row are not the refresh's to touch.
        const int padding = store.Display.bytesPerLine() - 3 * width;
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < padding; ++i)
                store.Display.scanLine(y)[3 * width + i] = 0xa5;

        refreshDisplay(store);
        EXPECT_EQ(storeInconsistency(store), "");
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < padding; ++i)
                EXPECT_EQ(store.Display.constScanLine(y)[3 * width + i], 0xa5);
    }
}

TEST(GreyPass, MatchesTheFormulaForEveryRowWidthAndLeavesThePaddingAlone) {
    // Widths cover every tail of the 16-pixel blocks of the fast path, and widths below one.
    for (const int height : {1, 2, 5}) {
        for (int width = 1; width <= 70; ++width) {
            SCOPED_TRACE(::testing::Message() << width << " x " << height);
            QImage display(width, height, QImage::Format_BGR888);
            const int padding = display.bytesPerLine() - 3 * width;
            for (int y = 0; y < height; ++y) {
                std::uint8_t* row = display.scanLine(y);
                for (int i = 0; i < 3 * width; ++i)
                    row[i] = std::uint8_t(scramble(i, y * 71 + width) >> 8);
                for (int i = 0; i < padding; ++i)
                    row[3 * width + i] = 0xa5;
            }
            const QImage original = display.copy();
            std::vector<std::uint8_t> grey(std::size_t(width) * height, 0);

            fillGreyAndDisplay(display, grey.data());
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* before = original.constScanLine(y);
                const std::uint8_t* after = display.constScanLine(y);
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t expected =
                        greyValue(before[3 * x], before[3 * x + 1], before[3 * x + 2]);
                    ASSERT_EQ(grey[std::size_t(y) * width + x], expected) << x << ", " << y;
                    ASSERT_EQ(after[3 * x], expected);
                    ASSERT_EQ(after[3 * x + 1], expected);
                    ASSERT_EQ(after[3 * x + 2], expected);
                }
                for (int i = 0; i < padding; ++i)
                    EXPECT_EQ(after[3 * width + i], 0xa5);
            }
        }
    }
}

TEST(GreyPass, EveryColourGivesItsGreyValue) {
    // 4096 x 4096 pixels hold all 2^24 colours once, so every weighted sum the pass can meet.
    constexpr int side = 4096;
    QImage display(side, side, QImage::Format_BGR888);
    for (int y = 0; y < side; ++y) {
        std::uint8_t* pixel = display.scanLine(y);
        for (int x = 0; x < side; ++x, pixel += 3) {
            const std::uint32_t colour = std::uint32_t(y) * side + std::uint32_t(x);
            pixel[0] = std::uint8_t(colour);
            pixel[1] = std::uint8_t(colour >> 8);
            pixel[2] = std::uint8_t(colour >> 16);
        }
    }
    std::vector<std::uint8_t> grey(std::size_t(side) * side);
    fillGreyAndDisplay(display, grey.data());
    for (std::uint32_t colour = 0; colour < grey.size(); ++colour)
        if (grey[colour] !=
            greyValue(std::uint8_t(colour), std::uint8_t(colour >> 8), std::uint8_t(colour >> 16)))
            FAIL() << "colour " << colour;
}

TEST(GreyPass, DivisionByMultiplicationIsExactOverEverySum) {
    // The fast path divides the weighted sums (0..255000) by 1000 this way.
    for (std::uint32_t sum = 0; sum <= 255000; ++sum)
        if (((sum >> 3) * 33555u) >> 22 != sum / 1000) FAIL() << "sum " << sum;
}

} // namespace
} // namespace orvik::test
