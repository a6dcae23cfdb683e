// The main window under bad input: every bad or questionable bitmap and every other failing
// file loaded after a good image, garbage typed into every field, a drag far outside the
// image, a diverging analysis followed by a sound one, "Set object" and "Set them all" at
// the box centre. After each, the window must hold exactly the state it held before (or,
// for a file that loads after all, a complete new one) and the next "Analysis" must work.
#include "application.h"
#include "bitmap_folder.h"
#include "command_guard.h"
#include "core/field_table.h"
#include "core/init_arguments.h"
#include "grey_image.h"
#include "hostile_bmps.h"
#include "image_view.h"
#include "kontur.h"
#include "pictures.h"
#include "spin_field.h"
#include "step_progress_bar.h"
#include "tform1.h"
#include "window_support.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvik::test {
namespace {

constexpr int Width = 160, Height = 120;

// Everything of the window that a failed command must leave alone.
struct WindowState {
    std::vector<std::uint8_t> grey;
    int width = 0, height = 0;
    QImage display; // a deep copy of the display bitmap, drawing included
    QSize viewSize;
    std::array<int, FieldCount> values{};
    std::array<int, FieldCount> maxima{};
    QString caption;
    bool analysisEnabled = false;
    bool instant = false;
    ModelChoice model = ModelChoice::CenterPoint;
    bool blackOnWhite = true;
    int updating = 0;
    int progressMaximum = 0, progressValue = 0;
};

WindowState capture(const TForm1& form) {
    WindowState s;
    const GreyImage& image = form.image();
    s.width = image.ImageWidth;
    s.height = image.ImageHeight;
    if (image.GreyData)
        s.grey.assign(image.GreyData.get(),
                      image.GreyData.get() + std::size_t(s.width) * std::size_t(s.height));
    s.display = image.Display.copy();
    s.viewSize = form.Image1->size();
    for (const FieldInfo& entry : fieldTable()) {
        s.values[std::size_t(entry.field)] = form.upDown(entry.field)->value();
        s.maxima[std::size_t(entry.field)] = form.upDown(entry.field)->maximum();
    }
    s.caption = form.windowTitle();
    s.analysisEnabled = form.Button2->isEnabled();
    s.instant = form.CheckBox1->isChecked();
    s.model = form.selectedModel();
    s.blackOnWhite = form.RadioButton5->isChecked();
    s.updating = form.Updating;
    s.progressMaximum = form.ProgressBar1->maximum();
    s.progressValue = form.ProgressBar1->value();
    return s;
}

// What differs between two states, empty when nothing does.
QString differences(const WindowState& a, const WindowState& b) {
    QStringList found;
    if (a.width != b.width || a.height != b.height) found << "image size";
    if (a.grey != b.grey) found << "grey buffer";
    if (a.display != b.display) found << "display bitmap";
    if (a.viewSize != b.viewSize) found << "image view size";
    for (const FieldInfo& entry : fieldTable()) {
        const std::size_t i = std::size_t(entry.field);
        if (a.values[i] != b.values[i])
            found
                << QStringLiteral("%1 %2 -> %3").arg(entry.label).arg(a.values[i]).arg(b.values[i]);
        if (a.maxima[i] != b.maxima[i]) found << QStringLiteral("maximum of %1").arg(entry.label);
    }
    if (a.caption != b.caption) found << "caption";
    if (a.analysisEnabled != b.analysisEnabled) found << "Analysis enabled";
    if (a.instant != b.instant) found << "Instant analysis";
    if (a.model != b.model) found << "model";
    if (a.blackOnWhite != b.blackOnWhite) found << "object polarity";
    if (a.updating != b.updating) found << "updating guard";
    if (a.progressMaximum != b.progressMaximum || a.progressValue != b.progressValue)
        found << "progress bar";
    return found.join(", ");
}

// Types `text` one key at a time, characters beyond Latin-1 included.
void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, c.toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        }
    }
}

class WindowRobustness : public QObject {
    Q_OBJECT

private:
    BitmapFolder folder_;
    std::unique_ptr<TForm1> form_;
    QString goodPath_;

    QString write(const QString& name, const QByteArray& bytes) {
        return folder_.write(name, bytes);
    }

    // A dark disc on a light ground: an object the contour settles on.
    QString writeGoodImage() {
        return folder_.write("good.bmp", discPicture(Width, Height, 80, 60, 35, 40, 220));
    }

