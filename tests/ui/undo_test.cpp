// Undo and redo: each kind of user change is one step that puts back the controls and what
// was shown, without running anything; a load clears the history.
#include "document/editing.h"
#include "image_view.h"
#include "kontur.h"
#include "spin_field.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUndoStack>
#include <functional>

namespace orvik::test {

namespace {

// What the user sees of a window: the controls, the display bitmap, the status line and the
// result that Save and Copy would take.
struct Shown {
    ControlValues controls;
    QImage display;
    QString status;
    std::int32_t iteration = 0;
};

Shown shownBy(const TForm1& form) {
    return {form.controlValues(), form.image().Display.copy(), form.MeasurementsLabel->text(),
            form.currentResult().iteration};
}

void compareShown(const TForm1& form, const Shown& expected) {
    const ControlValues now = form.controlValues();
    QCOMPARE(now.fields, expected.controls.fields);
    QCOMPARE(now.model, expected.controls.model);
    QCOMPARE(now.blackOnWhite, expected.controls.blackOnWhite);
    QCOMPARE(differingPixels(form.image().Display, expected.display), 0);
    QCOMPARE(form.MeasurementsLabel->text(), expected.status);
    QCOMPARE(form.currentResult().iteration, expected.iteration);
}

void typeInto(SpinField* field, const QString& text) {
    field->edit()->selectAll();
    QTest::keyClicks(field->edit(), text);
}

using Change = std::function<void(TForm1&)>;

} // namespace

class UndoTest : public QObject {
    Q_OBJECT
private slots:
    void eachChangeIsOneStepThatUndoesWithoutRuns_data() {
        QTest::addColumn<Change>("change");
        QTest::newRow("stray click") << Change(
            [](TForm1& f) { QTest::mouseClick(f.Image1, Qt::LeftButton, {}, QPoint(7, 9)); });
        QTest::newRow("drag") << Change([](TForm1& f) {
            QTest::mousePress(f.Image1, Qt::LeftButton, {}, QPoint(20, 15));
            QTest::mouseMove(f.Image1, QPoint(90, 70));
            QTest::mouseRelease(f.Image1, Qt::LeftButton, {}, QPoint(90, 70));
        });
        QTest::newRow("typed box field")
            << Change([](TForm1& f) { typeInto(f.upDown(Field::X1), QStringLiteral("33")); });
        QTest::newRow("typed force field")
            << Change([](TForm1& f) { typeInto(f.upDown(Field::Tension), QStringLiteral("123")); });
        QTest::newRow("stepped field")
            << Change([](TForm1& f) { f.upDown(Field::Points)->stepBy(3); });
        QTest::newRow("model") << Change([](TForm1& f) { f.RadioButton2->click(); });
        QTest::newRow("polarity") << Change([](TForm1& f) { f.RadioButton6->click(); });
        QTest::newRow("set threshold") << Change([](TForm1& f) {
            f.ClickX = 60;
            f.ClickY = 45;
            f.Setthr->trigger();
        });
        QTest::newRow("set them all") << Change([](TForm1& f) {
            f.ClickX = 80;
            f.ClickY = 45;
            f.Setall->trigger();
        });
    }
    void eachChangeIsOneStepThatUndoesWithoutRuns() {
        QFETCH(Change, change);
        for (const bool instant : {false, true}) {
            BitmapFolder folder;
            const auto form = makeWindow();
            form->loadImageFile(folder.write("p.bmp", discPicture(120, 90, 60, 45, 20, 40, 220)));
            setField(*form, Field::Iterations, 30);
            form->AnalysisAction->trigger(); // a result is shown
            form->CheckBox1->setChecked(instant);
            const int steps = form->UndoStack->count();
            const Shown before = shownBy(*form);

            change(*form);
            QCOMPARE(form->UndoStack->count(), steps + 1);
            QVERIFY(form->UndoAction->isEnabled());
            const Shown after = shownBy(*form);
            const int previews = previewsOf(*form), analyses = analysesOf(*form);

            form->UndoAction->trigger();
            compareShown(*form, before);
            QVERIFY(form->RedoAction->isEnabled());
            form->RedoAction->trigger();
            compareShown(*form, after);
            form->UndoAction->trigger();
            compareShown(*form, before);
            QCOMPARE(previewsOf(*form), previews);
            QCOMPARE(analysesOf(*form), analyses);
        }
    }

