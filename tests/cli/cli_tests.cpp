// Tests of orvik-cli: its JSON against the engine called directly, and its error paths.
#include "bad_pictures.h"
#include "bitmap_folder.h"
#include "cli.h"
#include "core/init_arguments.h"
#include "grey_image.h"
#include "kontur.h"
#include "pictures.h"
#include "zip_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace orvik {
namespace {

QJsonObject parse(const cli::Outcome& outcome) {
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(outcome.output), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << outcome.output;
    return doc.object();
}

// Nothing printed, or for what only an image can show wrong (a box off the picture), the
// image's line with its file and the error.
bool printsNoContour(const cli::Outcome& outcome) {
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(outcome.output)).object();
    return outcome.output.empty() || (json.keys() == QStringList{"error", "file"});
}

class Cli : public ::testing::Test {
protected:
    // A dark disc of radius 30 around (60, 50) on a light ground, 120 × 100.
    void SetUp() override {
        image = folder.write("disc.bmp", test::discPicture(120, 100, 60, 50, 30, 30, 220));
    }
    cli::Outcome run(std::vector<std::string> args) {
        args.push_back(image.toStdString());
        return cli::run(args);
    }
    test::BitmapFolder folder;
    QString image;
};

// The same analysis done with the engine directly, on the same grey image.
struct Direct {
    Direct(const QString& path, const ControlValues& values)
        : grey(loadGreyImage(path)), blackOnWhite(values.blackOnWhite) {
        BindImage({&grey.GreyData, &grey.ImageWidth, &grey.ImageHeight, &blackOnWhite});
        applyInit(k, analysisArguments(values));
        StepScratch scratch;
        Run(k, scratch);
        BindImage({});
    }
    GreyImage grey;
    bool blackOnWhite;
    KONTUR k;
};

TEST_F(Cli, EveryModelReportsExactlyWhatTheEngineComputes) {
    struct Case {
        const char* name;
        ModelChoice model;
        QJsonArray flags; // with these weights the balloon runs out of the picture
    };
    for (const Case& c :
         {Case{"center", ModelChoice::CenterPoint, {}}, Case{"standard", ModelChoice::Standard, {}},
          Case{"balloon", ModelChoice::Balloon, {"outside", "self-crossing"}},
          Case{"opened", ModelChoice::Opened, {}}}) {
        const cli::Outcome outcome =
            run({"--model", c.name, "--points", "40", "--iterations", "300", "--gradient", "20"});
        ASSERT_EQ(outcome.exitCode, 0) << outcome.error;
        const QJsonObject json = parse(outcome);

        ControlValues values;
        values.model = c.model;
        at(values.fields, Field::Points) = 40;
        at(values.fields, Field::Iterations) = 300;
        at(values.fields, Field::Gradient) = 20;
        const Box box = middleFifth(120, 100);
        at(values.fields, Field::X1) = box.x1;
        at(values.fields, Field::Y1) = box.y1;
        at(values.fields, Field::X2) = box.x2;
        at(values.fields, Field::Y2) = box.y2;
        const Direct direct(image, values);

        EXPECT_EQ(json["model"].toString().toStdString(), c.name);
        EXPECT_EQ(json["box"].toArray(), (QJsonArray{48, 40, 72, 60}));
        EXPECT_EQ(json["iteration"].toInt(), 300);
        EXPECT_EQ(json["energy"].toDouble(), direct.k.Energy);
        const QJsonArray points = json["points"].toArray();
        ASSERT_EQ(points.size(), 40);
        const int level = currentLevel(direct.k);
        for (int i = 0; i < 40; ++i) {
            const QJsonArray p = points[i].toArray();
            ASSERT_EQ(p.size(), c.model == ModelChoice::CenterPoint ? 1 : 2);
            // Nine significant digits read back to the very same float.
            EXPECT_EQ(static_cast<float>(p[0].toDouble()), pointX(direct.k, i, level)) << i;
            if (p.size() == 2) {
                EXPECT_EQ(static_cast<float>(p[1].toDouble()), pointY(direct.k, i, level));
            }
        }
        // Closed outlines come back to their first vertex; the open one has one per point.
        const QJsonArray vertices = json["vertices"].toArray();
        EXPECT_EQ(vertices.size(), c.model == ModelChoice::Opened ? 40 : 41);
        if (c.model != ModelChoice::Opened) {
            EXPECT_EQ(vertices.first(), vertices.last());
        }
        EXPECT_TRUE(json["error"].isNull());
        EXPECT_EQ(json["measurements"].toObject()["flags"].toArray(), c.flags);
        EXPECT_EQ(json["fields"].toObject()["points"].toInt(), 40);
        EXPECT_EQ(json["fields"].toObject()["tension"].toInt(), 40);
    }
}

