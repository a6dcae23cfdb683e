// Tests of orvik-cli over the frames of a stack (lines, following, range, scale, formats), and
// of a single 8-bit picture whose output stays what it was before stacks.
#include "bitmap_folder.h"
#include "cli.h"
#include "io/object_formats.h"
#include "picture_stack.h"
#include "synthetic_movie.h"
#include "tiff_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>

namespace orvik {
namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<QJsonObject> lines(const std::string& output) {
    std::vector<QJsonObject> objects;
    for (const QByteArray& line : QByteArray::fromStdString(output).split('\n'))
        if (!line.isEmpty()) objects.push_back(QJsonDocument::fromJson(line).object());
    return objects;
}

class CliFrames : public ::testing::Test {
protected:
    // Five frames, calibrated by the file at 0.5 micron a pixel.
    void SetUp() override {
        test::writeTiff(movie, test::discMovie(5, "ImageJ=1.54f\nunit=micron\n", 2.0f));
    }
    cli::Outcome run(std::vector<std::string> args) {
        args.push_back(movie.toStdString());
        return cli::run(args);
    }
    test::BitmapFolder dir;
    QString movie = dir.path("movie.tif");
    std::string out = dir.path("out").toStdString();
};

const std::vector<std::string> kFind = {"--find-objects", "--threshold", "auto", "--model",
                                        "standard"};
const std::vector<std::string> kSingle = {"--model",  "standard", "--threshold", "auto",
                                          "--radius", "14",       "--box",       "21",
                                          "26",       "49",       "54"};

std::vector<std::string> with(std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST_F(CliFrames, EachFrameGivesALineAndItsObjectsFollowTheDriftInThePicturesUnits) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int count; // objects a line; -1 a single contour
        QString unit;
        double scale;
    };
    for (const Case& c : std::vector<Case>{
             {"found", kFind, 2, "µm", 0.5},
             {"single contour", kSingle, -1, "µm", 0.5},
             {"scale given", with(kFind, {"--pixel-size", "0.25", "--unit", "um"}), 2, "um", 0.25},
             {"range that whitens all", with(kFind, {"--range", "0", "1000"}), 0, "", 0},
         }) {
        SCOPED_TRACE(c.name);
        const cli::Outcome outcome = run(c.args);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.error;
        const std::vector<QJsonObject> frames = lines(outcome.output);
        ASSERT_EQ(frames.size(), 5u);
        for (int t = 0; t < 5; ++t) {
            const QJsonObject& line = frames[std::size_t(t)];
            EXPECT_EQ(line["frame"].toInt(-1), t);
            QJsonObject first = line; // the single contour's line, or object 1
            if (c.count >= 0) {
                ASSERT_EQ(line["count"].toInt(), c.count);
                if (c.count == 0) continue;
                const QJsonArray objects = line["objects"].toArray();
                EXPECT_EQ(objects[1].toObject()["id"].toInt(), 2);
                first = objects[0].toObject();
            }
            const QJsonObject m = first["measurements"].toObject();
            // The contour moves with its disc, 2 px a frame.
            EXPECT_NEAR(m["centroid"].toArray().at(0).toDouble(), 35 + 2 * t, 2.0);
            // The grey statistics are 16-bit values, not the display's grey.
            EXPECT_EQ(m["min_grey"].toInt(), 1000);
            const QJsonObject cal = m["calibrated"].toObject();
            EXPECT_EQ(cal["unit"].toString(), c.unit);
            EXPECT_DOUBLE_EQ(cal["area"].toDouble(), m["area"].toDouble() * c.scale * c.scale);
            EXPECT_DOUBLE_EQ(cal["perimeter"].toDouble(), m["perimeter"].toDouble() * c.scale);
        }
    }
}

