// The loader under hostile files: the crafted bitmaps that break one rule each, and the
// BMP Suite's questionable and bad files, loaded with a dirty heap so that pixels a decoder
// leaves unwritten show up as garbage instead of passing as zeros.
#include "bitmap_folder.h"
#include "grey_image.h"
#include "heap_probe.h"
#include "hostile_bmps.h"
#include "store_checks.h"

#include <QDir>
#include <QImage>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace orvik::test {
namespace {

const char* const NotValid = "Bitmap image is not valid";

class LoaderRobustness : public ::testing::Test {
protected:
    QString write(const std::string& name, const QByteArray& bytes) {
        return folder_.write(QString::fromStdString(name), bytes);
    }

private:
    BitmapFolder folder_;
};

// Either the grey buffer or the refusal's text.
struct Outcome {
    std::optional<std::vector<std::uint8_t>> grey;
    std::string error;
    int width = 0, height = 0;
};

Outcome load(const QString& path) {
    Outcome outcome;
    try {
        const GreyImage store = loadGreyImage(path);
        EXPECT_EQ(storeInconsistency(store), "");
        outcome.grey = greyBuffer(store);
        outcome.width = store.ImageWidth;
        outcome.height = store.ImageHeight;
    } catch (const ImageLoadError& error) {
        outcome.error = error.what();
    }
    return outcome;
}

TEST_F(LoaderRobustness, EachCraftedBitmapLoadsItsDefinedPixelsOrIsRefused) {
    for (const HostileBmp& bmp : hostileBmps()) {
        SCOPED_TRACE(bmp.name + ": " + bmp.fault);
        const QString path = write(bmp.name + ".bmp", bmp.bytes);
        fillNewBlocksWith(0x99);
        const Outcome outcome = load(path);
        if (bmp.refused) {
            EXPECT_FALSE(outcome.grey) << "loaded instead of refused";
            if (!outcome.grey) {
                EXPECT_EQ(outcome.error, NotValid);
            }
        } else {
            ASSERT_TRUE(outcome.grey) << "refused: " << outcome.error;
            EXPECT_EQ(outcome.width, bmp.width);
            EXPECT_EQ(outcome.height, bmp.height);
            EXPECT_EQ(*outcome.grey, bmp.grey);
        }
    }
}

TEST_F(LoaderRobustness, HeadersBeyondTheAllocationLimitAreRefusedBeforeAllocating) {
    // The watch itself must see a large block, or its silence below would prove nothing:
    // a real 2000 x 1500 picture needs 12 MB for its decoded pixels.
    {
        QImage picture(2000, 1500, QImage::Format_RGB32);
        picture.fill(Qt::gray);
        const QString path = write("large.bmp", {});
        ASSERT_TRUE(picture.save(path, "BMP"));
        const AllocationWatch watch;
        const GreyImage store = loadGreyImage(path);
        EXPECT_GE(watch.largest(), std::size_t(2000) * 1500 * 3);
    }
    int claims = 0;
    for (const HostileBmp& bmp : hostileBmps()) {
        if (bmp.name.rfind("claims-", 0) != 0) continue;
        ++claims;
        SCOPED_TRACE(bmp.name + ": " + bmp.fault);
        const QString path = write(bmp.name + ".bmp", bmp.bytes);
        const AllocationWatch watch;
        EXPECT_EQ(load(path).error, NotValid);
        EXPECT_LT(watch.largest(), std::size_t(4) << 20);
    }
    EXPECT_EQ(claims, 3);
}

QStringList bmpSuiteFiles() {
    QStringList files;
    const QDir root(QStringLiteral(ORVIK_SHARED_TESTDATA "/bmpsuite"));
    for (const char* category : {"good", "questionable", "bad"}) {
        const QDir folder(root.filePath(QString::fromLatin1(category)));
        for (const QString& name : folder.entryList({QStringLiteral("*.bmp")}, QDir::Files))
            files << folder.filePath(name);
    }
    return files;
}

// Two loads of the same file with differently dirtied heaps must give the same pixels: a
// pixel the decoder never wrote would show the two patterns. No file may make the loader
// ask for more than the pixels of its own picture, whatever its header claims.
TEST_F(LoaderRobustness, EveryBmpSuiteFileLoadsTheSamePixelsTwiceOrIsRefused) {
    const QStringList files = bmpSuiteFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "the BMP Suite is not at " ORVIK_SHARED_TESTDATA "/bmpsuite";
    EXPECT_EQ(files.size(), 60);
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        fillNewBlocksWith(0x11);
        const AllocationWatch watch;
        const Outcome first = load(path);
        EXPECT_LT(watch.largest(), std::size_t(1) << 20);
        fillNewBlocksWith(0xee);
        const Outcome second = load(path);
        EXPECT_EQ(first.grey, second.grey);
        EXPECT_EQ(first.error, second.error);
        if (!first.grey) {
            EXPECT_EQ(first.error, NotValid);
        }
        if (path.contains(QStringLiteral("/good/"))) {
            EXPECT_TRUE(first.grey) << first.error;
        }
    }
}

} // namespace
} // namespace orvik::test
