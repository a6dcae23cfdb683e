// Tests of the document's rules without a window: what an object is on a frame, and that every
// save of a 16-bit calibrated stack is stated in the picture's own units on any frame.
#include "core/commands.h"
#include "document/document.h"
#include "document/find_objects.h"
#include "document/follow.h"
#include "document/saving.h"
#include "io/roiset.h"
#include "synthetic_movie.h"
#include "tiff_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orvik {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The header's names and the first row's cells of a CSV table.
std::map<QString, QString> firstRow(const QByteArray& csv) {
    const QList<QByteArray> lines = csv.split('\n');
    std::map<QString, QString> row;
    if (lines.size() < 2) return row;
    const QList<QByteArray> names = lines[0].split(','), cells = lines[1].split(',');
    for (qsizetype i = 0; i < names.size() && i < cells.size(); ++i)
        row[QString::fromUtf8(names[i])] = QString::fromUtf8(cells[i]);
    return row;
}

// A 16-bit movie of two dark discs (1000 on 3000) at 2 µm a pixel, opened as a document with
// the objects Find objects seeds on its first frame.
class Stack : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.filePath("cells.tif");
        test::writeTiff(path, test::discMovie(5, "ImageJ=1.54f\nunit=micron\n", 0.5f));
        doc.open(loadStack(path), path);
        for (PictureObject& object : test::seedObjects(doc.image(), ControlValues{}))
            doc.objects().restore(std::move(object));
        doc.analyseAll(2);
    }
    // Follows every object from frame `first` to the last.
    void follow(int first) {
        doc.setFrame(first);
        FollowOutcome outcome = followObjects(
            doc.objects().objects(), [this](int f) { return doc.frameImage(f); }, first,
            doc.frameCount() - first, path.toStdString(), 2);
        doc.setTracks(std::move(outcome.tracks));
    }
    QTemporaryDir dir;
    QString path;
    Document doc;
};

TEST_F(Stack, EverySaveOfTheFrameShownIsInThePicturesOwnUnits) {
    ASSERT_EQ(doc.objects().size(), 2u);
    const PictureObject& first = doc.objects().objects()[0];
    // The contour alone: its JSON and its table, as "Save contour as…" writes them.
    const QByteArray json = contourBytes(doc, ResultFormat::Json, first.result);
    EXPECT_TRUE(json.contains("\"calibrated\"")) << json.constData();
    EXPECT_TRUE(json.contains("\"unit\": \"\u00b5m\"")) << json.constData();
    // The list of the frame shown, as "Save objects as…" writes it.
    const QString table = dir.filePath("objects.csv");
    saveFrameObjects(doc, ObjectsFormat::Csv, table);
    const std::map<QString, QString> row = firstRow(readAll(table));
    ASSERT_TRUE(row.count("mean_grey")) << readAll(table).constData();
    // The dark discs hold 1000 in the file (on 3000); the engine's grey for them is 0.
    EXPECT_NEAR(row.at("mean_grey").toDouble(), 1000, 100);
    ASSERT_TRUE(row.count("area_um2")) << readAll(table).constData();
    EXPECT_NEAR(row.at("area_um2").toDouble(), 4 * row.at("area").toDouble(), 1e-6);
}

TEST_F(Stack, FramesSavedAfterFollowingFromALaterFrameKeepTheirUnits) {
    follow(2);
    EXPECT_EQ(doc.trackedFrames(), std::make_pair(2, 4));
    const QString out = dir.filePath("frames");
    saveFrames(doc, out, 2, 4);
    const QByteArray csv = readAll(QDir(out).filePath("cells.csv"));
    const std::map<QString, QString> row = firstRow(csv);
    EXPECT_EQ(row.count("area_um2"), 1u) << csv.constData();
    EXPECT_EQ(row.at("frame"), "2");
}

TEST_F(Stack, ObjectsSavedOnALaterFrameSitOnThatFrame) {
    follow(0);
    doc.setFrame(3);
    const QString roiSet = dir.filePath("frame.zip"), table = dir.filePath("frame.csv");
    saveFrameObjects(doc, ObjectsFormat::RoiSet, roiSet);
    saveFrameObjects(doc, ObjectsFormat::Csv, table);
    const std::vector<RoiOutline> rois = parseRoiSet(readAll(roiSet), roiSet);
    ASSERT_EQ(rois.size(), 2u);
    for (const RoiOutline& roi : rois)
        EXPECT_EQ(roi.position, 4); // ImageJ's slices count from 1
    EXPECT_EQ(firstRow(readAll(table))["frame"], "3");
    // The same bytes as the frame among the followed frames saved to a folder.
    const QString out = dir.filePath("frames");
    saveFrames(doc, out, 3, 3, {ObjectsFormat::RoiSet}, false);
    EXPECT_EQ(readAll(QDir(out).filePath("cells.zip")), readAll(roiSet));
}

