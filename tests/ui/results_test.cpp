// The window's results items: the measurements in the status line, saving in every format,
// failed saves, loading settings, copying, and a tuned contour rerun by orvik-cli.
#include "io/formats.h"
#include "kontur.h"
#include "test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace orvik::test {

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
}

// A window whose file dialogs answer `path` with the file type `filter`, and count the asks.
struct Answer {
    QString path;
    QString filter;
    int asked = 0;
};
void answerDialogs(TForm1& form, Answer& answer) {
    form.setFileChooser([&answer](QWidget*, const FileRequest&) {
        ++answer.asked;
        return FileChoice{answer.path, answer.filter};
    });
}

// A dark disc for the contour to settle on, loaded and analysed with a tuned "Standard".
struct Tuned {
    BitmapFolder folder;
    QString image =
        folder.write(QStringLiteral("disc.bmp"), discPicture(140, 110, 70, 55, 30, 40, 210));
    std::unique_ptr<TForm1> form = makeWindow();
    Tuned() {
        form->loadImageFile(image);
        form->RadioButton2->setChecked(true);
        setField(*form, Field::X1, 40);
        setField(*form, Field::Y1, 25);
        setField(*form, Field::X2, 100);
        setField(*form, Field::Y2, 85);
        setField(*form, Field::Iterations, 150);
        setField(*form, Field::Tension, 30);
        setField(*form, Field::Gradient, 20);
        form->Button2->click();
    }
};

QJsonObject jsonObject(const QByteArray& bytes) {
    return QJsonDocument::fromJson(bytes).object();
}

} // namespace

class ResultsTest : public QObject {
    Q_OBJECT
private slots:
    void theStatusLineFollowsEveryDrawingOfTheContour() {
        BitmapFolder folder;
        const QString image = folder.write("disc.bmp", discPicture(140, 110, 70, 55, 30, 40, 210));
        const auto form = makeWindow();
        QVERIFY(form->MeasurementsLabel->text().isEmpty());
        form->loadImageFile(image);
        const QString preview = form->MeasurementsLabel->text();
        // An initial contour is never mistaken for a result.
        QVERIFY2(preview.startsWith(u"Initial contour \u00B7 Area ") &&
                     preview.contains("Mean grey"),
                 qPrintable(preview));
        form->Button2->click();
        QVERIFY2(form->MeasurementsLabel->text().startsWith(u"After 100 iterations \u00B7 Area "),
                 qPrintable(form->MeasurementsLabel->text()));
        form->RadioButton4->setChecked(true); // "Opened": a preview of the chain
        QVERIFY2(form->MeasurementsLabel->text().startsWith(u"Initial contour \u00B7 Length "),
                 qPrintable(form->MeasurementsLabel->text()));
    }

    void aSavedJsonRerunsInOrvikCliToTheSamePointsBitForBit() {
        Tuned tuned;
        Answer answer{tuned.folder.path("tuned"), "Orvik JSON (*.json)"};
        answerDialogs(*tuned.form, answer);
        tuned.form->SaveContourAction->trigger();
        const QByteArray saved = contentOf(tuned.folder.path("tuned.json"));
        const QJsonObject window = jsonObject(saved);
        QCOMPARE(window["iteration"].toInt(), 150);

        // The saved points are the contour model's own floats.
        const QJsonArray points = window["points"].toArray();
        QCOMPARE(points.size(), Kontur.PointCount);
        for (int i = 0; i < points.size(); ++i) {
            QCOMPARE(static_cast<float>(points[i].toArray().at(0).toDouble()),
                     pointX(Kontur, i, currentLevel(Kontur)));
            QCOMPARE(static_cast<float>(points[i].toArray().at(1).toDouble()),
                     pointY(Kontur, i, currentLevel(Kontur)));
        }

        QProcess cli;
        cli.start(ORVIK_CLI_PATH, {"--settings", tuned.folder.path("tuned.json"), tuned.image});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        const QJsonObject headless = jsonObject(cli.readAllStandardOutput());
        QCOMPARE(headless["points"], window["points"]);
        QCOMPARE(headless["vertices"], window["vertices"]);
        QCOMPARE(headless["measurements"], window["measurements"]);

        // And back into a fresh window: Load settings, then "Analysis".
        const auto again = makeWindow();
        again->loadImageFile(tuned.image);
        Answer open{tuned.folder.path("tuned.json"), {}};
        answerDialogs(*again, open);
        again->LoadSettingsAction->trigger();
        QVERIFY(again->RadioButton2->isChecked());
        QCOMPARE(fieldValue(*again, Field::X1), 40);
        QCOMPARE(fieldValue(*again, Field::Iterations), 150);
        again->Button2->click();
        QCOMPARE(again->currentResult().points, tuned.form->currentResult().points);
    }

