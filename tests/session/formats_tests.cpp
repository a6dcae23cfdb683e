// Tests of the result formats: each written, then read back; and saves that fail.
#include "io/formats.h"
#include "io/settings.h"
#include "session_test_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace orvik {
namespace {

using test::resultWith;

// A contour with sub-pixel points, one of them left of and above the image.
const std::vector<ContourPoint> kite{{20.25, 10.5}, {40.75, 30}, {20.5, 50.125}, {-2.5, 30.75}};

// The published ImageJ ROI layout, read back: the 64-byte big-endian header, the integer
// coordinates relative to the box and the sub-pixel floats behind them.
struct RoiFile {
    explicit RoiFile(const QByteArray& b) : bytes(b) {}
    int byteAt(qsizetype at) const { return static_cast<unsigned char>(bytes[at]); }
    int shortAt(qsizetype at) const {
        return static_cast<std::int16_t>((byteAt(at) << 8) | byteAt(at + 1));
    }
    std::uint32_t intAt(qsizetype at) const {
        return static_cast<std::uint32_t>(byteAt(at)) << 24 |
               static_cast<std::uint32_t>(byteAt(at + 1)) << 16 |
               static_cast<std::uint32_t>(byteAt(at + 2)) << 8 |
               static_cast<std::uint32_t>(byteAt(at + 3));
    }
    float floatAt(qsizetype at) const {
        const std::uint32_t bits = intAt(at);
        float v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    QByteArray bytes;
};

TEST(Formats, CsvHoldsThePointsWithNineDigits) {
    const ContourResult r = resultWith(kite);
    const QList<QByteArray> lines = toCsv(r).split('\n');
    ASSERT_EQ(lines.size(), 6); // header, four points, the final newline's empty rest
    EXPECT_EQ(lines[0], "x,y");
    EXPECT_EQ(lines[1], "20.25,10.5");
    EXPECT_EQ(lines[4], "-2.5,30.75");
    EXPECT_EQ(toCsv(resultWith({{1.0 / 3, 2}, {1, 2}, {1, 3}})).split('\n')[1], "0.333333333,2");
}

TEST(Formats, RoiFollowsImageJsHeaderLayout) {
    for (const bool closed : {true, false}) {
        SCOPED_TRACE(closed ? "polygon" : "polyline");
        const ContourResult r = resultWith(kite, closed);
        const RoiFile roi(toRoi(r));
        const int n = 4;
        ASSERT_EQ(roi.bytes.left(4), "Iout");
        EXPECT_EQ(roi.shortAt(4), 228);
        EXPECT_EQ(roi.byteAt(6), closed ? 0 : 5);
        EXPECT_EQ(roi.shortAt(8), 10);  // top
        EXPECT_EQ(roi.shortAt(10), -3); // left
        EXPECT_EQ(roi.shortAt(12), 51); // bottom
        EXPECT_EQ(roi.shortAt(14), 41); // right
        EXPECT_EQ(roi.shortAt(16), n);
        EXPECT_EQ(roi.shortAt(50) & 128, 128); // sub-pixel resolution
        const std::uint32_t header2 = roi.intAt(60);
        EXPECT_EQ(header2, 64u + 12 * n);
        EXPECT_EQ(roi.bytes.size(), static_cast<qsizetype>(header2) + 64);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(roi.shortAt(64 + 2 * i) + roi.shortAt(10), std::floor(kite[i].x));
            EXPECT_EQ(roi.shortAt(64 + 2 * n + 2 * i) + roi.shortAt(8), std::floor(kite[i].y));
            EXPECT_EQ(roi.floatAt(64 + 4 * n + 4 * i), kite[i].x);
            EXPECT_EQ(roi.floatAt(64 + 8 * n + 4 * i), kite[i].y);
        }
    }
}

TEST(Formats, GeoJsonIsAFeatureWithAClosedRingOrALine) {
    for (const bool closed : {true, false}) {
        SCOPED_TRACE(closed ? "polygon" : "line");
        const ContourResult r = resultWith(kite, closed);
        const Measurements m = measure(r, GreyBufferView{nullptr, 100, 80});
        const QJsonObject feature = QJsonDocument::fromJson(toGeoJson(r, m)).object();
        EXPECT_EQ(feature["type"].toString(), "Feature");
        const QJsonObject geometry = feature["geometry"].toObject();
        EXPECT_EQ(geometry["type"].toString(), closed ? "Polygon" : "LineString");
        const QJsonArray line = closed ? geometry["coordinates"].toArray()[0].toArray()
                                       : geometry["coordinates"].toArray();
        ASSERT_EQ(line.size(), closed ? 5 : 4);
        EXPECT_EQ(line[0], line[closed ? 4 : 0]);
        EXPECT_EQ(line[3].toArray()[0].toDouble(), -2.5);
        const QJsonObject properties = feature["properties"].toObject();
        EXPECT_EQ(properties["file"].toString(), "cells 1.bmp");
        EXPECT_EQ(properties["model"].toString(), closed ? "standard" : "opened");
        EXPECT_EQ(properties["object"].toString(), "black-on-white");
        EXPECT_EQ(properties["fields"].toObject()["tension"].toInt(), 40);
        const QJsonObject measurements = properties["measurements"].toObject();
        EXPECT_EQ(closed ? measurements["area"].toDouble() : measurements["length"].toDouble(),
                  closed ? m.area : m.length);
        EXPECT_EQ(measurements["flags"].toArray(), QJsonArray{"outside"}); // the point at x -2.5
    }
}

TEST(Formats, JsonIsOrvikCliObjectAndReadsBackAsSettings) {
    ContourResult r = resultWith(kite);
    r.context.blackOnWhite = false;
    at(r.context.fields, Field::Points) = 4;
    at(r.context.fields, Field::Gradient) = 7;
    r.energy = 0.1;
    const Measurements m = measure(r, GreyBufferView{nullptr, 100, 80});
    const QByteArray bytes = toJson(r, m);
    EXPECT_TRUE(bytes.startsWith("{\"file\": \"/pictures/cells 1.bmp\", \"width\": 100, "
                                 "\"height\": 80, \"box\": [10, 20, 60, 70], \"model\": "
                                 "\"standard\", \"object\": \"white-on-black\",\n \"fields\": {"));
    const QJsonObject json = QJsonDocument::fromJson(bytes).object();
    EXPECT_EQ(json["energy"].toDouble(), 0.1);
    EXPECT_EQ(json["points"].toArray()[3], (QJsonArray{-2.5, 30.75}));
    EXPECT_EQ(json["vertices"].toArray()[3], (QJsonArray{-2, 30}));
    EXPECT_EQ(json["measurements"].toObject()["perimeter"].toDouble(), m.perimeter);
    EXPECT_EQ(json["measurements"].toObject()["flags"].toArray(), QJsonArray{"outside"});
    ContourResult failed = resultWith({});
    failed.error = "Floating point overflow";
    EXPECT_EQ(QJsonDocument::fromJson(toJson(failed, measure(failed, GreyBufferView{})))
                  .object()["measurements"]
                  .toObject(),
              (QJsonObject{{"flags", QJsonArray{"failed"}}}));
    EXPECT_TRUE(json["error"].isNull());
    const QByteArray line = toJson(r, m, true);
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_EQ(QJsonDocument::fromJson(line).object(), json);

    const Settings s = parseSettings(bytes, "saved.json");
    ControlValues expected;
    expected.fields = r.context.fields;
    at(expected.fields, Field::X1) = 10;
    at(expected.fields, Field::Y1) = 20;
    at(expected.fields, Field::X2) = 60;
    at(expected.fields, Field::Y2) = 70;
    expected.model = ModelChoice::Standard;
    expected.blackOnWhite = false;
    const ControlValues read = applySettings(s, ControlValues{});
    EXPECT_EQ(read.fields, expected.fields);
    EXPECT_EQ(read.model, expected.model);
    EXPECT_EQ(read.blackOnWhite, expected.blackOnWhite);
}

TEST(Formats, FileNamesOfAnyCharactersStayValidJson) {
    for (const char* name : {"a \"quoted\" name.bmp", "back\\slash.bmp", "tab\tnew\nline\x01.bmp",
                             "caf\u00e9 \u65e5\u672c.bmp"}) {
        SCOPED_TRACE(name);
        const QString file = QStringLiteral("/pictures/") + QString::fromUtf8(name);
        ContourResult r = resultWith(kite);
        r.context.imageFile = file.toStdString();
        r.error = name;
        const Measurements m = measure(r, GreyBufferView{nullptr, 100, 80});
        const QJsonObject json = QJsonDocument::fromJson(toJson(r, m, true)).object();
        EXPECT_EQ(json["file"].toString(), file);
        EXPECT_EQ(json["error"].toString(), QString::fromUtf8(name));
        const QJsonObject feature = QJsonDocument::fromJson(toGeoJson(r, m)).object();
        EXPECT_EQ(feature["properties"].toObject()["file"].toString(), QString::fromUtf8(name));
        const QJsonObject error = QJsonDocument::fromJson(errorJson(file, file)).object();
        EXPECT_EQ(error["file"].toString(), file);
        EXPECT_EQ(error["error"].toString(), file);
    }
}

TEST(Formats, MaskIsTheInsidePixelsAndRefusedForOpened) {
    const ContourResult r = resultWith(kite);
    const QImage mask = QImage::fromData(toMaskPng(r), "PNG");
    ASSERT_EQ(mask.size(), QSize(100, 80));
    EXPECT_TRUE(mask.isGrayscale());
    EXPECT_EQ(mask.dotsPerMeterX(), 3780); // the same bytes on every screen
    std::int64_t white = 0, other = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const int v = qGray(mask.pixel(x, y));
            white += v == 255;
            other += v != 255 && v != 0;
        }
    EXPECT_EQ(white, measure(r, GreyBufferView{nullptr, 100, 80}).pixels);
    EXPECT_GT(white, 0);
    EXPECT_EQ(other, 0);
    EXPECT_THROW(toMaskPng(resultWith(kite, false)), ResultFileError);
}

