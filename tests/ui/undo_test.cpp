// Undo and redo: each kind of user change is one step that puts back the controls and what
// was shown, without running anything; a load clears the history.
#include "kontur.h"
#include "spin_field.h"
#include "test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QUndoStack>
#include <functional>

namespace orvik::test {

namespace {

// What the user sees of a window: the controls and the display bitmap.
struct Shown {
    ControlValues controls;
    QImage display;
    std::int32_t iteration = 0;
};

Shown shownBy(const TForm1& form) {
    return {form.controlValues(), form.image().Display.copy(), Kontur.Iteration};
}

void compareShown(const TForm1& form, const Shown& expected) {
    const ControlValues now = form.controlValues();
    QCOMPARE(now.fields, expected.controls.fields);
    QCOMPARE(now.model, expected.controls.model);
    QCOMPARE(now.blackOnWhite, expected.controls.blackOnWhite);
    QCOMPARE(differingPixels(form.image().Display, expected.display), 0);
    QCOMPARE(Kontur.Iteration, expected.iteration);
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
            const int previews = form->previewCount(), analyses = form->analysisCount();

            form->UndoAction->trigger();
            compareShown(*form, before);
            QVERIFY(form->RedoAction->isEnabled());
            form->RedoAction->trigger();
            compareShown(*form, after);
            form->UndoAction->trigger();
            compareShown(*form, before);
            QCOMPARE(form->previewCount(), previews);
            QCOMPARE(form->analysisCount(), analyses);
        }
    }

    void ctrlZInAFieldUndoesTheWindowsStep() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", uniformPicture(100, 80, 90)));
        form->activateWindow();
        SpinField* x1 = form->upDown(Field::X1);
        x1->setFocus();
        typeInto(x1, QStringLiteral("12"));
        QCOMPARE(form->UndoStack->count(), 1);
        QTest::keyClick(x1->edit(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(fieldValue(*form, Field::X1), 40);
        QTest::keyClick(x1->edit(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(fieldValue(*form, Field::X1), 12);
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

int runUndoTests(int argc, char** argv) {
    UndoTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace orvik::test

#include "undo_test.moc"
