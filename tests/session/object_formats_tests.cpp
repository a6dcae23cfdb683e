// The formats of a list of objects: each written and read back, the saved JSON rerun to the
// same bits, and the readers against broken files.
#include "document/find_objects.h"
#include "io/list_common.h"
#include "io/object_formats.h"
#include "io/settings.h"
#include "io/zip_archive.h"
#include "session_test_support.h"
#include "zip_files.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace orvik {
namespace {

// Eight analysed objects on the discs, the last one failed; object 3 is removed, so the ids
// have a gap.
struct Analysed {
    GreyImage image = test::discs();
    ObjectList list = test::objectsOn(9);
    Analysed() {
        list.remove(3);
        list.analyseAll(image, "discs.bmp", 2);
    }
    const std::vector<PictureObject>& objects() const { return list.objects(); }
};

std::string errorOf(const QByteArray& bytes) {
    try {
        parseObjects(bytes, "saved.x");
    } catch (const SettingsError& e) {
        return e.what();
    }
    return "no error";
}

TEST(ObjectFormats, SavedJsonReadsBackEveryObjectAndRerunsToTheSameBits) {
    const Analysed a;
    const QByteArray json = toObjectsJson(a.objects(), a.image, "discs.bmp");
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(root["count"].toInt(), 8);
    EXPECT_EQ(root["objects"].toArray()[2].toObject()["id"].toInt(), 4);
    EXPECT_EQ(root["objects"].toArray()[7].toObject()["error"].toString(),
              QString::fromStdString(a.objects().back().error));
    EXPECT_FALSE(a.objects().back().error.empty());

    // The saved points come back as each object's result: measured as read, the list is the
    // one saved; analysed again from the settings, it is too.
    ObjectList reread;
    for (PictureObject object :
         placeObjects(parseObjects(json, "saved.json"), a.image, "discs.bmp"))
        reread.restore(std::move(object));
    EXPECT_EQ(toObjectsJson(reread.objects(), a.image, "discs.bmp"), json);
    reread.analyseAll(a.image, "discs.bmp", 1);
    EXPECT_EQ(toObjectsJson(reread.objects(), a.image, "discs.bmp"), json);
    EXPECT_EQ(toObjectsJson(a.objects(), a.image, "discs.bmp", true).count('\n'), 1);

    // A single result's JSON is one object with its settings.
    const std::vector<PictureObject> one = parseObjects(
        R"({"box": [1, 2, 30, 40], "model": "opened", "fields": {"points": 9}})", "one.json");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].id, 1);
    EXPECT_EQ(one[0].values.model, ModelChoice::Opened);
    EXPECT_EQ(boxOf(one[0].values.fields), (Box{1, 2, 30, 40}));
    EXPECT_EQ(at(one[0].values.fields, Field::Points), 9);
}

TEST(ObjectFormats, RoiSetKeepsEachOutlineUnderItsIdStoredOrDeflated) {
    const Analysed a;
    const QByteArray stored = toRoiSet(a.objects());
    // Only objects with an outline: the failed one never had one.
    const std::vector<ZipEntry> entries = unzip(stored, 1 << 20, 1 << 20);
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_THROW(unzip(stored, 1 << 20, 1000), ZipError); // more than all may unpack to
    EXPECT_EQ(entries[2].name, "0004.roi");
    for (const QByteArray& zip : {stored, test::deflatedZip(entries)}) {
        const std::vector<PictureObject> read = parseObjects(zip, "set.zip");
        ASSERT_EQ(read.size(), 7u);
        for (std::size_t i = 0; i < read.size(); ++i) {
            const PictureObject& saved = a.objects()[i];
            EXPECT_EQ(read[i].id, saved.id);
            EXPECT_EQ(read[i].result.closed, saved.result.closed);
            ASSERT_EQ(read[i].result.contour.size(), saved.result.contour.size());
            for (std::size_t p = 0; p < saved.result.contour.size(); ++p)
                EXPECT_EQ(read[i].result.contour[p].x, float(saved.result.contour[p].x));
        }
    }
}

