// "Load Image", "Analysis" and the propagation of changes: the box a load sets, how many
// previews and analyses each action runs, the updating guard, failures, the drawn contour
// and the progress bar.
#include "command_guard.h"
#include "kontur.h"
#include "load_image_dialog.h"
#include "spin_field.h"
#include "step_progress_bar.h"
#include "test_support.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>

namespace orvik::test {

namespace {

// Counts of previews and analyses since construction.
struct Counts {
    int previews = 0, analyses = 0;
    bool operator==(const Counts&) const = default;
};
Counts countsOf(const TForm1& form) {
    return {previewsOf(form), analysesOf(form)};
}

// Records the progress bar's value each time it is painted while the wait cursor shows,
// that is during a run.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* bar) : bar_(bar) { bar->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QCursor* cursor = QApplication::overrideCursor();
        if (watched == bar_ && event->type() == QEvent::Paint && cursor != nullptr &&
            cursor->shape() == Qt::WaitCursor)
            values << static_cast<QProgressBar*>(bar_)->value();
        return false;
    }
    QList<int> values;

private:
    QWidget* bar_;
};

void typeInto(SpinField* field, const QString& text) {
    field->edit()->selectAll();
    QTest::keyClicks(field->edit(), text);
}

// A dark disc on a light ground: something for the contour to settle on.
QImage objectPicture() {
    return discPicture(120, 90, 60, 45, 20, 40, 220);
}

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT
private slots:
    void nothingRunsBeforeTheFirstLoad() {
        const auto form = makeWindow();
        form->CheckBox1->setChecked(true);
        setField(*form, Field::X1, 50);
        setField(*form, Field::Points, 12);
        setField(*form, Field::Inertia, 3);
        typeInto(form->upDown(Field::Iterations), QStringLiteral("20"));
        form->RadioButton6->setChecked(true);
        form->RadioButton3->setChecked(true);
        QCOMPARE(countsOf(*form), Counts{});
        QCOMPARE(form->Updating, 1);
        // The enabling rules apply all the same.
        QVERIFY(!form->upDown(Field::Radius)->isEnabled());
        QVERIFY(!form->Button2->isEnabled());
    }

    void aLoadSetsTheMiddleFifthTheMaximaAndTheCaption_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<int>>("box");
        QTest::newRow("640 x 480") << 640 << 480 << QList<int>{256, 192, 384, 288};
        QTest::newRow("101 wide") << 101 << 7 << QList<int>{40, 3, 61, 4};
        QTest::newRow("2 wide") << 2 << 2 << QList<int>{1, 1, 1, 1};
        QTest::newRow("1 wide") << 1 << 1 << QList<int>{0, 0, 1, 1};
    }
    void aLoadSetsTheMiddleFifthTheMaximaAndTheCaption() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QList<int>, box);
        BitmapFolder folder;
        const QString path = folder.write("picture.bmp", uniformPicture(width, height, 128));
        const auto form = makeWindow();
        form->CheckBox1->setChecked(true); // a load unticks it, and nothing runs before
        form->loadImageFile(path);

        QCOMPARE(form->windowTitle(), QStringLiteral("Orvik - ") + path);
        QVERIFY(form->Button2->isEnabled());
        QVERIFY(!form->CheckBox1->isChecked());
        QCOMPARE(form->Updating, 0);
        QCOMPARE(form->upDown(Field::X1)->maximum(), width);
        QCOMPARE(form->upDown(Field::X2)->maximum(), width);
        QCOMPARE(form->upDown(Field::Y1)->maximum(), height);
        QCOMPARE(form->upDown(Field::Y2)->maximum(), height);
        const QList<int> fields{fieldValue(*form, Field::X1), fieldValue(*form, Field::Y1),
                                fieldValue(*form, Field::X2), fieldValue(*form, Field::Y2)};
        QCOMPARE(fields, box);
        QCOMPARE(form->image().ImageWidth, width);
        // The view shows the picture pixel for pixel.
        QCOMPARE(form->Image1->size(), QSize(width, height));
        QCOMPARE(countsOf(*form), Counts{});
        // The initial contour of the new box is set up and drawn, nothing else.
        QCOMPARE(Kontur.ModelKind, 1);
        QCOMPARE(Kontur.PointCount, 32);
        QCOMPARE(Kontur.BoxX1, static_cast<float>(box[0]));
        QCOMPARE(Kontur.BoxY2, static_cast<float>(box[3]));
        QCOMPARE(Kontur.Iteration, 0);
        QCOMPARE(differingPixels(form->image().Display, expectedContourDisplay(*form)), 0);
        if (height >= 100) QVERIFY(redPixels(form->image().Display) > 50);
    }

    void eachActionRunsItsPreviewsAndAnalyses_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("instant");
        QTest::addColumn<int>("previews");
        QTest::addColumn<int>("analyses");
        const auto both = [](const char* action, int previewsWithout, int analysesWithout,
                             int analysesWith) {
            QTest::addRow("%s", action)
                << QString::fromLatin1(action) << false << previewsWithout << analysesWithout;
            QTest::addRow("%s, instant", action)
                << QString::fromLatin1(action) << true << 0 << analysesWith;
        };
        both("points", 1, 0, 1);
        both("x1", 1, 0, 1);
        both("y1", 1, 0, 1);
        both("x2", 1, 0, 1);
        both("y2", 1, 0, 1);
        both("model", 1, 0, 1);
        both("reselect the model", 0, 0, 0);
        for (const char* force : {"inertia", "viscosity", "tension", "rigidity", "form", "radius",
                                  "image", "threshold", "gradient", "iterations"})
            both(force, 0, 0, 1);
        both("polarity", 0, 0, 1);
        both("typed iterations 150", 0, 0, 3);
        both("typed points 12", 2, 0, 2);
        both("analysis", 0, 1, 1);
        both("unchanged value", 0, 0, 0);
        QTest::addRow("tick instant analysis") << QStringLiteral("tick") << false << 0 << 1;
        QTest::addRow("untick instant analysis") << QStringLiteral("untick") << true << 0 << 0;
    }
    void eachActionRunsItsPreviewsAndAnalyses() {
        QFETCH(QString, action);
        QFETCH(bool, instant);
        QFETCH(int, previews);
        QFETCH(int, analyses);
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("a.bmp", uniformPicture(200, 150, 100)));
        setField(*form, Field::Iterations, 20); // keep the instant analyses short
        form->CheckBox1->setChecked(instant);
        const Counts before = countsOf(*form);

        const std::map<QString, std::function<void()>> actions{
            {"points", [&] { setField(*form, Field::Points, 40); }},
            {"x1", [&] { setField(*form, Field::X1, 10); }},
            {"y1", [&] { setField(*form, Field::Y1, 10); }},
            {"x2", [&] { setField(*form, Field::X2, 150); }},
            {"y2", [&] { setField(*form, Field::Y2, 140); }},
            {"model", [&] { QTest::mouseClick(form->RadioButton2, Qt::LeftButton); }},
            {"reselect the model", [&] { QTest::mouseClick(form->RadioButton1, Qt::LeftButton); }},
            {"inertia", [&] { setField(*form, Field::Inertia, 3); }},
            {"viscosity", [&] { setField(*form, Field::Viscosity, 3); }},
            {"tension", [&] { setField(*form, Field::Tension, 3); }},
            {"rigidity", [&] { setField(*form, Field::Rigidity, 3); }},
            {"form", [&] { setField(*form, Field::Form, 3); }},
            {"radius", [&] { setField(*form, Field::Radius, 3); }},
            {"image", [&] { setField(*form, Field::Image, 3); }},
            {"threshold", [&] { setField(*form, Field::Threshold, 3); }},
            {"gradient", [&] { setField(*form, Field::Gradient, 3); }},
            {"iterations", [&] { setField(*form, Field::Iterations, 25); }},
            {"polarity", [&] { QTest::mouseClick(form->RadioButton6, Qt::LeftButton); }},
            {"typed iterations 150",
             [&] { typeInto(form->upDown(Field::Iterations), QStringLiteral("150")); }},
            {"typed points 12",
             [&] { typeInto(form->upDown(Field::Points), QStringLiteral("12")); }},
            {"analysis", [&] { QTest::mouseClick(form->Button2, Qt::LeftButton); }},
            {"unchanged value", [&] { setField(*form, Field::Inertia, 10); }},
            {"tick", [&] { QTest::mouseClick(form->CheckBox1, Qt::LeftButton); }},
            {"untick", [&] { QTest::mouseClick(form->CheckBox1, Qt::LeftButton); }},
        };
        actions.at(action)();
        const Counts after = countsOf(*form);
        QCOMPARE(after.previews - before.previews, previews);
        QCOMPARE(after.analyses - before.analyses, analyses);
    }

    void eachKeystrokeAnalysesWithTheValueThenInForce() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("a.bmp", uniformPicture(100, 80, 100)));
        form->CheckBox1->setChecked(true);
        SpinField* iterations = form->upDown(Field::Iterations);
        iterations->edit()->selectAll();
        // Each analysis leaves the model advanced by exactly the iterations it ran.
        const struct {
            char key;
            int ran;
        } keystrokes[] = {{'1', 1}, {'5', 15}, {'0', 150}};
        for (const auto& k : keystrokes) {
            const int analyses = analysesOf(*form);
            QTest::keyClick(iterations->edit(), k.key);
            QCOMPARE(analysesOf(*form), analyses + 1);
            QCOMPARE(Kontur.Iteration, k.ran);
            QCOMPARE(form->ProgressBar1->maximum(), k.ran / 10);
        }
    }

    void aFailedLoadAfterAGoodOneChangesNothing_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<QString>("message");    // %1: the full path
        QTest::newRow("missing file") << "missing.bmp" << QByteArray() << "Cannot open file %1.";
        QTest::newRow("not a bitmap")
            << "broken.bmp" << QByteArray("BM not really") << "Bitmap image is not valid.";
        QTest::newRow("unknown extension")
            << "picture.xyz" << QByteArray("x") << "Unknown picture file extension (.xyz)";
    }
    void aFailedLoadAfterAGoodOneChangesNothing() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        BitmapFolder folder;
        const QString good = folder.write("good.bmp", objectPicture());
        const QString bad = folder.path(name);
        if (!content.isEmpty()) {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        const auto form = makeWindow();
        form->loadImageFile(good);
        setField(*form, Field::X1, 30);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const QImage display = form->image().Display.copy();
        const Counts before = countsOf(*form);
        form->CheckBox1->setChecked(false);

        ErrorCapture capture;
        runCommand([&] { form->loadImageFile(bad); });
        QCOMPARE(capture.shown,
                 QStringList{message.contains(QLatin1String("%1")) ? message.arg(bad) : message});
        QCOMPARE(form->Updating, 0);
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvik - ") + good);
        QCOMPARE(form->image().ImageWidth, 120);
        QCOMPARE(form->Image1->size(), QSize(120, 90));
        QCOMPARE(fieldValue(*form, Field::X1), 30);
        QCOMPARE(form->upDown(Field::X2)->maximum(), 120);
        QVERIFY(form->Button2->isEnabled());
        QCOMPARE(differingPixels(form->image().Display, display), 0);
        QCOMPARE(countsOf(*form), before);

        // The window goes on working on the previous image.
        setField(*form, Field::X1, 20);
        QCOMPARE(previewsOf(*form), before.previews + 1);
        form->CheckBox1->setChecked(true);
        QCOMPARE(analysesOf(*form), before.analyses + 1);
    }

    void aFailedFirstLoadKeepsTheGuardSet() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->CheckBox1->setChecked(true);
        ErrorCapture capture;
        runCommand([&] { form->loadImageFile(folder.path("none.bmp")); });
        QCOMPARE(capture.shown.size(), 1);
        QCOMPARE(form->Updating, 1);
        QVERIFY(!form->CheckBox1->isChecked()); // unticked before the file was read
        QVERIFY(!form->Button2->isEnabled());
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvik"));
        QCOMPARE(form->Image1->size(), QSize(0, 0));
        setField(*form, Field::X1, 20);
        QCOMPARE(countsOf(*form), Counts{});
    }

    void theDialogTakesATypedNameOfAMissingFileAndRemembersIt() {
        BitmapFolder folder;
        const QString missing = folder.path("typed");
        const auto form = makeWindow();
        ErrorCapture capture;
        QTimer::singleShot(0, form.get(), [&] {
            form->LoadImageDialog->selectFile(missing);
            form->LoadImageDialog->accept();
        });
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        // The default extension is added to a name typed without one.
        QCOMPARE(capture.shown,
                 QStringList{QStringLiteral("Cannot open file %1.bmp.").arg(missing)});
        QCOMPARE(form->LoadImageDialog->lastChosen(), missing + QStringLiteral(".bmp"));
        QCOMPARE(form->Updating, 1);

        // The next opening starts at that name.
        QStringList offered;
        QTimer::singleShot(0, form.get(), [&] {
            offered = form->LoadImageDialog->selectedFiles();
            form->LoadImageDialog->reject();
        });
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QCOMPARE(offered, QStringList{missing + QStringLiteral(".bmp")});
        QCOMPARE(capture.shown.size(), 1);
    }

    void theDialogRefusesANameInAMissingFolder() {
        BitmapFolder folder;
        const auto form = makeWindow();
        LoadImageFileDialog* dialog = form->LoadImageDialog;
        QString warning;
        bool stayedOpen = false;
        QTimer::singleShot(0, form.get(), [&] {
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            name->setText(folder.path(QStringLiteral("no-such-folder/x.bmp")));
            // The refusal is a message box over the dialog; read it and close it.
            QTimer::singleShot(0, form.get(), [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    warning = box->text();
                    box->close();
                }
                QTimer::singleShot(0, form.get(), [&] {
                    stayedOpen = dialog->isVisible();
                    dialog->reject();
                });
            });
            dialog->accept();
        });
        ErrorCapture capture;
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY2(warning.contains(QLatin1String("does not exist")), qPrintable(warning));
        QVERIFY(stayedOpen);
        QVERIFY(capture.shown.isEmpty());
        QVERIFY(dialog->lastChosen().isEmpty());
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvik"));
    }

    void aCancelledDialogChangesNothing() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("a.bmp", uniformPicture(50, 40, 90)));
        form->CheckBox1->setChecked(true);
        const Counts before = countsOf(*form);
        QTimer::singleShot(0, form.get(), [&] { form->LoadImageDialog->reject(); });
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->CheckBox1->isChecked());
        QCOMPARE(form->Updating, 0);
        QCOMPARE(countsOf(*form), before);
        QVERIFY(form->windowTitle().endsWith(QStringLiteral("a.bmp")));
    }

    void anAnalysisDrawsRedOnlyOnTheContour() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("object.bmp", objectPicture()));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(Kontur.Iteration, 100);
        const QImage& display = form->image().Display;
        const QImage grey = greyDisplay(*form);
        QVERIFY(redPixels(display) > 20);
        for (int y = 0; y < display.height(); ++y)
            for (int x = 0; x < display.width(); ++x) {
                const QRgb p = display.pixel(x, y);
                QVERIFY2(p == grey.pixel(x, y) || p == qRgb(255, 0, 0),
                         qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
            }
        QCOMPARE(differingPixels(display, expectedContourDisplay(*form)), 0);
    }

    void twoAnalysesInARowDrawTheSamePixels() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("object.bmp", objectPicture()));
        form->RadioButton2->setChecked(true);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const QImage first = form->image().Display.copy();
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(differingPixels(form->image().Display, first), 0);
        QVERIFY(redPixels(first) > 20);
    }

    void aChangedForceWithoutInstantAnalysisWaitsForTheNextAnalysis() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("object.bmp", objectPicture()));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const QImage drawn = form->image().Display.copy();
        setField(*form, Field::Inertia, 37);
        QCOMPARE(differingPixels(form->image().Display, drawn), 0);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(Kontur.Inertia, static_cast<float>(37 * 0.1));
    }

    void theImageWeightTakesItsSignFromThePolarityAndTheModel() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("object.bmp", objectPicture()));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(Kontur.ImageWeight, -0.15f);
        form->RadioButton4->setChecked(true); // "Opened", "Black on white" still selected
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(Kontur.ImageWeight, 0.15f);
        form->RadioButton3->setChecked(true);
        form->RadioButton6->setChecked(true);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(Kontur.ImageWeight, 0.15f);
    }

    void samplingSeesTheLoadedImageAndThePolarityAtOnce() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("object.bmp", objectPicture()));
        QCOMPARE(Sample(60, 45), 40);
        QCOMPARE(Sample(0, 0), 220);
        QCOMPARE(Sample(-1, 0), 255);
        QTest::mouseClick(form->RadioButton6, Qt::LeftButton);
        QCOMPARE(Sample(-1, 0), 0);
        QCOMPARE(Sample(120, 0), 0);
        form->RadioButton5->setChecked(true);
        QCOMPARE(Sample(0, 90), 255);
    }

    void theProgressBarAdvancesVisiblyDuringTheRun_data() {
        QTest::addColumn<int>("iterations");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QList<int>>("shown");
        QTest::newRow("105") << 105 << 10 << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        QTest::newRow("25") << 25 << 2 << QList<int>{1, 2};
        QTest::newRow("19") << 19 << 1 << QList<int>{};
        QTest::newRow("15") << 15 << 1 << QList<int>{};
        QTest::newRow("0") << 0 << 0 << QList<int>{};
    }
    void theProgressBarAdvancesVisiblyDuringTheRun() {
        QFETCH(int, iterations);
        QFETCH(int, maximum);
        QFETCH(QList<int>, shown);
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("object.bmp", objectPicture()));
        setField(*form, Field::Iterations, iterations);
        PaintRecorder recorder(form->ProgressBar1);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(recorder.values, shown);
        QCOMPARE(form->ProgressBar1->maximum(), maximum);
        QCOMPARE(form->ProgressBar1->value(), 0);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(Kontur.Iteration, iterations);
    }

    void aFloatingPointErrorInAnAnalysisLeavesTheDisplayAndTheBar() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("object.bmp", objectPicture()));
        form->RadioButton2->setChecked(true);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const QImage drawn = form->image().Display.copy();

        // Far too much tension for the damping: the contour blows up.
        setField(*form, Field::Inertia, 0);
        setField(*form, Field::Viscosity, 1);
        setField(*form, Field::Tension, 500);
        setField(*form, Field::Rigidity, 100);
        setField(*form, Field::Iterations, 32760);
        ErrorCapture capture;
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(capture.shown.size(), 1);
        // The box shows the engine's text alone; the status line says what to do about it.
        const QString error = capture.shown.first();
        QVERIFY2(error == QLatin1String("Floating point overflow.") ||
                     error == QLatin1String("Invalid floating point operation."),
                 qPrintable(error));
        QCOMPARE(form->MeasurementsLabel->text(),
                 error + QStringLiteral(" The contour diverged: lower Tension or Rigidity, or "
                                        "raise Viscosity or Inertia. F1 \u203A Troubleshooting"));
        QVERIFY(Kontur.Iteration < 32760);
        QCOMPARE(form->ProgressBar1->maximum(), 3276);
        QCOMPARE(form->ProgressBar1->value(), Kontur.Iteration / 10);
        QCOMPARE(differingPixels(form->image().Display, drawn), 0);
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        // The next analysis starts again from the initial contour.
        setField(*form, Field::Tension, 40);
        setField(*form, Field::Iterations, 100);
        setField(*form, Field::Viscosity, 10);
        setField(*form, Field::Inertia, 10);
        setField(*form, Field::Rigidity, 10);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(capture.shown.size(), 1);
        QCOMPARE(differingPixels(form->image().Display, drawn), 0);
        QCOMPARE(form->ProgressBar1->value(), 0);
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::CommandsTest)

#include "commands_test.moc"
