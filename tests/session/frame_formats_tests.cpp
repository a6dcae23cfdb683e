// Tests of the formats over frames: which objects each frame holds when tracks end, and the
// tracks the Cell Tracking Challenge's file lists.
#include "document/document.h"
#include "io/formats.h"
#include "io/frame_formats.h"
#include "io/zip_archive.h"
#include "session_test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orvik {
namespace {

// The objects on `frame` of a document whose objects are the tracks' and followed by them.
std::vector<PictureObject> objectsOnFrame(const std::vector<Track>& tracks, int frame) {
    Document doc;
    for (const Track& track : tracks)
        doc.objects().restore({track.id, track.values, {}, {}});
    doc.setTracks(tracks);
    return doc.objectsOn(frame);
}

// A track of `frames` square contours, closed or open, ended by `error` when it is not empty.
Track trackOf(int id, int frames, bool closed, std::string error = {}) {
    Track track{id, {}, 0, {}, std::move(error)};
    for (int f = 0; f < frames; ++f)
        track.frames.push_back(test::resultWith({{10.0 + f, 10}, {20, 10}, {20, 20}}, closed));
    return track;
}

TEST(FrameFormats, AnEndedTrackShowsItsErrorOnceAndIsGoneAfterwards) {
    const std::vector<Track> tracks = {trackOf(1, 3, true), trackOf(2, 1, true, "Overflow"),
                                       trackOf(3, 0, true, "Invalid"), trackOf(4, 2, false)};
    struct Case {
        int frame;
        std::vector<int> ids;
        std::vector<std::string> errors;
        std::vector<double> firstX; // of each object's contour; -1 for none
    };
    for (const Case& c : std::vector<Case>{
             {0, {1, 2, 3, 4}, {"", "", "Invalid", ""}, {10, 10, -1, 10}},
             {1, {1, 2, 4}, {"", "Overflow", ""}, {11, 10, 11}}, // 2's last contour, frame 0's
             {2, {1}, {""}, {12}},
             {3, {}, {}, {}},
         }) {
        const std::vector<PictureObject> objects = objectsOnFrame(tracks, c.frame);
        ASSERT_EQ(objects.size(), c.ids.size()) << c.frame;
        for (std::size_t i = 0; i < objects.size(); ++i) {
            EXPECT_EQ(objects[i].id, c.ids[i]) << c.frame;
            EXPECT_EQ(objects[i].error, c.errors[i]) << c.frame;
            const auto& contour = objects[i].result.contour;
            EXPECT_EQ(contour.empty() ? -1 : contour[0].x, c.firstX[i]) << c.frame;
        }
    }
    // The CTC tracks are the labels drawn: none for the track that never had a contour or the
    // open chain; 1 starts on frame 1, since 2 covers it whole on frame 0.
    QTemporaryDir dir;
    FramesSave ctc({}, true, dir.path(), "cells.tif", 4);
    const GreyImage image = test::greyPicture(40, 30, [](int, int) { return 0; });
    for (int frame = 0; frame < 4; ++frame)
        ctc.addFrame(frame, objectsOnFrame(tracks, frame), image, {});
    ctc.finish();
    QFile file(dir.filePath("cells/res_track.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "1 1 2 0\n2 0 0 0\n");
    EXPECT_EQ(ctcMaskName(7, 1200), "mask0007.tif");
}

// A list saved from one frame is what the frames writer writes for that frame alone, the
// calibrated columns too though the frames followed start after the first.
TEST(FrameFormats, AListSavedFromAFrameIsTheFramesWritersBytesForIt) {
    const std::vector<Track> tracks = {trackOf(1, 3, true), trackOf(4, 3, false)};
    const GreyImage image = test::greyPicture(40, 30, [](int x, int) { return x * 6; });
    const PictureUnits units{Calibration{true, 0.5, QStringLiteral("um"), 0.0}, nullptr, {}};
    const std::vector<PictureObject> objects = objectsOnFrame(tracks, 2);
    QTemporaryDir dir;
    const std::vector<ObjectsFormat> formats = {ObjectsFormat::RoiSet, ObjectsFormat::GeoJson,
                                                ObjectsFormat::Csv, ObjectsFormat::Json};
    FramesSave save(formats, false, dir.path(), "cells.tif", 3);
    save.addFrame(2, objects, image, units);
    save.finish();
    const auto content = [&dir](const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
    };
    for (const ObjectsFormat format : formats)
        EXPECT_EQ(content(objectsOutputPath({}, "cells.tif", format)),
                  objectsBytes(format, objects, image, 0, "cells.tif", units, 2))
            << objectsFormatInfo(format).key;
    EXPECT_EQ(content("cells-points.csv"), objectPointsCsv(objects, 2));
    EXPECT_TRUE(content("cells.csv").startsWith("frame,id,area,"));
    EXPECT_TRUE(content("cells.csv").contains(",area_um2,"));
}

// A CTC folder holds one run's masks and tracks: a shorter run replaces a longer one's whole,
// and a save never finished leaves nothing behind.
TEST(FrameFormats, TheCtcFolderHoldsTheMasksAndTracksOfOneRunOnly) {
    const std::vector<Track> tracks = {trackOf(1, 3, true)};
    const GreyImage image = test::greyPicture(40, 30, [](int, int) { return 0; });
    QTemporaryDir dir;
    const auto saveFrames = [&](int frames, bool finish) {
        FramesSave save({ObjectsFormat::Labels}, true, dir.path(), "cells.tif", frames);
        for (int frame = 0; frame < frames; ++frame)
            save.addFrame(frame, objectsOnFrame(tracks, frame), image, {});
        if (finish) save.finish();
    };
    const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    saveFrames(3, false);
    EXPECT_EQ(QDir(dir.path()).entryList(all), QStringList{});
    saveFrames(3, true);
    saveFrames(2, true);
    EXPECT_EQ(QDir(dir.filePath("cells")).entryList(all),
              (QStringList{"mask000.tif", "mask001.tif", "res_track.txt"}));
    EXPECT_EQ(QDir(dir.path()).entryList(all),
              (QStringList{"cells", "cells-000-labels.png", "cells-001-labels.png",
                           "cells-002-labels.png"}));
}

TEST(FrameFormats, AStacksRoiSetSeedsFromItsFirstSliceWithTheIdsOfItsNames) {
    const ContourResult square = test::resultWith({{10, 10}, {20, 10}, {20, 20}});
    struct Case {
        std::vector<std::pair<const char*, int>> entries; // name, slice
        std::vector<int> ids;
    };
    for (const Case& c : std::vector<Case>{
             {{{"0002-0007.roi", 2}, {"0001-0007.roi", 1}, {"0001-0009.roi", 1}}, {7, 9}},
             // ImageJ's own names give the position, not an id.
             {{{"0123-0456.roi", 0}, {"0130-0470.roi", 0}}, {1, 2}},
         }) {
        std::vector<ZipEntry> zip;
        for (const auto& [name, slice] : c.entries)
            zip.push_back({name, toRoi(square, slice)});
        std::vector<int> ids;
        for (const PictureObject& object : parseObjects(zipStored(zip), "set.zip"))
            ids.push_back(object.id);
        EXPECT_EQ(ids, c.ids) << c.entries[0].first;
    }
}

} // namespace
} // namespace orvik