TEST_F(Cli, BadArgumentsAndUnreadableImagesExitWithStatusTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--points", "201"}, "option --points: 201 is outside the range 3..200"},
        {{"--viscosity", "0"}, "option --viscosity: 0 is outside the range 1..100"},
        {{"--iterations", "ten"}, "option --iterations: \"ten\" is not a whole number"},
        {{"--model", "snake"}, "option --model: \"snake\" is not one of"},
        {{"--box", "0", "0", "121", "10"}, "option --box: X2 121 is outside the range 0..120"},
        {{"--box", "0", "-1", "1", "10"}, "option --box: Y1 -1 is outside the range 0..100"},
        {{"--click", "121", "5", "--tool", "all"},
         "option --click: X 121 is outside the range 0..120"},
        {{"--click", "5", "-2147483648", "--tool", "radius"},
         "option --click: Y -2147483648 is outside the range 0..100"},
        {{"--wobble", "1"}, "unknown option --wobble"},
        {{"--pixel-size", "1", "--unit", "u\nm"}, "option --unit: the unit holds a control"},
        {{"--click", "5", "5"}, "--click and --tool go together"},
        {{"--model", "balloon", "--click", "5", "5", "--tool", "radius"},
         "the radius tool is not available"},
        {{"--model", "opened", "--click", "5", "5", "--tool", "object"},
         "the object tool is not available"},
        {{"--object", "auto"}, "--object auto takes the objects of --find-objects"},
        {{"--find-objects", "--min-area", "500", "--max-area", "400"},
         "--min-area 500 is above --max-area 400"},
        {{"--threshold", "x"},
         "option --threshold: \"x\" is not a whole number, auto or local[:RADIUS]"},
        {{"--threshold", "locale"},
         "option --threshold: \"locale\" is not a whole number, auto or local[:RADIUS]"},
        {{"--find-objects", "--threshold", "local:1"},
         "option --threshold local:RADIUS: 1 is outside the range 2..2000"},
        {{"--split"}, "--split takes the objects of --find-objects: a single contour has its box"},
        {{"--drop-flagged"}, "--drop-flagged takes the objects of --find-objects"},
        {{"--channel", "alpha"}, "option --channel: \"alpha\" is not one of grey, red, green"},
    };
    for (const Case& c : cases) {
        const cli::Outcome outcome = run(c.args);
        EXPECT_EQ(outcome.exitCode, 2) << c.message;
        EXPECT_NE(outcome.error.find(c.message), std::string::npos) << outcome.error;
        EXPECT_TRUE(printsNoContour(outcome)) << outcome.output;
    }

    const std::string missing = folder.path("missing.bmp").toStdString();
    const cli::Outcome notThere = cli::run({missing});
    EXPECT_EQ(notThere.exitCode, 2);
    EXPECT_EQ(notThere.error, "Cannot open file " + missing + ".\n");
    const cli::Outcome unknown = cli::run({folder.path("picture.xyz").toStdString()});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.error, "Unknown picture file extension (.xyz)\n");
}

TEST_F(Cli, ADivergingRunExitsWithStatusOneAndTheErrorText) {
    for (const char* model : {"standard", "balloon", "opened"}) {
        const cli::Outcome outcome =
            run({"--model", model, "--inertia", "0", "--viscosity", "1", "--tension", "500",
                 "--rigidity", "100", "--iterations", "32760"});
        ASSERT_EQ(outcome.exitCode, 1) << model;
        const QJsonObject json = parse(outcome);
        const QString error = json["error"].toString();
        EXPECT_TRUE(error == "Floating point overflow" ||
                    error == "Invalid floating point operation")
            << error.toStdString();
        EXPECT_LT(json["iteration"].toInt(), 32760);
        // The measurements of the last complete step say that they are not to be trusted.
        EXPECT_TRUE(json["measurements"].toObject()["flags"].toArray().contains("failed"));
        EXPECT_EQ(json["fields"].toObject()["tension"].toInt(), 500);
    }
}

