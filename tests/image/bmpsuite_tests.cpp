// Conformance of the grey image store over the BMP Suite corpus (good, questionable and bad
// files), which CI keeps beside the checkout.
#include "grey_image.h"
#include "image_test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTextStream>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

#ifndef ORVIK_SHARED_TESTDATA
#define ORVIK_SHARED_TESTDATA ""
#endif

namespace orvik::test {
namespace {

constexpr const char* NotValid = "Bitmap image is not valid";
// The toolkit release whose decodes the corpus's hash table records.
constexpr const char* HashedQtVersion = "6.4.2";

class Bmpsuite : public ::testing::Test {
protected:
    void SetUp() override {
        suite_ = QDir(QString::fromUtf8(ORVIK_SHARED_TESTDATA) + "/bmpsuite");
        if (!suite_.exists("good"))
            GTEST_SKIP() << "BMP Suite corpus not found at " << suite_.path().toStdString()
                         << " (set ORVIK_SHARED_TESTDATA); skipping";
    }

    QString path(const QString& relative) const { return suite_.filePath(relative); }

    // "good/pal8.bmp" and so on, sorted.
    QStringList files(const QString& category) const {
        QStringList names = QDir(path(category)).entryList({"*.bmp"}, QDir::Files, QDir::Name);
        for (QString& name : names)
            name = category + "/" + name;
        return names;
    }

    // File → SHA-256 of the grey buffer from the recorded toolkit's decode, or "refused".
    QMap<QString, QString> recordedHashes() const {
        QMap<QString, QString> hashes;
        QFile table(path("grey_sha256.tsv"));
        if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) return hashes;
        QTextStream in(&table);
        const QStringList header = in.readLine().split('\t');
        const qsizetype column = header.indexOf(QString("qt") + HashedQtVersion);
        while (column > 0 && !in.atEnd()) {
            const QStringList fields = in.readLine().split('\t');
            if (fields.size() > column) hashes.insert(fields[0], fields[column]);
        }
        return hashes;
    }

    static bool decodesAsRecorded() { return QString(qVersion()) == HashedQtVersion; }

private:
    QDir suite_;
};

// The load's result: the store, or the error text.
struct Outcome {
    std::optional<GreyImage> store;
    std::string error;
};

Outcome load(const QString& path) {
    Outcome outcome;
    try {
        outcome.store = loadGreyImage(path);
    } catch (const ImageLoadError& error) {
        outcome.error = error.what();
    }
    return outcome;
}

QString sha256(const std::vector<std::uint8_t>& bytes) {
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())),
                                 QCryptographicHash::Sha256)
            .toHex());
}

TEST_F(Bmpsuite, GoodFilesLoadWithTheLumaOfTheirDecodedColours) {
    const QStringList good = files("good");
    ASSERT_GE(good.size(), 23);
    const QMap<QString, QString> recorded = recordedHashes();
    for (const QString& name : good) {
        SCOPED_TRACE(name.toStdString());
        const Outcome outcome = load(path(name));
        ASSERT_TRUE(outcome.store) << outcome.error;
        EXPECT_EQ(storeInconsistency(*outcome.store), "");
        const std::vector<std::uint8_t> grey = greyBuffer(*outcome.store);
        EXPECT_EQ(grey, lumaOfDecodedFile(path(name)));
        if (decodesAsRecorded() && recorded.contains(name)) {
            EXPECT_EQ(sha256(grey), recorded[name]);
        }
    }
}

TEST_F(Bmpsuite, QuestionableAndBadFilesLoadConsistentlyOrAreRefusedAsNotValid) {
    // Files whose pixel data leaves some pixels unset under this decoder: RLE deltas that
    // skip pixels, data that ends early, or a palette read past the start of the pixels.
    const QStringList leavesPixelsUndefined = {
        "questionable/pal4rletrns.bmp", "questionable/pal8rletrns.bmp",
        "questionable/pal8os2sp.bmp", "bad/badrle.bmp", "bad/shortfile.bmp"};
    const QStringList others = files("questionable") + files("bad");
    ASSERT_GE(others.size(), 37);
    const QMap<QString, QString> recorded = recordedHashes();
    int refused = 0;
    for (const QString& name : others) {
        SCOPED_TRACE(name.toStdString());
        QElapsedTimer timer;
        timer.start();
        const Outcome outcome = load(path(name));
        EXPECT_LT(timer.elapsed(), 5000);
        const bool hashRecorded = decodesAsRecorded() && recorded.contains(name);
        if (!outcome.store) {
            EXPECT_EQ(outcome.error, NotValid);
            if (hashRecorded) {
                EXPECT_EQ(recorded[name], "refused");
            }
            ++refused;
            continue;
        }
        EXPECT_EQ(storeInconsistency(*outcome.store), "");
        if (leavesPixelsUndefined.contains(name)) {
            // The decoder doesn't write these pixels; the store must still be repeatable.
            leaveStaleBytes(std::size_t(outcome.store->ImageWidth) * outcome.store->ImageHeight,
                            0xc5);
            const Outcome again = load(path(name));
            ASSERT_TRUE(again.store);
            EXPECT_EQ(greyBuffer(*again.store), greyBuffer(*outcome.store));
            continue;
        }
        EXPECT_EQ(greyBuffer(*outcome.store), lumaOfDecodedFile(path(name)));
        if (hashRecorded) {
            EXPECT_EQ(sha256(greyBuffer(*outcome.store)), recorded[name]);
        }
    }
    // Some of these are plainly broken; a loader accepting all of them checks nothing.
    EXPECT_GT(refused, 0);
    EXPECT_EQ(load(path("bad/reallybig.bmp")).error, NotValid);
}