    void saveContourTakesTheFormatFromTheExtensionElseFromTheFileType() {
        Tuned tuned;
        struct Case {
            QString name, filter, written;
            QByteArray start;
        };
        const Case cases[] = {
            {"a.roi", "CSV points (*.csv)", "a.roi", "Iout"},
            {"b", "GeoJSON (*.geojson)", "b.geojson", "{"},
            {"c", "ImageJ ROI (*.roi)", "c.roi", "Iout"},
            {"d.CSV", "Orvik JSON (*.json)", "d.CSV", "x,y\n"},
        };
        for (const Case& c : cases) {
            Answer answer{tuned.folder.path(c.name), c.filter};
            answerDialogs(*tuned.form, answer);
            tuned.form->SaveContourAction->trigger();
            QVERIFY2(contentOf(tuned.folder.path(c.written)).startsWith(c.start),
                     qPrintable(c.name));
        }
        QVERIFY(jsonObject(contentOf(tuned.folder.path("b.geojson")))["type"] == "Feature");

        Answer mask{tuned.folder.path("m"), {}};
        answerDialogs(*tuned.form, mask);
        tuned.form->SaveMaskAction->trigger();
        const QImage maskPicture(tuned.folder.path("m.png"));
        QCOMPARE(maskPicture.size(), QSize(140, 110));
        QCOMPARE(qGray(maskPicture.pixel(70, 55)), 255);
        QCOMPARE(qGray(maskPicture.pixel(1, 1)), 0);

        Answer overlay{tuned.folder.path("o.png"), {}};
        answerDialogs(*tuned.form, overlay);
        tuned.form->SaveOverlayAction->trigger();
        const QImage shown = tuned.form->image().Display.convertToFormat(QImage::Format_RGB32);
        QCOMPARE(QImage(tuned.folder.path("o.png")).convertToFormat(QImage::Format_RGB32), shown);
        QVERIFY(redPixels(tuned.form->image().Display) > 0);

        // A cancelled dialog writes nothing.
        const QStringList before = QDir(tuned.folder.path({})).entryList(QDir::Files);
        Answer cancel;
        answerDialogs(*tuned.form, cancel);
        tuned.form->SaveContourAction->trigger();
        QCOMPARE(cancel.asked, 1);
        QCOMPARE(QDir(tuned.folder.path({})).entryList(QDir::Files), before);
    }

    // The rule of a failed save is the session's (its own test has the cases); the window
    // shows its message in the box.
    void aFailedSaveShowsWhyInTheBox() {
        Tuned tuned;
        const ErrorCapture errors;
        const QString missing = tuned.folder.path("missing/contour.csv");
        Answer answer{missing, {}};
        answerDialogs(*tuned.form, answer);
        tuned.form->SaveContourAction->trigger();
        QCOMPARE(errors.shown.size(), 1);
        QVERIFY2(errors.shown[0].contains(missing), qPrintable(errors.shown[0]));
    }

    void aBadSettingsFileChangesNothingAndNamesTheFileAndTheKey() {
        Tuned tuned;
        const ErrorCapture errors;
        struct Case {
            QByteArray content;
            QString key;
        };
        const Case cases[] = {
            {"not json", "bad.json"},
            {R"({"model": "snake"})", "model"},
            {R"({"fields": {"points": 500}})", "points"},
            {R"({"fields": {"tension": "high"}})", "tension"},
            {R"({"box": [0, 0, 141, 50]})", "box"},
        };
        const ContourResult before = tuned.form->currentResult();
        const int previews = previewsOf(*tuned.form), analyses = analysesOf(*tuned.form);
        const ControlValues controls = tuned.form->controlValues();
        const QString path = tuned.folder.path("bad.json");
        Answer answer{path, {}};
        answerDialogs(*tuned.form, answer);
        for (const Case& c : cases) {
            writeFile(path, c.content);
            tuned.form->LoadSettingsAction->trigger();
            QVERIFY2(errors.shown.last().contains(path) && errors.shown.last().contains(c.key),
                     qPrintable(errors.shown.last()));
        }
        QCOMPARE(errors.shown.size(), int(std::size(cases)));
        QCOMPARE(tuned.form->controlValues().fields, controls.fields);
        QCOMPARE(tuned.form->controlValues().model, controls.model);
        QCOMPARE(previewsOf(*tuned.form), previews);
        QCOMPARE(analysesOf(*tuned.form), analyses);
        QCOMPARE(tuned.form->currentResult().points, before.points);
    }

    // Saved and read back in a German session, the file keeps its numbers: the same
    // iterations and points, and no error (which would otherwise wait in a message box).
    void loadSettingsRunsOneAnalysisWithInstantAnalysis() {
        const ErrorCapture errors;
        const DecimalCommaLocale german;
        if (!german.active()) qInfo("de_DE.UTF-8 is not installed; saved in this locale only");
        Tuned tuned;
        Answer save{tuned.folder.path("s.json"), {}};
        answerDialogs(*tuned.form, save);
        tuned.form->SaveContourAction->trigger();
        const auto form = makeWindow();
        form->loadImageFile(tuned.image);
        form->CheckBox1->setChecked(true);
        const int previews = previewsOf(*form), analyses = analysesOf(*form);
        answerDialogs(*form, save);
        form->LoadSettingsAction->trigger();
        QCOMPARE(previewsOf(*form), previews);
        QCOMPARE(analysesOf(*form), analyses + 1);
        QCOMPARE(errors.shown, QStringList{});
        QCOMPARE(form->currentResult().iteration, 150);
        QCOMPARE(form->currentResult().points, tuned.form->currentResult().points);
    }

    void copyPutsTheMeasurementsThePointsAndThePictureOnTheClipboard() {
        Tuned tuned;
        QGuiApplication::clipboard()->clear();
        tuned.form->CopyAction->trigger();
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data != nullptr);
        const QStringList lines = data->text().split('\n');
        QVERIFY2(lines.value(0).startsWith("area\t"), qPrintable(data->text()));
        const int header = lines.indexOf("x\ty");
        QVERIFY(header > 0);
        const ContourResult result = tuned.form->currentResult();
        QCOMPARE(lines.size() - header - 2, int(result.contour.size())); // and the last newline
        QVERIFY(data->hasImage());
        QCOMPARE(qvariant_cast<QImage>(data->imageData()).size(), QSize(140, 110));
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::ResultsTest)

#include "results_test.moc"