TEST_F(CliFrames, TheFormatsOverFramesHoldEveryFrameAndTheCtcMasksMatchTheTracks) {
    const QString table = dir.path("table.csv");
    const cli::Outcome outcome = run(with(kFind, {"--save", "ctc,roiset,csv,geojson,json", "--out",
                                                  out, "--table", table.toStdString()}));
    ASSERT_EQ(outcome.exitCode, 0) << outcome.error;
    const QDir folder(QString::fromStdString(out));
    EXPECT_EQ(contentOf(folder.filePath("movie/res_track.txt")), "1 0 4 0\n2 0 4 0\n");
    for (int t = 0; t < 5; ++t) {
        const PictureStack mask = loadPictureStack(
            folder.filePath(QStringLiteral("movie/mask%1.tif").arg(t, 3, 10, QChar('0'))));
        ASSERT_EQ(mask.frames.layout(), SampleLayout::Grey16);
        const auto labels = mask.frames.frame16(0);
        EXPECT_EQ(labels[40 * 120 + 35 + 2 * t], 1) << t; // each disc's centre
        EXPECT_EQ(labels[60 * 120 + 85], 2) << t;
    }
    const std::vector<RoiOutline> rois =
        parseRoiSet(contentOf(folder.filePath("movie.zip")), "movie.zip");
    ASSERT_EQ(rois.size(), 10u);
    EXPECT_EQ(rois[3].name, "0002-0002.roi");
    EXPECT_EQ(rois[3].position, 2); // ImageJ's slice, from 1
    const QList<QByteArray> csv = contentOf(folder.filePath("movie.csv")).split('\n');
    EXPECT_TRUE(csv[0].startsWith("frame,id,area,")) << csv[0].toStdString();
    EXPECT_TRUE(csv[0].endsWith(",area_um2,perimeter_um,equivalent_diameter_um,centroid_x_um,"
                                "centroid_y_um,length_um"));
    EXPECT_TRUE(csv.value(10).startsWith("4,2,"));
    EXPECT_TRUE(contentOf(table).startsWith("file,frame,id,area,"));
    EXPECT_EQ(contentOf(folder.filePath("movie.geojson")).count("\"frame\": 4, "), 2);
    // The JSON reruns to the same first line (read objects are then followed without
    // detection, found ones with it); a RoiSet seeds from its first slice.
    const auto firstLine = [](const std::string& text) { return text.substr(0, text.find('\n')); };
    EXPECT_EQ(firstLine(run({"--objects", folder.filePath("movie.json").toStdString()}).output),
              firstLine(outcome.output));
    EXPECT_EQ(lines(run({"--objects", folder.filePath("movie.zip").toStdString()}).output)
                  .at(0)["count"]
                  .toInt(),
              2);
}

TEST_F(CliFrames, ASingleContourFollowsAsTheSameObjectOfAListWould) {
    const cli::Outcome single = run(kSingle);
    ASSERT_EQ(single.exitCode, 0) << single.error;
    // The first frame's line is a settings file: the same contour as a list of one.
    const QString settings = dir.write(
        "first.json", QByteArray::fromStdString(single.output).left(single.output.find('\n')));
    const std::vector<QJsonObject> own = lines(single.output);
    const std::vector<QJsonObject> listed =
        lines(run({"--objects", settings.toStdString()}).output);
    ASSERT_EQ(listed.size(), 5u);
    for (std::size_t t = 0; t < 5; ++t)
        EXPECT_EQ(listed[t]["objects"].toArray().at(0).toObject()["points"], own[t]["points"]) << t;
}

// A save that fails on a frame still leaves every frame its line, and the failure is told.
TEST_F(CliFrames, AFailedSaveKeepsTheLinesOfEveryFrame) {
    ASSERT_TRUE(QDir().mkpath(dir.path("out/movie-001.csv"))); // a folder in the file's place
    const cli::Outcome outcome = run(with(kSingle, {"--save", "csv", "--out", out}));
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.error.find("movie-001.csv"), std::string::npos) << outcome.error;
    EXPECT_EQ(lines(outcome.output).size(), 5u) << outcome.output;
}

// Every file of a folder with its bytes, by name.
std::map<QString, QByteArray> filesIn(const QString& folder) {
    std::map<QString, QByteArray> files;
    const QDir root(folder);
    for (const QFileInfo& info :
         root.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (info.isDir()) {
            for (auto& [name, bytes] : filesIn(info.filePath()))
                files[info.fileName() + u'/' + name] = bytes;
        } else {
            files[info.fileName()] = contentOf(info.filePath());
        }
    }
    return files;
}