TEST_F(Cli, ToolsRunBeforeTheAnalysisAsTheWindowsWould) {
    // A click on the disc's right edge with the box around the disc.
    const cli::Outcome all =
        run({"--box", "30", "20", "90", "80", "--click", "90", "50", "--tool", "all"});
    ASSERT_EQ(all.exitCode, 0) << all.error;
    const QJsonObject fields = parse(all)["fields"].toObject();
    EXPECT_EQ(fields["radius"].toInt(), 30);
    EXPECT_GT(fields["threshold"].toInt(), 4 * 30);
    EXPECT_LT(fields["threshold"].toInt(), 4 * 220);
    EXPECT_EQ(parse(all)["object"].toString(), "black-on-white");

    // A click on the box centre leaves "Set object" without a direction.
    const cli::Outcome centre = run({"--box", "30", "20", "90", "80", "--object", "white-on-black",
                                     "--click", "60", "50", "--tool", "all"});
    ASSERT_EQ(centre.exitCode, 1);
    const QJsonObject json = parse(centre);
    EXPECT_EQ(json["error"].toString(), "Invalid floating point operation");
    EXPECT_EQ(json["object"].toString(), "white-on-black");
    EXPECT_EQ(json["fields"].toObject()["radius"].toInt(), 2); // written before the failure
    EXPECT_EQ(json["iteration"].toInt(), 0);
    EXPECT_TRUE(json["points"].toArray().isEmpty());
}

TEST_F(Cli, TheCommandPrintsTheJsonAndReturnsTheStatus) {
    QProcess process;
    process.start(ORVIK_CLI_PATH, {"--iterations", "10", image});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    const QJsonDocument doc = QJsonDocument::fromJson(process.readAllStandardOutput());
    EXPECT_EQ(doc.object()["iteration"].toInt(), 10);

    process.start(ORVIK_CLI_PATH, {"--points", "2", image});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(process.readAllStandardError().contains("--points"));

    const cli::Outcome help = cli::run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.output, cli::usage());
    EXPECT_TRUE(help.error.empty());
}

// Each picture's line reaches standard output as soon as that picture is done: the second
// picture is written only when the first one's line has arrived, so a run that held the lines
// back until the last picture would find no second picture.
TEST_F(Cli, EachPicturesLineIsHandedOnBeforeTheNextPictureIsRead) {
    const QString later = folder.path("later.bmp");
    std::vector<std::string> lines;
    const int status = cli::run({"--iterations", "5", image.toStdString(), later.toStdString()},
                                {[&](const std::string& text) {
                                     lines.push_back(text);
                                     if (lines.size() == 1) QFile::copy(image, later);
                                 },
                                 [](const std::string&) {}});
    EXPECT_EQ(status, 0);
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines)
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    EXPECT_NE(lines[1].find("later.bmp"), std::string::npos);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(Cli, SaveWritesEveryFormatBesideTheJsonItPrints) {
    const QString out = folder.path("out/deeper"); // created when missing
    const cli::Outcome outcome =
        run({"--model", "standard", "--save", "csv,roi,geojson,json,mask,overlay", "--out",
             out.toStdString(), "--pretty"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.error;
    const QDir results(out);
    EXPECT_EQ(results.entryList(QDir::Files, QDir::Name),
              (QStringList{"disc-mask.png", "disc-overlay.png", "disc.csv", "disc.geojson",
                           "disc.json", "disc.roi"}));
    EXPECT_EQ(readAll(results.filePath("disc.json")).toStdString(), outcome.output);
    EXPECT_TRUE(readAll(results.filePath("disc.csv")).startsWith("x,y\n"));
    EXPECT_TRUE(readAll(results.filePath("disc.roi")).startsWith("Iout"));
    const QImage mask(results.filePath("disc-mask.png"));
    EXPECT_EQ(mask.size(), QSize(120, 100));
    EXPECT_EQ(qGray(mask.pixel(60, 50)), 255);
    EXPECT_EQ(qGray(mask.pixel(2, 2)), 0);
    const QImage overlay(results.filePath("disc-overlay.png"));
    EXPECT_EQ(overlay.size(), QSize(120, 100));

    // An open chain has no mask; the rest is written, and the missing mask is told.
    const QString open = folder.path("open");
    const cli::Outcome opened =
        run({"--model", "opened", "--save", "mask,csv", "--out", open.toStdString()});
    ASSERT_EQ(opened.exitCode, 0);
    EXPECT_NE(opened.error.find("no mask"), std::string::npos) << opened.error;
    EXPECT_EQ(QDir(open).entryList(QDir::Files), QStringList{"disc.csv"});
}

TEST_F(Cli, AFailedSaveLeavesNoFileBehindAndExitsWithStatusTwo) {
    const QString out = folder.path("out");
    ASSERT_TRUE(QDir().mkpath(out + "/disc.csv")); // a folder where the file should go
    const cli::Outcome outcome = run({"--save", "csv", "--out", out.toStdString()});
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.error.find("disc.csv"), std::string::npos) << outcome.error;
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{});
}