TEST(ObjectFormats, TablesCollectionLabelsAndOverlayDescribeEveryObject) {
    const Analysed a;
    const QList<QByteArray> rows = toObjectsCsv(a.objects(), a.image).split('\n');
    ASSERT_EQ(rows.size(), 10); // header, eight objects, the final newline's empty rest
    EXPECT_TRUE(rows[0].startsWith("id,area,perimeter,"));
    EXPECT_TRUE(rows[8].startsWith("9,,,")); // the failed object: no contour, flagged
    EXPECT_TRUE(rows[8].endsWith(",failed"));
    EXPECT_EQ(rows[1].count(','), rows[0].count(','));
    const QByteArray points = objectPointsCsv(a.objects());
    EXPECT_TRUE(points.startsWith("id,x,y\n1,"));
    EXPECT_TRUE(points.contains("\n8,") && !points.contains("\n9,"));

    const QJsonObject collection =
        QJsonDocument::fromJson(toFeatureCollection(a.objects(), a.image, "discs.bmp")).object();
    const QJsonObject feature = collection["features"].toArray()[2].toObject();
    EXPECT_EQ(feature["id"].toInt(), 4);
    // Read back, each Feature with an outline is an outline without settings under its id.
    const std::vector<PictureObject> outlines =
        parseObjects(toFeatureCollection(a.objects(), a.image, "discs.bmp"), "discs.geojson");
    ASSERT_EQ(outlines.size(), 7u); // the failed object has no geometry
    for (std::size_t i = 0; i < outlines.size(); ++i) {
        EXPECT_EQ(outlines[i].id, a.objects()[i].id);
        EXPECT_TRUE(outlines[i].fromOutline);
        EXPECT_EQ(outlines[i].result.closed, a.objects()[i].result.closed);
        ASSERT_EQ(outlines[i].result.contour.size(), a.objects()[i].result.contour.size());
        EXPECT_FLOAT_EQ(outlines[i].result.contour[3].y, a.objects()[i].result.contour[3].y);
    }
    EXPECT_EQ(feature["properties"].toObject()["name"].toString(), "Object 4");
    EXPECT_EQ(feature["properties"].toObject()["objectType"].toString(), "annotation");

    // Two overlapping squares: the later id wins where they overlap.
    std::vector<PictureObject> squares(2);
    squares[0].id = 7;
    squares[0].result = test::resultWith({{10, 10}, {40, 10}, {40, 40}, {10, 40}});
    squares[1].id = 2;
    squares[1].result = test::resultWith({{30, 30}, {60, 30}, {60, 60}, {30, 60}});
    QImage labels = QImage::fromData(toLabelsPng(squares, a.image), "PNG");
    ASSERT_EQ(labels.format(), QImage::Format_Grayscale16);
    const auto label = [&labels](int x, int y) {
        return reinterpret_cast<const std::uint16_t*>(labels.constScanLine(y))[x];
    };
    EXPECT_EQ(label(5, 5), 0);
    EXPECT_EQ(label(15, 15), 7);
    EXPECT_EQ(label(35, 35), 7);
    EXPECT_EQ(label(50, 50), 2);

    const QImage overlay = objectsOverlay(a.objects(), a.image, 4);
    const auto count = [&overlay](QRgb colour) {
        int n = 0;
        for (int y = 0; y < overlay.height(); ++y)
            for (int x = 0; x < overlay.width(); ++x)
                n += overlay.pixel(x, y) == colour;
        return n;
    };
    EXPECT_GT(count(qRgb(255, 0, 0)), 50);
    EXPECT_GT(count(qRgb(255, 255, 0)), 6 * 50);
}

// A file's unit may hold anything; the table's header holds letters, digits and underscores.
TEST(ObjectFormats, AUnitGoesIntoTheTableHeaderAsLettersAndDigitsOnly) {
    const std::string u = "a_b_c_d_um";
    EXPECT_EQ(calibratedHeader("a\"b,c\nd \u00b5m"),
              "area_" + u + "2,perimeter_" + u + ",equivalent_diameter_" + u + ",centroid_x_" + u +
                  ",centroid_y_" + u + ",length_" + u);
}