    // "Load Image" after its dialog: the command runs as the button's click runs it.
    void load(const QString& path) {
        runCommand([&] { form_->loadImageFile(path); });
    }

    void clickAnalysis() { QTest::mouseClick(form_->Button2, Qt::LeftButton); }

    // Loads the good image and analyses it: the baseline every test returns to.
    WindowState loadGoodAndAnalyse() {
        ErrorCapture errors;
        load(goodPath_);
        clickAnalysis();
        if (!errors.shown.isEmpty())
            qFatal("the good image failed: %s", qPrintable(errors.shown.join("; ")));
        return capture(*form_);
    }

    // "Analysis" works: no error, one more analysis, the display is the grey image with the
    // contour that Draw gives for the finished run.
    bool analysisWorks(const char* when) {
        ErrorCapture errors;
        const int before = analysesOf(*form_);
        clickAnalysis();
        bool ok = true;
        if (!errors.shown.isEmpty()) {
            qWarning("%s: Analysis failed: %s", when, qPrintable(errors.shown.join("; ")));
            ok = false;
        }
        if (analysesOf(*form_) != before + 1 || Kontur.Iteration != Kontur.Iterations ||
            form_->image().Display != expectedContourDisplay(*form_) ||
            redPixels(form_->image().Display) == 0 || form_->ProgressBar1->value() != 0) {
            qWarning("%s: Analysis did not draw its finished contour", when);
            ok = false;
        }
        return ok;
    }

    void setField(Field field, int value) { test::setField(*form_, field, value); }

private slots:
    void init() {
        goodPath_ = writeGoodImage();
        form_ = makeWindow();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        form_->setPopupOpener([](QMenu&, QPoint) {});
    }

    void cleanup() { form_.reset(); }

    void failedLoadsAfterAGoodImageChangeNothing() {
        const WindowState baseline = loadGoodAndAnalyse();
        QVERIFY(redPixels(baseline.display) > 0);

        struct BadFile {
            QString path;
            QString shown; // empty: any refusal of the loader, or a load
        };
        std::vector<BadFile> files;
        const QDir suite(QStringLiteral(ORVIK_SHARED_TESTDATA "/bmpsuite"));
        if (!suite.exists("bad"))
            QSKIP("the BMP Suite is not at " ORVIK_SHARED_TESTDATA "/bmpsuite");
        for (const char* category : {"bad", "questionable"}) {
            const QDir dir(suite.filePath(QString::fromLatin1(category)));
            for (const QString& name : dir.entryList({"*.bmp"}, QDir::Files))
                files.push_back({dir.filePath(name), {}});
        }
        for (const HostileBmp& bmp : hostileBmps())
            if (bmp.refused)
                files.push_back({write(QString::fromStdString(bmp.name) + ".bmp", bmp.bytes),
                                 QStringLiteral("Bitmap image is not valid.")});
        const QString missing = folder_.path("missing.bmp");
        files.push_back({missing, "Cannot open file " + missing + "."});
        QVERIFY(QDir(folder_.path("")).mkpath("folder.bmp"));
        const QString directory = folder_.path("folder.bmp");
        files.push_back({directory, "Cannot open file " + directory + "."});
        files.push_back({write("picture.xyz", QByteArray("BM")),
                         QStringLiteral("Unknown picture file extension (.xyz)")});
        files.push_back({write("empty.bmp", {}), QStringLiteral("Bitmap image is not valid.")});
        const QString text = write("text.png", QByteArray("not a picture at all\n"));
        files.push_back({text, "Cannot read file " + text +
                                   ": its content is not a picture in the PNG format."});
        QFile good(goodPath_);
        QVERIFY(good.open(QIODevice::ReadOnly));
        files.push_back(
            {write("half.bmp", good.read(40)), QStringLiteral("Bitmap image is not valid.")});

        int refused = 0;
        for (const BadFile& file : files) {
            const QByteArray name = file.path.toUtf8();
            ErrorCapture errors;
            load(file.path);
            if (errors.shown.isEmpty()) {
                // A questionable or bad file that loads must load completely.
                QVERIFY2(file.shown.isEmpty(), name.constData());
                const GreyImage& image = form_->image();
                QVERIFY2(image.GreyData &&
                             image.Display.size() == QSize(image.ImageWidth, image.ImageHeight) &&
                             form_->Image1->size() == image.Display.size(),
                         name.constData());
                QCOMPARE(form_->windowTitle(), "Orvik - " + file.path);
                QCOMPARE(form_->Updating, 0);
                QVERIFY2(analysisWorks(name.constData()), name.constData());
                QCOMPARE(differences(baseline, loadGoodAndAnalyse()), QString());
                continue;
            }
            ++refused;
            QCOMPARE(errors.shown.size(), 1);
            if (file.shown.isEmpty())
                QVERIFY2(errors.shown.front() == "Bitmap image is not valid." ||
                             errors.shown.front().startsWith("Image too large"),
                         qPrintable(errors.shown.front()));
            else
                QCOMPARE(errors.shown.front(), file.shown);
            QVERIFY2(differences(baseline, capture(*form_)).isEmpty(),
                     qPrintable(file.path + ": " + differences(baseline, capture(*form_))));
            // The same analysis as before the failed load: the same contour.
            QVERIFY2(analysisWorks(name.constData()), name.constData());
            QVERIFY2(form_->image().Display == baseline.display, name.constData());
        }
        QVERIFY(refused >= 20);
    }