// orvik-cli run as a program, optionally with a limit on the size of the files it writes.
struct ProgramRun {
    int exitCode = -1;
    QByteArray output, error;
};

ProgramRun runProgram(const QStringList& arguments, qint64 fileSizeLimit = -1,
                      const QString& locale = {}) {
    QProcess process;
    if (!locale.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LC_ALL", locale);
        process.setProcessEnvironment(environment);
    }
    if (fileSizeLimit >= 0)
        process.setChildProcessModifier([fileSizeLimit] {
            // A write past the limit then fails with EFBIG instead of ending the program.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    process.start(ORVIK_CLI_PATH, arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = process.readAllStandardOutput();
    run.error = process.readAllStandardError();
    return run;
}

// Users run it in their own language, where the C library would write 1,5; what it prints
// stays JSON with the numbers it prints in this test's own locale, which the first test
// holds against the engine's.
TEST_F(Cli, UnderADecimalCommaLocaleTheJsonKeepsItsNumbers) {
    const char* german = "de_DE.UTF-8";
    if (locale_t probe = newlocale(LC_ALL_MASK, german, locale_t{}))
        freelocale(probe);
    else
        GTEST_SKIP() << german << " is not installed (scripts/install-deps.sh --test makes it)";
    const ProgramRun program = runProgram({"--iterations", "50", image}, -1, german);
    ASSERT_EQ(program.exitCode, 0) << program.error.toStdString();
    QJsonParseError error{};
    const QJsonObject json = QJsonDocument::fromJson(program.output, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << program.output.toStdString();
    EXPECT_EQ(json, parse(run({"--iterations", "50"})));
    EXPECT_EQ(json["points"].toArray().size(), 32);
}

// Standard error holds the one message, without the picture libraries' own complaints.
TEST_F(Cli, AnUnreadablePictureIsNamedWithItsCauseAndNothingElseOnStandardError) {
    for (const test::BadPicture& picture : test::badPictures()) {
        SCOPED_TRACE(picture.name.toStdString());
        const QString path = folder.write(picture.name, picture.content);
        const ProgramRun run = runProgram({path});
        EXPECT_EQ(run.exitCode, 2);
        const std::string message = test::unreadableMessage(path, picture).toStdString() + ".";
        EXPECT_EQ(run.error.toStdString(), message + "\n");
        const QJsonObject line = QJsonDocument::fromJson(run.output).object();
        EXPECT_EQ(line["error"].toString().toStdString(), message);
    }
}

// A character device that is always full at `path`: a node of its own where the tests may
// make one, else a link to the system's.
bool makeFullDevice(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (mknod(name.constData(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        const int descriptor = open(name.constData(), O_WRONLY);
        if (descriptor >= 0) {
            close(descriptor);
            return true;
        }
        unlink(name.constData());
    }
    struct stat status {};
    return stat("/dev/full", &status) == 0 && S_ISCHR(status.st_mode) &&
           symlink("/dev/full", name.constData()) == 0;
}

TEST_F(Cli, AFailedWriteSaysWhyAndLeavesNoFileBehind) {
    struct Case {
        const char* name;
        const char* format;
        const char* file;
        qint64 fileSizeLimit; // -1: none; the file is a full device instead
        int reason;           // the system's error, told as the toolkit tells it
    };
    const Case cases[] = {
        // Small enough to sit in a buffer until the end.
        {"a small file over the size limit", "csv", "disc.csv", 0, EFBIG},
        // Larger than the limit: the first write stops short, without an error of its own.
        // Larger than the limit and the buffer: the first write stops short, without an error
        // of its own.
        {"a large file over the size limit", "overlay", "noise-overlay.png", 20000, EFBIG},
        // Buffered whole, then flushed part-way: the device keeps no reason of its own.
        {"a file cut short part-way", "csv", "disc.csv", 100, EFBIG},
        {"a full device", "csv", "disc.csv", -1, ENOSPC},
    };
    // Grey noise, whose overlay picture hardly compresses: some 60 kB.
    const QString noise = folder.write("noise.bmp", test::greyPicture(300, 200, [](int x, int y) {
                                           return (x * 7919 ^ y * 104729) % 251;
                                       }));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = folder.path(QString::fromLatin1(c.name).replace(' ', '-'));
        ASSERT_TRUE(QDir().mkpath(out));
        const QString target = out + "/" + c.file;
        if (c.fileSizeLimit < 0 && !makeFullDevice(target)) {
            ADD_FAILURE() << "no full device could be made";
            continue;
        }
        const QString picture = QString::fromLatin1(c.file).startsWith("noise") ? noise : image;
        const ProgramRun run =
            runProgram({"--save", c.format, "--out", out, picture}, c.fileSizeLimit);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.error.toStdString(), "Cannot save \"" + target.toStdString() + "\": " +
                                               qt_error_string(c.reason).toStdString() + ".\n");
        if (c.fileSizeLimit >= 0) {
            EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System),
                      QStringList{});
        } else {
            struct stat status {};
            ASSERT_EQ(stat(QFile::encodeName(target).constData(), &status), 0);
            EXPECT_TRUE(S_ISCHR(status.st_mode)) << "the device was replaced";
        }
    }
}

// A save into a pipe whose reader is slow waits for it; the file is larger than a pipe holds.
TEST_F(Cli, ASaveIntoAPipeWaitsForASlowReader) {
    const QString noise = folder.write("noise.bmp", test::greyPicture(400, 300, [](int x, int y) {
                                           return (x * 7919 ^ y * 104729) % 251;
                                       }));
    const QString out = folder.path("piped");
    ASSERT_TRUE(QDir().mkpath(out));
    const QByteArray fifo = QFile::encodeName(out + "/noise-overlay.png");
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    const int reader = open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    QProcess process;
    process.start(ORVIK_CLI_PATH, {"--save", "overlay", "--out", out, noise});
    process.waitForFinished(300); // the pipe fills up meanwhile
    QByteArray png;
    char buffer[4096];
    for (int idle = 0; idle < 600 && process.state() != QProcess::NotRunning;) {
        const ssize_t n = read(reader, buffer, sizeof buffer);
        if (n > 0)
            png.append(buffer, n);
        else
            idle += process.waitForFinished(50) ? 0 : 1;
    }
    for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;)
        png.append(buffer, n);
    close(reader);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_GT(png.size(), 65536);
    EXPECT_FALSE(QImage::fromData(png, "PNG").isNull());
}