    // Each hand correction of the current object in "Edit outline" is one step, which undo
    // and redo take back and make again with its points and pins.
    void eachEditIsOneStep_data() {
        QTest::addColumn<Change>("prepare"); // before the step
        QTest::addColumn<Change>("edit");
        const auto handle = [](TForm1& f) {
            const ContourPoint p =
                contourPoints(*f.document().objects().find(f.currentObject()))[0];
            return f.Image1->viewPoint(QPoint(int(p.x), int(p.y)));
        };
        const auto drag = [handle](TForm1& f, Qt::KeyboardModifiers keys) {
            const QPoint from = handle(f);
            QTest::mousePress(f.Image1, Qt::LeftButton, keys, from);
            QTest::mouseMove(f.Image1, from + QPoint(6, 0));
            QTest::mouseRelease(f.Image1, Qt::LeftButton, keys, from + QPoint(6, 0));
        };
        const Change nothing = [](TForm1&) {};
        QTest::newRow("drag") << nothing << Change([drag](TForm1& f) { drag(f, {}); });
        QTest::newRow("brush") << nothing
                               << Change([drag](TForm1& f) { drag(f, Qt::AltModifier); });
        QTest::newRow("pin") << nothing << Change([handle](TForm1& f) {
            QTest::mouseClick(f.Image1, Qt::LeftButton, Qt::ShiftModifier, handle(f));
        });
        QTest::newRow("relax") << Change([drag](TForm1& f) { drag(f, {}); })
                               << Change([](TForm1& f) { f.RelaxAction->trigger(); });
    }
    void eachEditIsOneStep() {
        QFETCH(Change, prepare);
        QFETCH(Change, edit);
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", discPicture(120, 90, 60, 45, 20, 40, 220)));
        form->RadioButton2->setChecked(true);
        form->AnalysisAction->trigger();
        form->AddObjectAction->trigger();
        form->chooseObject(1);
        form->EditOutlineAction->setChecked(true);
        const auto object = [&form] { return *form->document().objects().find(1); };
        prepare(*form);
        const PictureObject before = object();
        edit(*form);
        const int steps = form->UndoStack->count();
        const PictureObject after = object();
        QVERIFY(after.result.contour != before.result.contour || after.pinned != before.pinned);
        form->UndoAction->trigger();
        QCOMPARE(object().result.contour, before.result.contour);
        QCOMPARE(object().pinned, before.pinned);
        form->RedoAction->trigger();
        QCOMPARE(object().result.contour, after.result.contour);
        QCOMPARE(object().pinned, after.pinned);
        QCOMPARE(form->UndoStack->count(), steps);
    }

    // A command that changes only what is shown (an analysis that fails, or one that
    // "Instant analysis" runs) between two steps: undo and redo show each state as it was
    // shown, controls and drawing together, and never a box.
    void undoAndRedoShowWhatWasShownAroundAnAnalysis_data() {
        QTest::addColumn<Change>("prepare"); // before the step
        QTest::addColumn<Change>("step");
        QTest::addColumn<Change>("after"); // a command that is no step of its own
        QTest::addColumn<int>("boxes");    // shown by `after`
        QTest::newRow("failed analysis, then a field step") << Change([](TForm1& f) {
            f.RadioButton2->setChecked(true);
            f.AnalysisAction->trigger();
            setField(f, Field::Inertia, 0);
            setField(f, Field::Viscosity, 1);
            setField(f, Field::Tension, 500);
            setField(f, Field::Rigidity, 100);
            setField(f, Field::Iterations, 32000);
            f.AnalysisAction->trigger(); // diverges: the drawing stays
        }) << Change([](TForm1& f) { f.upDown(Field::Iterations)->stepBy(1); })
                                                            << Change([](TForm1&) {}) << 0;
        QTest::newRow("iterations typed to 0, then instant analysis")
            << Change([](TForm1& f) { f.AnalysisAction->trigger(); })
            << Change([](TForm1& f) { typeInto(f.upDown(Field::Iterations), "0"); })
            << Change([](TForm1& f) { f.CheckBox1->setChecked(true); }) << 0;
        QTest::newRow("a field step, then a failing analysis")
            << Change([](TForm1& f) {
                   f.AnalysisAction->trigger();
                   f.RadioButton2->setChecked(true);
                   setField(f, Field::Inertia, 0);
                   setField(f, Field::Viscosity, 1);
                   setField(f, Field::Rigidity, 100);
                   setField(f, Field::Iterations, 32000);
               })
            << Change([](TForm1& f) { setField(f, Field::Tension, 500); })
            << Change([](TForm1& f) { f.AnalysisAction->trigger(); }) << 1;
    }
    void undoAndRedoShowWhatWasShownAroundAnAnalysis() {
        QFETCH(Change, prepare);
        QFETCH(Change, step);
        QFETCH(Change, after);
        QFETCH(int, boxes);
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", discPicture(120, 90, 60, 45, 20, 40, 220)));
        ErrorCapture capture;
        prepare(*form);
        const int preparedBoxes = capture.shown.size();
        const Shown before = shownBy(*form);
        step(*form);
        after(*form);
        QCOMPARE(capture.shown.size(), preparedBoxes + boxes);
        const Shown latest = shownBy(*form);
        for (int round = 0; round < 2; ++round) {
            form->UndoAction->trigger();
            compareShown(*form, before);
            form->RedoAction->trigger();
            compareShown(*form, latest);
        }
        QCOMPARE(capture.shown.size(), preparedBoxes + boxes); // undo and redo show no box
    }

