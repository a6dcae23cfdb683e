// Correcting a contour by hand: relax holds the pins, split and merge on synthetic pictures
// give the expected areas, and the JSON keeps the pins.
#include "core/measurements.h"
#include "document/editing.h"
#include "document/follow.h"
#include "io/objects_json.h"
#include "pictures.h"
#include "synthetic_movie.h"
#include "tiff_files.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace orvik {
namespace {

// A document on a picture of dark discs (grey 40 on 210), Find objects' seeds analysed.
struct Discs {
    explicit Discs(const std::vector<std::array<int, 3>>& discs, int width = 160,
                   int height = 100) {
        const QString path = dir.filePath("discs.png");
        test::greyPicture(width, height, [&](int x, int y) {
            for (const auto& [cx, cy, r] : discs)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) return 40;
            return 210;
        }).save(path);
        doc.open(loadStack(path), path);
        ControlValues base;
        base.model = ModelChoice::Standard;
        for (PictureObject& object : test::seedObjects(doc.image(), base))
            doc.objects().restore(std::move(object));
        doc.analyseAll(2);
    }
    double area(int id) const { return doc.measure(doc.objects().find(id)->result).area; }
    QTemporaryDir dir;
    Document doc;
};

TEST(Editing, RelaxHoldsThePinnedPointsAndTheJsonKeepsThem) {
    Discs d({{80, 50, 25}});
    ASSERT_EQ(d.doc.objects().size(), 1u);
    const int id = d.doc.objects().objects()[0].id;
    PictureObject& object = *d.doc.objects().find(id);
    // A point dragged 12 pixels out, pinned, and the outline relaxed around it.
    const ContourPoint p = contourPoints(object)[3];
    ASSERT_TRUE(movePoint(object, 3, p.x + 12, p.y));
    ASSERT_TRUE(relaxObject(d.doc, id));
    const PictureObject& relaxed = *d.doc.objects().find(id);
    EXPECT_TRUE(relaxed.edited);
    EXPECT_EQ(relaxed.pinned, std::vector<std::int32_t>{3});
    EXPECT_NEAR(contourPoints(relaxed)[3].x, p.x + 12, 1e-4);
    EXPECT_NEAR(contourPoints(relaxed)[3].y, p.y, 1e-4);

    const QByteArray json = toObjectsJson(d.doc.objects().objects(), d.doc.image(), "discs.png");
    EXPECT_TRUE(json.contains("\"edited\": true, \"pinned\": [3]")) << json.constData();
    const std::vector<PictureObject> read = objectsOfJson(json, "objects.json");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_TRUE(read[0].edited);
    EXPECT_EQ(read[0].pinned, relaxed.pinned);
    EXPECT_EQ(read[0].result.points, relaxed.result.points);
}

TEST(Editing, SplitTwoTouchingDiscsGivesEachItsArea) {
    // Two discs of radius 20 whose rims overlap: found as one region.
    Discs d({{55, 50, 20}, {93, 50, 20}});
    ASSERT_EQ(d.doc.objects().size(), 1u);
    const int id = d.doc.objects().objects()[0].id;
    const std::vector<int> ids = splitObject(d.doc, id, 74, 0, 74, 99, 2);
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(d.doc.objects().find(id), nullptr);
    const double disc = M_PI * 20 * 20;
    for (const int part : ids)
        EXPECT_NEAR(d.area(part), disc, 0.1 * disc) << part;
}

TEST(Editing, MergeOfTheSplitPartsGivesTheAreaOfTheUnion) {
    Discs d({{55, 50, 20}, {93, 50, 20}});
    ASSERT_EQ(d.doc.objects().size(), 1u);
    const std::vector<int> parts =
        splitObject(d.doc, d.doc.objects().objects()[0].id, 74, 0, 74, 99, 2);
    ASSERT_EQ(parts.size(), 2u);
    const int merged = mergeObjects(d.doc, parts, 2);
    ASSERT_NE(merged, 0);
    EXPECT_EQ(d.doc.objects().size(), 1u);
    int dark = 0; // the pixels of the two discs
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 160; ++x)
            dark += d.doc.image().GreyData[std::size_t(y) * 160 + x] < 128;
    EXPECT_NEAR(d.area(merged), dark, 0.08 * dark);
}

// The one object with `id` on frame `f`.
ContourResult on(const Document& doc, int f, int id) {
    for (const PictureObject& o : doc.objectsOn(f))
        if (o.id == id) return o.result;
    return {};
}

TEST(Editing, UndoBringsBackThePointsAndThePinsAndFollowingOnKeepsTheFramesBefore) {
    QTemporaryDir dir;
    const QString path = dir.filePath("movie.tif");
    test::writeTiff(path, test::discMovie(5));
    Document doc;
    doc.open(loadStack(path), path);
    for (PictureObject& object : test::seedObjects(doc.image(), ControlValues{}))
        doc.objects().restore(std::move(object));
    doc.analyseAll(2);
    doc.setTracks(followObjects(
                      doc.objects().objects(), [&](int f) { return doc.frameImage(f); }, 0, 5,
                      path.toStdString(), 2)
                      .tracks);
    doc.setFrame(2);
    const int id = doc.objects().objects().front().id;
    const ContourResult frame1 = on(doc, 1, id), frame3 = on(doc, 3, id);
    const DocumentState before = doc.state();
    PictureObject& object = *doc.objects().find(id);
    const ContourPoint p = contourPoints(object)[0];
    ASSERT_TRUE(movePoint(object, 0, p.x + 4, p.y));
    keepEdit(doc, id);
    const ContourResult corrected = doc.objects().find(id)->result;
    // Undo: the state before the edit brings back the points and no pin.
    const DocumentState edited = doc.state();
    doc.restore(before);
    EXPECT_TRUE(doc.objects().find(id)->pinned.empty());
    EXPECT_EQ(on(doc, 2, id).contour, doc.objects().find(id)->result.contour);
    EXPECT_NE(doc.objects().find(id)->result.contour, corrected.contour);
    doc.restore(edited);
    EXPECT_EQ(doc.objects().find(id)->pinned, std::vector<std::int32_t>{0});
    // Following on from frame 2: frame 1 as it was, frame 2 the correction, frame 3 anew.
    EXPECT_EQ(followFromFrame(doc, 2), 2);
    EXPECT_EQ(on(doc, 1, id).contour, frame1.contour);
    EXPECT_EQ(on(doc, 2, id).contour, corrected.contour);
    EXPECT_FALSE(on(doc, 3, id).contour.empty());
    EXPECT_NE(on(doc, 3, id).contour, frame3.contour);
}

TEST(Editing, MaskOutlineEnclosesThePixels) {
    // An L of 7 pixels and a diagonal neighbour: 8-connected, one piece.
    const int w = 5, h = 4;
    std::vector<std::uint8_t> mask(w * h, 0);
    for (const auto& [x, y] : {std::pair{1, 0}, {1, 1}, {1, 2}, {2, 2}, {3, 2}, {4, 3}})
        mask[y * w + x] = 1;
    const std::vector<ContourPoint> outline = maskOutline(mask, w, h);
    double twice = 0;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const ContourPoint& a = outline[i];
        const ContourPoint& b = outline[(i + 1) % outline.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    EXPECT_DOUBLE_EQ(std::fabs(twice) / 2, 6.0);
}

} // namespace
} // namespace orvik