TEST_F(Cli, ABatchPrintsOneLinePerImageInOrderAndGoesOnAfterABadOne) {
    const std::string good = image.toStdString();
    const std::string bad = folder.path("missing.bmp").toStdString();
    const cli::Outcome outcome =
        cli::run({"--iterations", "20", good, bad, "--model", "balloon", good});
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.error, "Cannot open file " + bad + ".\n");
    const QList<QByteArray> lines = QByteArray::fromStdString(outcome.output).split('\n');
    ASSERT_EQ(lines.size(), 4); // three objects and the end of the last line
    EXPECT_TRUE(lines[3].isEmpty());
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    const QJsonObject second = QJsonDocument::fromJson(lines[1]).object();
    const QJsonObject third = QJsonDocument::fromJson(lines[2]).object();
    EXPECT_EQ(first["file"].toString(), image);
    EXPECT_EQ(first["points"].toArray().size(), 32);
    EXPECT_EQ(second["file"].toString().toStdString(), bad);
    EXPECT_EQ(second["error"].toString().toStdString(), "Cannot open file " + bad + ".");
    EXPECT_FALSE(second.contains("points"));
    // Options hold for every image, wherever they stand.
    EXPECT_EQ(third["model"].toString(), "balloon");
    EXPECT_EQ(first["model"].toString(), "balloon");
    EXPECT_EQ(third["points"], first["points"]);
}