    void failedLoadUnticksInstantAnalysisAndNothingElse() {
        loadGoodAndAnalyse();
        form_->CheckBox1->setChecked(true); // runs one analysis at once
        const WindowState before = capture(*form_);
        ErrorCapture errors;
        load(write("garbage.bmp", QByteArray(300, '\x42')));
        QCOMPARE(errors.shown, QStringList{"Bitmap image is not valid."});
        WindowState after = capture(*form_);
        QVERIFY(!after.instant);
        after.instant = true;
        QCOMPARE(differences(before, after), QString());
        QVERIFY(analysisWorks("after the failed load"));
    }

    void garbageTypedIntoEveryFieldLeavesValuesInRange() {
        loadGoodAndAnalyse();
        const QStringList garbage = {"abc",  "-",          "-7",  "99999999",     "1e3",
                                     "0x1F", " 12 ",       "3.5", "\u0663\u0664", "+",
                                     "--1",  "2147483648", "\t",  "%d%s"};
        ErrorCapture errors;
        for (const FieldInfo& entry : fieldTable()) {
            SpinField* spin = form_->upDown(entry.field);
            QLineEdit* edit = spin->edit();
            for (const QString& text : garbage) {
                spin->setFocus();
                edit->selectAll();
                typeText(edit, text);
                QTest::keyClick(edit, Qt::Key_Return);
                form_->Button2->setFocus(); // leaving the field settles its text
                const int value = spin->value();
                const QByteArray where = QByteArray(entry.label) + " after typing " + text.toUtf8();
                QVERIFY2(value >= spin->minimum() && value <= spin->maximum(), where.constData());
                QVERIFY2(value >= entry.minimum, where.constData());
                bool number = false;
                QCOMPARE(spin->locale().toInt(spin->cleanText(), &number), value);
                QVERIFY2(number, where.constData());
                QCOMPARE(at(form_->controlValues().fields, entry.field), value);
            }
        }
        // Typing into the box fields previews at every accepted keystroke; nothing fails.
        QCOMPARE(errors.shown, QStringList());
        QCOMPARE(form_->image().Display, expectedContourDisplay(*form_));
        // Back to sound forces: whatever the box became, the analysis runs.
        for (const FieldInfo& entry : fieldTable())
            if (entry.field != Field::X1 && entry.field != Field::Y1 && entry.field != Field::X2 &&
                entry.field != Field::Y2)
                setField(entry.field, entry.defaultValue);
        QVERIFY(analysisWorks("after the garbage"));
    }