// The objects are measured and written on the workers, the next frame read and a large
// picture labelled there too; what is printed and saved is the same byte for byte on any number
// of them, for a stack and for a single picture of a dozen objects, small and large.
TEST_F(CliFrames, EveryThreadCountPrintsAndSavesTheSameBytes) {
    test::MovieScene scene;
    scene.frames = 3;
    test::MovieScene large = scene;
    large.width = 720;
    large.height = 400;
    large.frames = 2;
    const auto write = [&](const test::MovieScene& drawn, const QString& path, int frames) {
        const test::SyntheticMovie movie = test::drawMovie(drawn);
        test::writeStack16(
            path, drawn.width, drawn.height, frames, [&](int f, std::uint16_t* samples) {
                std::copy_n(movie.frames.frame16(f).get(), movie.frames.samplesPerFrame(), samples);
            });
        return path;
    };
    for (const QString& input :
         {write(scene, dir.path("m12.tif"), 3), write(scene, dir.path("p12.tif"), 1),
          write(large, dir.path("l12.tif"), 2), write(large, dir.path("w12.tif"), 1)}) {
        std::string output;
        std::map<QString, QByteArray> files;
        for (const char* threads : {"1", "2", "3"}) {
            const QString folder = dir.path(QStringLiteral("t%1").arg(threads));
            const cli::Outcome outcome = cli::run(
                {"--find-objects", "--threshold", "auto", "--points", "200", "--threads", threads,
                 "--save", "ctc,roiset,csv,geojson,json,labels", "--out", folder.toStdString(),
                 "--table", (folder + QStringLiteral("/table.csv")).toStdString(),
                 input.toStdString()});
            ASSERT_EQ(outcome.exitCode, 0) << outcome.error;
            if (output.empty()) {
                output = outcome.output;
                files = filesIn(folder);
                EXPECT_EQ(lines(output).at(0)["count"].toInt(), 12);
                continue;
            }
            EXPECT_EQ(outcome.output, output) << threads;
            EXPECT_EQ(filesIn(folder), files) << threads;
        }
    }
}

// What orvik-cli printed and wrote for the sample picture before it read pictures as frames.
TEST(CliSinglePicture, AnEightBitPicturesOutputIsWhatItWasBeforeFrames) {
    // Named as a user in the samples' folder names it: the output holds the name.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(ORVIK_SAMPLES_DIR));
    const std::string sample = "dark-disc.bmp";
    test::BitmapFolder dir;
    const std::string table = dir.path("t.csv").toStdString();
    const auto sha = [](const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16);
    };
    const cli::Outcome single = cli::run({sample});
    EXPECT_EQ(sha(QByteArray::fromStdString(single.output)), "21771cfc9f059efc");
    const cli::Outcome list =
        cli::run({"--find-objects", "--threshold", "auto", "--model", "standard", "--table", table,
                  "--save", "json,csv", "--out", dir.path("").toStdString(), sample});
    ASSERT_EQ(list.exitCode, 0) << list.error;
    EXPECT_EQ(sha(QByteArray::fromStdString(list.output)), "fede868fdba9495b");
    EXPECT_EQ(sha(contentOf(QString::fromStdString(table))), "37f33e1e0dcd293e");
    EXPECT_EQ(sha(contentOf(dir.path("dark-disc.csv"))), "d48ad5cef55eac69");
    QDir::setCurrent(before);

    // A single 8-bit picture is measured in pixels, whatever density its file states, unless
    // a pixel size is given.
    const QString tiff = dir.path("one.tif");
    test::writeTiff(tiff, {test::patterned({.width = 40,
                                            .height = 30,
                                            .xResolution = 2,
                                            .description = "ImageJ=1.54f\nunit=micron\n"},
                                           0, 250)});
    EXPECT_EQ(cli::run({tiff.toStdString()}).output.find("calibrated"), std::string::npos);
    EXPECT_NE(cli::run({"--pixel-size", "2", "--unit", "nm", tiff.toStdString()})
                  .output.find("\"calibrated\": {\"unit\": \"nm\""),
              std::string::npos);
}

} // namespace
} // namespace orvik