// One compact line per image, for one image as for several, so that the lines of runs over
// a few images at a time join into one JSON Lines file; --pretty indents a single result.
TEST_F(Cli, EveryImageGivesOneJsonLineAndPrettyIndentsASingleOne) {
    const std::string good = image.toStdString();
    const std::string missing = folder.path("missing.bmp").toStdString();
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::vector<bool> lines; // one per line printed: whether it holds points
    } cases[] = {
        {{good}, 0, {true}},
        {{missing}, 2, {false}},
        {{good, missing, good}, 2, {true, false, true}},
        {{"--pretty", good, good}, 2, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--iterations", "5"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const cli::Outcome outcome = cli::run(args);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.error;
        QList<QByteArray> lines = QByteArray::fromStdString(outcome.output).split('\n');
        EXPECT_TRUE(lines.takeLast().isEmpty()) << "every line ends with a newline";
        ASSERT_EQ(lines.size(), static_cast<qsizetype>(c.lines.size())) << outcome.output;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QJsonObject json = QJsonDocument::fromJson(lines[i]).object();
            EXPECT_FALSE(json.isEmpty()) << lines[i].toStdString();
            EXPECT_EQ(json.contains("points"), c.lines[static_cast<std::size_t>(i)]);
        }
    }
    const cli::Outcome line = cli::run({"--iterations", "5", good});
    const cli::Outcome pretty = cli::run({"--iterations", "5", "--pretty", good});
    EXPECT_GT(std::count(pretty.output.begin(), pretty.output.end(), '\n'), 1);
    EXPECT_EQ(parse(pretty), parse(line));
}

TEST_F(Cli, SettingsComeFromASavedResultAndLaterOptionsOverrideThem) {
    const QString out = folder.path("out");
    const cli::Outcome tuned =
        run({"--model", "opened", "--box", "30", "50", "90", "50", "--iterations", "40",
             "--gradient", "30", "--image", "60", "--save", "json", "--out", out.toStdString()});
    ASSERT_EQ(tuned.exitCode, 0) << tuned.error;
    const std::string settings = QDir(out).filePath("disc.json").toStdString();

    const cli::Outcome again = run({"--settings", settings});
    ASSERT_EQ(again.exitCode, 0) << again.error;
    EXPECT_EQ(again.output, tuned.output);

    const cli::Outcome overridden = run({"--settings", settings, "--iterations", "10"});
    EXPECT_EQ(parse(overridden)["iteration"].toInt(), 10);
    EXPECT_EQ(parse(overridden)["box"].toArray(), (QJsonArray{30, 50, 90, 50}));
    const cli::Outcome before = run({"--iterations", "10", "--settings", settings});
    EXPECT_EQ(parse(before)["iteration"].toInt(), 40);

    const struct {
        QByteArray content;
        std::string key;
    } bad[] = {
        {"{\"model\": \"snake\"}", "model"},
        {"{\"fields\": {\"points\": 500}}", "points"},
        {"{\"fields\": {\"tension\": \"high\"}}", "tension"},
        {"{\"box\": [0, 0, 121, 10]}", "box"}, // fits the reader, not this image
    };
    for (const auto& c : bad) {
        const QString path = folder.path("bad.json");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.content);
        file.close();
        const cli::Outcome outcome = run({"--settings", path.toStdString()});
        EXPECT_EQ(outcome.exitCode, 2) << c.content.toStdString();
        EXPECT_NE(outcome.error.find("bad.json"), std::string::npos) << outcome.error;
        EXPECT_NE(outcome.error.find(c.key), std::string::npos) << outcome.error;
        EXPECT_TRUE(printsNoContour(outcome)) << outcome.output;
    }
}

// Nine dark discs of radii 8 to 16 on a light ground, 180 × 180, one touching the border.
QImage discsPicture() {
    return test::greyPicture(180, 180, [](int x, int y) {
        const int cx = x / 60 * 60 + 30, cy = y / 60 * 60 + 30, r = 8 + x / 60 + 3 * (y / 60);
        const int dx = x - (cx == 150 && cy == 150 ? 166 : cx), dy = y - cy;
        return dx * dx + dy * dy < r * r ? 40 : 210;
    });
}