TEST_F(Stack, AnObjectIsOnAFrameAsItsTrackSaysAndTheListFollows) {
    // Object 1 followed over frames 0 and 1 and ended by an error on frame 2; object 2 never
    // followed; the objects of the list that have no track are on every frame.
    std::vector<Track> tracks(1);
    tracks[0] = {1, doc.objects().objects()[0].values, 0, {}, "Floating point overflow"};
    tracks[0].frames = {doc.objects().objects()[0].result, doc.objects().objects()[0].result};
    tracks[0].frames[1].iteration = 7;
    doc.setTracks(tracks);
    struct Case {
        int frame;
        std::vector<int> ids;
        std::string error; // object 1's
        int iteration;     // object 1's
    };
    for (const Case& c : std::vector<Case>{{0, {1, 2}, "", 100},
                                           {1, {1, 2}, "", 7},
                                           {2, {1, 2}, "Floating point overflow", 7},
                                           {3, {2}, "", 0}}) {
        SCOPED_TRACE(c.frame);
        doc.setFrame(c.frame);
        std::vector<int> ids;
        for (const PictureObject& object : doc.objectsOn(c.frame))
            ids.push_back(object.id);
        EXPECT_EQ(ids, c.ids);
        // The list's own entry is what the frame shows of it.
        const PictureObject* one = doc.objects().find(1);
        EXPECT_EQ(one->error, c.error);
        EXPECT_EQ(one->result.iteration, c.iteration);
    }
    // A new result of the object on a frame its track reached is the track's too.
    doc.setFrame(1);
    ContourResult edited = doc.objects().find(1)->result;
    edited.iteration = 42;
    doc.keepResult(1, edited, {});
    EXPECT_EQ(doc.objectsOn(1)[0].result.iteration, 42);
    EXPECT_EQ(doc.objectsOn(0)[0].result.iteration, 100);
}

TEST_F(Stack, UndoStatesShareTheListAndRestoreFrameAndTracks) {
    const DocumentState before = doc.state();
    EXPECT_EQ(doc.state().list, before.list); // no copy while the list is unchanged
    follow(1);
    doc.objects().remove(2);
    doc.listChanged();
    const DocumentState after = doc.state();
    EXPECT_NE(after.list, before.list);
    doc.restore(before);
    EXPECT_EQ(doc.objects().size(), 2u);
    EXPECT_EQ(doc.tracks(), nullptr);
    EXPECT_EQ(doc.frame(), 0);
    doc.restore(after);
    EXPECT_EQ(doc.objects().size(), 1u);
    EXPECT_EQ(doc.frame(), 1);
    ASSERT_NE(doc.tracks(), nullptr);
    // A new picture: no objects, no tracks, ids from 1 again, its own scale.
    doc.setScale(Calibration{true, 3.0, "mm", 0.0});
    doc.open(loadStack(path), path);
    EXPECT_EQ(doc.objects().size(), 0u);
    EXPECT_EQ(doc.tracks(), nullptr);
    EXPECT_EQ(doc.units().calibration.unit, QStringLiteral("\u00B5m"));
    EXPECT_EQ(doc.objects().add({}), 1);
}

} // namespace
} // namespace orvik

namespace orvik {
namespace {

// A document without a window makes each frame's grey alone, the same grey the window's
// makes beside its display bitmap, through any range.
TEST_F(Stack, WithoutAWindowEveryFrameHasTheSameGreyAndNoDisplay) {
    Document headless(DisplayBitmap::Skipped);
    headless.open(loadStack(path, DisplayBitmap::Skipped), path);
    const std::size_t pixels = std::size_t(doc.image().ImageWidth) * doc.image().ImageHeight;
    for (const DisplayRange range : {doc.stack().range, DisplayRange{1500, 2500}}) {
        doc.setRange(range);
        headless.setRange(range);
        for (int f = 0; f < doc.frameCount(); ++f) {
            const GreyImage shown = doc.frameImage(f), grey = headless.frameImage(f);
            EXPECT_FALSE(shown.Display.isNull());
            EXPECT_TRUE(grey.Display.isNull());
            EXPECT_TRUE(
                std::equal(grey.GreyData.get(), grey.GreyData.get() + pixels, shown.GreyData.get()))
                << f;
        }
    }
    EXPECT_TRUE(headless.image().Display.isNull());
}

// A following that forgets each frame's contours once the frame is heard tells every frame,
// object by object as each is stepped and as a whole, the objects a following that keeps them
// all gives.
TEST_F(Stack, AFollowingThatForgetsHeardFramesTellsEachFrameTheSameObjects) {
    follow(0);
    FrameDone done;
    done.forget = true;
    std::vector<std::optional<PictureObject>> told(doc.objects().size());
    done.each = [&](std::size_t i, int, std::optional<PictureObject> object, const GreyImage&) {
        told[i] = std::move(object);
    };
    int heard = 0;
    done.heard = [&](int f, const std::vector<Track>& tracks, const GreyImage&) {
        const std::vector<PictureObject> kept = doc.objectsOn(f);
        for (const std::vector<PictureObject>& now :
             {objectsOn(doc.objects(), &tracks, f), [&] {
                  std::vector<PictureObject> each;
                  for (const std::optional<PictureObject>& object : told)
                      if (object) each.push_back(*object);
                  return each;
              }()}) {
            ASSERT_EQ(now.size(), kept.size());
            for (std::size_t i = 0; i < now.size(); ++i)
                EXPECT_EQ(now[i].result.contour, kept[i].result.contour) << f;
        }
        ++heard;
    };
    const FollowOutcome outcome = followObjects(
        doc.objects().objects(), [this](int f) { return doc.frameImage(f); }, 0, doc.frameCount(),
        path.toStdString(), 2, {}, done);
    EXPECT_EQ(heard, doc.frameCount());
    ASSERT_EQ(outcome.tracks[0].frames.size(), 1u); // the earlier frames forgotten
    EXPECT_EQ(outcome.tracks[0].firstFrame, doc.frameCount() - 1);
    EXPECT_EQ(outcome.tracks[0].frames[0].contour,
              doc.objectsOn(doc.frameCount() - 1)[0].result.contour);
}

} // namespace
} // namespace orvik