    // The window's Undo, Redo and Copy keys from wherever the keyboard is, sent to the
    // focused widget as a user's keys are: Ctrl+C copies a field's text only when some of it
    // is selected.
    void theWindowsShortcutsWorkFromAnyFocus_data() {
        QTest::addColumn<Change>("focus");
        QTest::addColumn<bool>("fieldSelection");
        QTest::newRow("a field just typed in") << Change([](TForm1& f) {
            f.upDown(Field::Y1)->setFocus();
            typeInto(f.upDown(Field::Y1), "25");
        }) << false;
        QTest::newRow("a field, then a drag on the picture") << Change([](TForm1& f) {
            f.upDown(Field::Tension)->setFocus();
            QTest::mousePress(f.Image1, Qt::LeftButton, {}, QPoint(10, 12));
            QTest::mouseMove(f.Image1, QPoint(70, 60));
            QTest::mouseRelease(f.Image1, Qt::LeftButton, {}, QPoint(70, 60));
        }) << false;
        QTest::newRow("a field with its text selected") << Change([](TForm1& f) {
            f.upDown(Field::X2)->setFocus();
            typeInto(f.upDown(Field::X2), "77");
            f.upDown(Field::X2)->edit()->selectAll();
        }) << true;
        QTest::newRow("the Analysis button") << Change([](TForm1& f) {
            f.upDown(Field::Points)->stepBy(2);
            f.Button2->setFocus();
        }) << false;
    }
    void theWindowsShortcutsWorkFromAnyFocus() {
        QFETCH(Change, focus);
        QFETCH(bool, fieldSelection);
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", uniformPicture(100, 80, 90)));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        const Shown before = shownBy(*form);
        focus(*form);
        const Shown after = shownBy(*form);
        QCOMPARE(form->UndoStack->count(), 1);
        const auto key = [](Qt::Key k, Qt::KeyboardModifiers m) {
            QTest::keyClick(QApplication::focusWidget(), k, m);
        };
        key(Qt::Key_C, Qt::ControlModifier);
        const QString copied = QGuiApplication::clipboard()->text();
        if (fieldSelection)
            QCOMPARE(copied, QStringLiteral("77"));
        else
            QVERIFY2(copied.startsWith(QStringLiteral("area\t")), qPrintable(copied));
        key(Qt::Key_Z, Qt::ControlModifier);
        compareShown(*form, before);
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        compareShown(*form, after);
        QCOMPARE(form->UndoStack->count(), 1); // no key became a step of its own
    }

    void aLoadClearsTheHistory() {
        BitmapFolder folder;
        const auto form = makeWindow();
        const QString path = folder.write("p.bmp", uniformPicture(100, 80, 90));
        setField(*form, Field::Inertia, 5); // a change before any picture is a step too
        form->loadImageFile(path);
        QTest::mouseClick(form->Image1, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(form->UndoStack->count(), 1);
        form->loadImageFile(path);
        QCOMPARE(form->UndoStack->count(), 0);
        QVERIFY(!form->UndoAction->isEnabled());
        QVERIFY(!form->RedoAction->isEnabled());
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::UndoTest)

#include "undo_test.moc"