TEST_F(Bmpsuite, EncodingsOfOnePictureGiveOneGreyBuffer) {
    // The first file of each group is a good one that must load; the others must give the
    // same buffer whenever they load.
    const std::vector<QStringList> groups = {
        {"good/pal1.bmp", "good/pal1wb.bmp", "bad/badbitssize.bmp", "bad/baddens1.bmp",
         "bad/baddens2.bmp", "bad/badfilesize.bmp"},
        {"good/pal4.bmp", "good/pal4rle.bmp"},
        {"good/pal8.bmp", "good/pal8-0.bmp", "good/pal8os2.bmp", "good/pal8rle.bmp",
         "good/pal8topdown.bmp", "good/pal8v4.bmp", "good/pal8v5.bmp", "questionable/pal8offs.bmp",
         "questionable/pal8os2v2.bmp", "bad/rletopdown.bmp"},
        {"good/rgb16-565.bmp", "good/rgb16-565pal.bmp"},
        {"good/rgb24.bmp", "good/rgb24pal.bmp", "good/rgb32.bmp", "good/rgb32bf.bmp",
         "questionable/rgb32bf-xbgr.bmp", "questionable/rgb32fakealpha.bmp",
         "questionable/rgb24largepal.bmp", "questionable/rgb24prof.bmp",
         "questionable/rgb24lprof.bmp"},
    };
    for (const QStringList& group : groups) {
        const Outcome first = load(path(group.front()));
        ASSERT_TRUE(first.store) << group.front().toStdString() << ": " << first.error;
        const std::vector<std::uint8_t> expected = greyBuffer(*first.store);
        for (const QString& name : group.mid(1)) {
            SCOPED_TRACE(name.toStdString());
            const Outcome outcome = load(path(name));
            if (name.startsWith("good/")) {
                ASSERT_TRUE(outcome.store) << outcome.error;
            }
            if (outcome.store) {
                EXPECT_EQ(greyBuffer(*outcome.store), expected);
            }
        }
    }
}

TEST_F(Bmpsuite, GreyBuffersAreCloseToTheSuitesReferenceRenderings) {
    // The renderings are within one level per channel of an exact decode, which moves the
    // luma by at most one. Decoders widen 16-bit channels in their own way, up to 7 levels.
    struct Reference {
        const char* bitmap;
        const char* rendering;
        int tolerance;
    };
    for (const Reference& reference :
         {Reference{"good/pal1.bmp", "reference/pal1.png", 1},
          Reference{"good/pal1bg.bmp", "reference/pal1bg.png", 1},
          Reference{"good/pal4.bmp", "reference/pal4.png", 1},
          Reference{"good/pal8.bmp", "reference/pal8.png", 1},
          Reference{"good/pal8w124.bmp", "reference/pal8w124.png", 1},
          Reference{"good/pal8w125.bmp", "reference/pal8w125.png", 1},
          Reference{"good/pal8w126.bmp", "reference/pal8w126.png", 1},
          Reference{"good/rgb24.bmp", "reference/rgb24.png", 1},
          Reference{"good/rgb16.bmp", "reference/rgb16.png", 8},
          Reference{"good/rgb16-565.bmp", "reference/rgb16-565.png", 8}}) {
        SCOPED_TRACE(reference.bitmap);
        const GreyImage store = loadGreyImage(path(reference.bitmap));
        const std::vector<std::uint8_t> grey = greyBuffer(store);
        const std::vector<std::uint8_t> rendering = lumaOfDecodedFile(path(reference.rendering));
        ASSERT_EQ(grey.size(), rendering.size());
        int worst = 0;
        for (std::size_t i = 0; i < grey.size(); ++i)
            worst = std::max(worst, std::abs(int(grey[i]) - int(rendering[i])));
        EXPECT_LE(worst, reference.tolerance);
    }
}

} // namespace
} // namespace orvik::test