TEST(ObjectFormats, AFileThatCannotBeUsedSaysWhichAndWhy) {
    const Analysed a;
    const QByteArray set = toRoiSet(a.objects());
    QByteArray badCrc = set;
    badCrc[40] = static_cast<char>(badCrc[40] ^ 1);
    QByteArray huge = zipStored({{"0001.roi", "Iout"}});
    huge[huge.indexOf("PK\x01\x02") + 26] = 0x50; // claims to unpack to 5 MB
    QByteArray oval =
        zipStored({{"0001.roi", QByteArray("Iout\0\xe4\x02", 7) + QByteArray(57, 0)}});
    // A traced triangle made sub-pixel, its first point at x = 1e30.
    QByteArray far = test::tracedRoi({{0, 0}, {4, 0}, {4, 4}});
    far[51] = static_cast<char>(128);
    for (const float v : {1e30f, 4.f, 4.f, 0.f, 0.f, 4.f}) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &v, 4);
        for (int shift = 24; shift >= 0; shift -= 8)
            far.append(static_cast<char>(bits >> shift));
    }
    QByteArray wrapped = zipStored({{"1.roi", "a"}, {"2.roi", "b"}});
    wrapped[wrapped.size() - 12] = 1; // the end record counts 1 entry of 2
    QByteArray manyObjects = "{\"objects\": [0";
    for (qsizetype i = 0; i < kMaxListObjects; ++i)
        manyObjects += ",0";
    manyObjects += "]}";
    const struct {
        QByteArray bytes;
        const char* says;
    } cases[] = {
        {"{\"objects\": [{\"id\": 1, \"box\": [1, 2, 3, 4], \"fields\": {\"points\": 2}}]}",
         "Objects file \"saved.x\", key \"objects[0].fields.points\": 2 is outside"},
        {"{\"objects\": [{\"id\": 1, \"box\": [1, 2, 3, 4]}, {\"id\": 1, \"box\": [1, 2, 3, 4]}]}",
         "key \"objects[1].id\": 1 is the id of an earlier object"},
        {"{\"count\": 2, \"objects\": [{\"id\": 1, \"box\": [1, 2, 3, 4]}]}",
         "key \"count\": 1 objects are listed, not 2"},
        {"{\"objects\": [{\"id\": 1, \"model\": \"standard\"}]}",
         "key \"objects[0].box\": missing"},
        {"{\"objects\": [{\"id\": 1.5, \"box\": [1, 2, 3, 4]}]}", "1.5 is not a whole number"},
        {"{\"objects\": [", "Objects file \"saved.x\" is neither JSON nor an ImageJ RoiSet"},
        {set.left(set.size() - 30), "RoiSet file \"saved.x\" cannot be read"},
        {badCrc, "CRC-32 does not match"},
        {huge, "unpacks to 5242884 bytes, more than the 4194304 allowed"},
        {oval, "entry \"0001.roi\": an ROI of type 2"},
        {zipStored({{"0001.roi", "Iout"}}), "entry \"0001.roi\": not an ImageJ ROI"},
        {R"({"type": "FeatureCollection", "features": 3})",
         "GeoJSON file \"saved.x\" has no array \"features\""},
        {R"({"type": "FeatureCollection", "features": [{"geometry": {"type": "Point"}}]})",
         "feature 0: a geometry of type \"Point\"; only Polygon and LineString are read"},
        {R"({"type": "FeatureCollection", "features": [{"geometry": {"type": "Polygon",
             "coordinates": []}}]})",
         "feature 0: its polygon has no ring"},
        {R"({"type": "FeatureCollection", "features": [{"geometry": {"type": "LineString",
             "coordinates": [[1, 2], [3]]}}]})",
         "feature 0: a position is not [x, y]"},
        {R"({"type": "FeatureCollection", "features": [{"geometry": null}]})",
         "GeoJSON file \"saved.x\" holds no outline"},
        {R"({"objects": [{"id": 1, "box": [1, 2, 30, 40], "points": [[1, 2]]}]})",
         "key \"objects[0].points\": 1 points, not the 32 of the field"},
        {zipStored({{"0001.roi", far}}),
         "entry \"0001.roi\": point 1 lies beyond 1000000 pixels from the picture's corner"},
        {R"({"type": "FeatureCollection", "features": [{"geometry": {"type": "LineString",
             "coordinates": [[1, 2], [3e38, 4]]}}]})",
         "feature 0: a position is not a number within 1000000 pixels of the picture's corner"},
        {wrapped, "more entries than the 1 its end record counts"},
        {zipStored({{"\x1b]0;x\x07\xc2\x9b.roi", "Iout"}}),
         "entry \"\\x1b]0;x\\x07\\x9b.roi\": not an ImageJ ROI"},
        {manyObjects, "key \"objects\": 100001 objects, more than the 100000 a list may hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        EXPECT_NE(errorOf(c.bytes).find(c.says), std::string::npos) << errorOf(c.bytes);
    }
}

TEST(ObjectFormats, RoiSetsOfAnyCountReadWhole) {
    // 65535 entries: the most a plain end record counts, and what the writer makes.
    std::vector<ZipEntry> entries(0xffff, ZipEntry{"a.roi", "x"});
    EXPECT_EQ(unzip(zipStored(entries), 1 << 20, 1 << 30).size(), 0xffffu);
    // More are counted by the zip64 end record.
    const std::vector<ZipEntry> three = {{"1.roi", "a"}, {"2.roi", "bc"}, {"3.roi", "d"}};
    const std::vector<ZipEntry> read = unzip(test::asZip64(zipStored(three)), 1 << 20, 1 << 20);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[2].name, "3.roi");
    EXPECT_EQ(read[1].data, "bc");
}

TEST(ObjectFormats, FifosDevicesAndOversizeFilesAreRefusedUnread) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.json"), huge = dir.filePath("huge.json");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Sparse: no disk is used.
    ASSERT_TRUE(QFile(huge).open(QIODevice::WriteOnly) && QFile::resize(huge, (256 << 20) + 1));
    const auto says = [](const auto& read, const QString& path, const std::string& text) {
        try {
            read(path);
        } catch (const SettingsError& e) {
            return std::string(e.what()).find(text) != std::string::npos;
        }
        return false;
    };
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        const std::string quoted = '"' + path.toStdString() + "\": it is not a regular file";
        EXPECT_TRUE(says(readObjects, path, "Cannot read objects file " + quoted)) << quoted;
        EXPECT_TRUE(says(readSettings, path, "Cannot read settings file " + quoted)) << quoted;
    }
    EXPECT_TRUE(says(readObjects, huge, "larger than the 268435456 bytes such a file may hold"));
    EXPECT_TRUE(says(readSettings, huge, "larger than the 67108864 bytes"));
}

} // namespace
} // namespace orvik