    void dragFarOutsideTheImageClampsTheBox() {
        loadGoodAndAnalyse();
        for (ModelChoice model : {ModelChoice::CenterPoint, ModelChoice::Opened}) {
            (model == ModelChoice::Opened ? form_->RadioButton4 : form_->RadioButton1)
                ->setChecked(true);
            ErrorCapture errors;
            const int previews = previewsOf(*form_);
            QWidget* view = form_->Image1;
            QTest::mousePress(view, Qt::LeftButton, {}, QPoint(50, 40));
            QTest::mouseMove(view, QPoint(-3000, -2000));
            QTest::mouseMove(view, QPoint(5000, 4000));
            QTest::mouseMove(view, QPoint(-700, 9000));
            QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(-700, 9000));
            QCOMPARE(errors.shown, QStringList());
            QCOMPARE(form_->Dragging, 0);
            QCOMPARE(form_->Updating, 0);
            QCOMPARE(previewsOf(*form_), previews + 1);
            QCOMPARE(form_->upDown(Field::X1)->value(), 50);
            QCOMPARE(form_->upDown(Field::Y1)->value(), 40);
            QCOMPARE(form_->upDown(Field::X2)->value(), 0);
            QCOMPARE(form_->upDown(Field::Y2)->value(), Height);
            // No trace of the rubber band: the grey image and the new initial contour only.
            QCOMPARE(form_->image().Display, expectedContourDisplay(*form_));
            QVERIFY(analysisWorks("after the drag"));
        }
    }

    void divergingAnalysisThenASoundOne() {
        const WindowState baseline = loadGoodAndAnalyse();
        form_->RadioButton2->setChecked(true); // "Standard"
        setField(Field::Tension, 500);
        setField(Field::Viscosity, 1);
        setField(Field::Inertia, 0);
        setField(Field::Iterations, 1000);
        const WindowState before = capture(*form_);
        ErrorCapture errors;
        clickAnalysis();
        QCOMPARE(errors.shown.size(), 1);
        const QString reason = errors.shown.front().section(u'\n', 0, 0);
        QVERIFY2(reason == "Floating point overflow." ||
                     reason == "Invalid floating point operation." ||
                     reason == "Floating point division by zero.",
                 qPrintable(errors.shown.front()));
        QVERIFY(Kontur.Iteration < 1000);
        // The run ended: no redraw, the bar as far as it got, the cursor back.
        const WindowState after = capture(*form_);
        QCOMPARE(after.display, before.display);
        QCOMPARE(after.grey, before.grey);
        QCOMPARE(after.progressMaximum, 100);
        QCOMPARE(after.progressValue, Kontur.Iteration / 10);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(form_->Updating, 0);

        for (Field field : {Field::Tension, Field::Viscosity, Field::Inertia, Field::Iterations})
            setField(field, fieldInfo(field).defaultValue);
        form_->RadioButton1->setChecked(true); // back to "Center point": previews the box
        QVERIFY(analysisWorks("after the diverging analysis"));
        QCOMPARE(form_->image().Display, baseline.display);
    }

    void setObjectAtTheBoxCentreFailsAndChangesNothing() {
        loadGoodAndAnalyse();
        const Box box{form_->upDown(Field::X1)->value(), form_->upDown(Field::Y1)->value(),
                      form_->upDown(Field::X2)->value(), form_->upDown(Field::Y2)->value()};
        const QPoint centre((box.x1 + box.x2) / 2, (box.y1 + box.y2) / 2);
        for (QAction* entry : {form_->Setobj, form_->Setall}) {
            const WindowState before = capture(*form_);
            form_->setPopupOpener([entry](QMenu&, QPoint) { entry->trigger(); });
            ErrorCapture errors;
            QTest::mousePress(form_->Image1, Qt::RightButton, {}, centre);
            QTest::mouseRelease(form_->Image1, Qt::RightButton, {}, centre);
            form_->setPopupOpener([](QMenu&, QPoint) {});
            QCOMPARE(errors.shown, QStringList{"Invalid floating point operation."});
            WindowState after = capture(*form_);
            if (entry == form_->Setall) {
                // The radius and threshold tools ran before the failing one and stay done.
                after.values[std::size_t(Field::Radius)] =
                    before.values[std::size_t(Field::Radius)];
                after.values[std::size_t(Field::Threshold)] =
                    before.values[std::size_t(Field::Threshold)];
            }
            QVERIFY2(differences(before, after).isEmpty(), qPrintable(differences(before, after)));
            QVERIFY(analysisWorks("after Set object at the centre"));
        }
        // The guard is clear again: a change of the box previews at once.
        const int previews = previewsOf(*form_);
        setField(Field::X1, form_->upDown(Field::X1)->value() - 3);
        QCOMPARE(previewsOf(*form_), previews + 1);
    }
};

} // namespace
} // namespace orvik::test

int main(int argc, char** argv) {
    orvik::OrvikApplication application(argc, argv);
    orvik::test::WindowRobustness tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "window_robustness_tests.moc"