TEST(Formats, ContoursBeyondTheFloatRangeAreNotWrittenAsContourFiles) {
    const ContourResult r = resultWith({{1, 1}, {std::nan(""), 2}, {3, 3}});
    EXPECT_THROW(toCsv(r), ResultFileError);
    EXPECT_THROW(toRoi(r), ResultFileError);
    EXPECT_THROW(toGeoJson(r, Measurements{}), ResultFileError);
    EXPECT_THROW(toMaskPng(r), ResultFileError);
    EXPECT_THROW(toRoi(resultWith({{1e39, 1}, {2, 2}, {3, 3}})), ResultFileError);
    // The orvik-cli object still describes it, with null where a number cannot be written.
    EXPECT_FALSE(QJsonDocument::fromJson(toJson(r, Measurements{})).isNull());
}

TEST(Formats, OutputNamesAndTheFileTypeChooseTheFormat) {
    EXPECT_EQ(outputPath("out", "/a/b/cells.1.bmp", ResultFormat::Mask), "out/cells.1-mask.png");
    EXPECT_EQ(outputPath("out", "cells.bmp", ResultFormat::GeoJson), "out/cells.geojson");
    EXPECT_EQ(contourFormatForPath("x/Y.ROI"), ResultFormat::Roi);
    EXPECT_EQ(contourFormatForPath("x/y.json"), ResultFormat::Json);
    EXPECT_EQ(contourFormatForPath("x/y.png"), std::nullopt);
    EXPECT_EQ(formatFromKey("overlay"), ResultFormat::Overlay);
    EXPECT_EQ(formatFromKey("tiff"), std::nullopt);
}