TEST_F(Cli, FoundObjectsSavedAsJsonRerunToTheSameBitsOnAnyThreadCount) {
    const std::string discs = folder.write("discs.bmp", discsPicture()).toStdString();
    const std::string out = folder.path("out").toStdString(),
                      table = folder.path("t.csv").toStdString();
    const cli::Outcome found =
        cli::run({"--find-objects", "--threshold", "auto", "--model", "standard", "--save",
                  "json,roiset,labels", "--out", out, "--table", table, discs, discs});
    ASSERT_EQ(found.exitCode, 0) << found.error;
    const QList<QByteArray> lines = QByteArray::fromStdString(found.output).split('\n');
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(first["count"].toInt(), 9);
    EXPECT_EQ(first["objects"].toArray().at(8).toObject()["id"].toInt(), 9);
    EXPECT_EQ(lines.value(0), lines.value(1));
    QFile tableFile(QString::fromStdString(table));
    ASSERT_TRUE(tableFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = tableFile.readAll().split('\n');
    EXPECT_EQ(rows.size(), 1 + 2 * 9 + 1);
    EXPECT_TRUE(rows.value(9).startsWith(QByteArray::fromStdString(discs) + ",9,"));

    const std::string saved =
        QDir(QString::fromStdString(out)).filePath("discs.json").toStdString();
    const cli::Outcome edges = cli::run(
        {"--find-objects", "--exclude-edges", "--min-area", "300", "--threshold", "auto", discs});
    EXPECT_EQ(parse(edges)["count"].toInt(), 6); // radii 10 to 15; 16 touches the border
    for (const char* threads : {"1", "2", "5"}) {
        const cli::Outcome again = cli::run({"--objects", saved, "--threads", threads, discs});
        EXPECT_EQ(again.exitCode, 0) << again.error;
        EXPECT_EQ(QByteArray::fromStdString(again.output), lines[0] + "\n");
    }
}

// With --find-objects the polarity is the picture's own unless given: light discs on a dark
// ground are found as they are; told black on white, only the ground (too large) is.
TEST_F(Cli, FoundObjectsTakeThePolarityOfEachPictureUnlessGiven) {
    QImage light = discsPicture();
    light.invertPixels();
    const std::string discs = folder.write("light.bmp", light).toStdString();
    const struct {
        std::vector<std::string> polarity;
        int count;
    } cases[] = {{{}, 9}, {{"--object", "auto"}, 9}, {{"--object", "black-on-white"}, 0}};
    for (const auto& c : cases) {
        std::vector<std::string> args{"--find-objects", "--threshold", "auto", discs};
        args.insert(args.begin(), c.polarity.begin(), c.polarity.end());
        const cli::Outcome outcome = cli::run(args);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.error;
        EXPECT_EQ(parse(outcome)["count"].toInt(), c.count) << c.polarity.size();
    }
}

// --drop-flagged keeps exactly the found objects with no flag: balloons pushed hard enough
// that some leave the picture or cross themselves.
TEST_F(Cli, DropFlaggedKeepsOnlyTheUnflaggedObjects) {
    const std::string discs = folder.write("discs.bmp", discsPicture()).toStdString();
    std::vector<std::string> args = {"--find-objects", "--threshold", "auto", "--model",
                                     "balloon",        "--form",      "100",  "--iterations",
                                     "5000",           discs};
    std::vector<int> kept[2]; // the unflagged ids; with --drop-flagged, every id
    for (const bool drop : {false, true}) {
        if (drop) args.insert(args.begin(), "--drop-flagged");
        for (const QJsonValue object : parse(cli::run(args))["objects"].toArray())
            if (drop || object["measurements"]["flags"].toArray().isEmpty())
                kept[drop].push_back(object["id"].toInt());
    }
    EXPECT_LT(kept[0].size(), 9u);
    EXPECT_EQ(kept[1], kept[0]);
}

// A RoiSet of outlines traced elsewhere: measured as read, each area is its outline's; analysed,
// each starts from its outline and stays on its disc.
TEST_F(Cli, OutlinesOfARoiSetAreMeasuredAsReadAndRefinedByAnalysis) {
    const struct { int cx, cy, r; } discs[] = {{40, 50, 14}, {110, 50, 20}, {185, 50, 26}};
    const QString picture =
        folder.write("three.bmp", test::greyPicture(240, 100, [&discs](int x, int y) {
                         for (const auto& d : discs)
                             if (std::hypot(x + 0.5 - d.cx, y + 0.5 - d.cy) < d.r) return 40;
                         return 200 + (x * 7 + y * 3) % 20;
                     }));
    std::vector<ZipEntry> entries;
    std::vector<double> areas;
    for (const auto& d : discs) {
        std::vector<std::pair<int, int>> corners;
        for (int k = 0; k < 48; ++k) {
            const double a = k * 2 * M_PI / 48;
            const std::pair<int, int> c{int(std::lround(d.cx + d.r * std::cos(a))),
                                        int(std::lround(d.cy + d.r * std::sin(a)))};
            if (corners.empty() || corners.back() != c) corners.push_back(c);
        }
        double twice = 0; // the shoelace
        for (std::size_t i = 0; i < corners.size(); ++i) {
            const auto& [x0, y0] = corners[i];
            const auto& [x1, y1] = corners[(i + 1) % corners.size()];
            twice += double(x0) * y1 - double(x1) * y0;
        }
        areas.push_back(std::abs(twice) / 2);
        entries.push_back(
            {"000" + std::to_string(entries.size() + 1) + ".roi", test::tracedRoi(corners)});
    }
    const QString set = folder.write("RoiSet.zip", zipStored(entries));
    for (const bool analyse : {false, true}) {
        std::vector<std::string> args{"--objects", set.toStdString(), picture.toStdString()};
        if (analyse) args.insert(args.begin(), "--analyse");
        const cli::Outcome outcome = cli::run(args);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.error;
        const QJsonArray objects = parse(outcome)["objects"].toArray();
        ASSERT_EQ(objects.size(), 3);
        for (qsizetype i = 0; i < 3; ++i) {
            const double area = objects[i].toObject()["measurements"].toObject()["area"].toDouble();
            if (analyse)
                EXPECT_NEAR(area, areas[i], 0.05 * areas[i]) << i;
            else
                EXPECT_DOUBLE_EQ(area, areas[i]) << i;
        }
    }
}

TEST_F(Cli, ObjectsOptionsRefuseWhatTheyCannotUseAndAFailedObjectGivesStatusOne) {
    const QString list =
        folder.write("list.json", QByteArray(R"({"objects": [{"id": 4, "box": [40, 30, 80, 70]},
            {"id": 6, "box": [40, 30, 80, 70], "model": "standard", "fields": {"inertia": 0,
             "viscosity": 1, "tension": 500, "rigidity": 100, "iterations": 5000}}]})"));
    const cli::Outcome failed = run({"--objects", list.toStdString()});
    EXPECT_EQ(failed.exitCode, 1);
    const QJsonArray objects = parse(failed)["objects"].toArray();
    EXPECT_TRUE(objects[0].toObject()["error"].isNull());
    EXPECT_FALSE(objects[1].toObject()["error"].toString().isEmpty());

    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--objects", list.toStdString(), "--find-objects"}, "exclude each other"},
        {{"--objects", list.toStdString(), "--tension", "5"}, "--tension cannot be combined"},
        {{"--find-objects", "--save", "mask", "--out", "x"}, "\"mask\" is not one of roiset"},
        {{"--save", "roiset", "--out", "x"}, "\"roiset\" is not one of csv"},
        {{"--find-objects", "--box", "1", "1", "9", "9"}, "--box cannot be combined"},
        {{"--objects", folder.path("none.json").toStdString()}, "Cannot read objects file"},
        {{"--objects", list.toStdString(), "--box", "1", "1", "9", "9"}, "--box cannot be"},
        {{"--analyse"}, "--analyse takes the objects of --objects"},
    };
    for (const auto& c : cases) {
        const cli::Outcome outcome = run(c.args);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_NE(outcome.error.find(c.says), std::string::npos) << outcome.error;
    }
    // An id beyond the labels picture is refused, the file named, before any format is written.
    const QString big =
        folder.write("big.json", R"({"objects": [{"id": 70000, "box": [40, 30, 80, 70]}]})");
    const QString out = folder.path("big");
    const cli::Outcome refused = run(
        {"--objects", big.toStdString(), "--save", "roiset,labels", "--out", out.toStdString()});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.error.find("disc-labels.png\": object 70000"), std::string::npos)
        << refused.error;
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{});
    // A saved box off this picture names the object.
    const QString far = folder.write("far.json", QByteArray(R"({"box": [10, 10, 500, 50]})"));
    EXPECT_NE(run({"--objects", far.toStdString()}).error.find("object 1, box: X2 500"),
              std::string::npos);
}

TEST_F(Cli, TheTableOfSingleContoursHasARowPerPicture) {
    const std::string table = folder.path("single.csv").toStdString();
    const std::string good = image.toStdString(), missing = folder.path("no.bmp").toStdString();
    EXPECT_EQ(cli::run({"--table", table, good, missing, good}).exitCode, 2);
    QFile file(QString::fromStdString(table));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    ASSERT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows[0].startsWith("file,id,area,"));
    EXPECT_TRUE(rows[1].startsWith(QByteArray::fromStdString(good) + ",,"));
    EXPECT_EQ(rows[1], rows[2]);
}

} // namespace
} // namespace orvik

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