TEST(Formats, AFailedSaveNamesTheFileAndLeavesNothingBehind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("kept");
    plain.close();
    for (const QString& path :
         {dir.filePath("missing/out.csv"), dir.filePath("plain/out.csv"), dir.filePath("")}) {
        SCOPED_TRACE(path.toStdString());
        try {
            saveFile(path, "x,y\n");
            ADD_FAILURE() << "saved";
        } catch (const ResultFileError& e) {
            EXPECT_NE(std::string(e.what()).find(path.toStdString()), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"plain"});
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_EQ(plain.readAll(), "kept");
    plain.close();
    // A save that works replaces the old contents whole.
    saveFile(plain.fileName(), "new");
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_EQ(plain.readAll(), "new");
    plain.close();
    // Files saved together are written all or none: the second one's place is a folder.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken"));
    EXPECT_THROW(saveFiles({{dir.filePath("first"), "1"}, {dir.filePath("taken"), "2"}}),
                 ResultFileError);
    EXPECT_FALSE(QFile::exists(dir.filePath("first")));
}

// A non-blocking pipe whose reader is slower than the writer is still written whole.
TEST(Formats, AWriteToAFullNonBlockingPipeWaitsForTheReader) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(fcntl(ends[1], F_SETFL, O_NONBLOCK), 0);
    const std::string bytes(300000, 'x'); // several times what a pipe holds
    std::string read;
    std::thread reader([&read, in = ends[0]] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        char buffer[4096];
        for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) > 0;)
            read.append(buffer, std::size_t(n));
    });
    EXPECT_EQ(writeWhole(ends[1], bytes.data(), bytes.size()), 0);
    close(ends[1]);
    reader.join();
    close(ends[0]);
    EXPECT_EQ(read.size(), bytes.size());
}

} // namespace
} // namespace orvik
