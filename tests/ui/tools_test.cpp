// The popup tools: radius, threshold and polarity from the clicked point, "Set them all",
// and the errors and guards around them. Each tool is chosen from the menu that a real
// right press on the image opens.
#include "command_guard.h"
#include "image_view.h"
#include "spin_field.h"
#include "test_support.h"

#include <QCheckBox>
#include <QMenu>
#include <QRadioButton>
#include <QTest>

namespace orvik::test {

namespace {

constexpr int kWidth = 200, kHeight = 150;

// A disc of radius 30 around (100, 75), dark on light or light on dark.
QImage disc(int inside, int outside) {
    return discPicture(kWidth, kHeight, 100, 75, 30, inside, outside);
}

struct Window {
    BitmapFolder folder;
    std::unique_ptr<TForm1> form;
    explicit Window(const QImage& picture) : form(makeWindow()) {
        form->loadImageFile(folder.write("picture.bmp", picture));
    }
    void setBox(int x1, int y1, int x2, int y2) const {
        setField(*form, Field::X1, x1);
        setField(*form, Field::Y1, y1);
        setField(*form, Field::X2, x2);
        setField(*form, Field::Y2, y2);
    }
    // Right-clicks at `click` and picks `entry` from the menu that opens.
    void choose(QPoint click, QAction* entry) const {
        form->setPopupOpener([entry](QMenu&, QPoint) { entry->trigger(); });
        QTest::mousePress(form->Image1, Qt::RightButton, {}, click);
        QTest::mouseRelease(form->Image1, Qt::RightButton, {}, click);
    }
};

} // namespace

class ToolsTest : public QObject {
    Q_OBJECT
private slots:
    void theRadiusIsTheDistanceFromTheBoxCentre_data() {
        QTest::addColumn<QList<int>>("box");
        QTest::addColumn<QPoint>("click");
        QTest::addColumn<int>("radius");
        QTest::newRow("on the centre, held at 2")
            << QList<int>{60, 35, 140, 115} << QPoint(100, 75) << 2;
        QTest::newRow("one pixel off, held at 2")
            << QList<int>{60, 35, 140, 115} << QPoint(101, 75) << 2;
        QTest::newRow("on the boundary") << QList<int>{60, 35, 140, 115} << QPoint(130, 75) << 30;
        QTest::newRow("diagonal 3-4-5") << QList<int>{60, 35, 140, 115} << QPoint(140, 105) << 50;
        QTest::newRow("truncated") << QList<int>{60, 35, 140, 115} << QPoint(110, 85) << 14;
        QTest::newRow("odd sum halved down")
            << QList<int>{60, 35, 141, 116} << QPoint(100, 75) << 2;
        QTest::newRow("corners reversed") << QList<int>{140, 115, 60, 35} << QPoint(100, 25) << 50;
        QTest::newRow("near the image corner")
            << QList<int>{60, 35, 140, 115} << QPoint(2, 1) << 122;
    }
    void theRadiusIsTheDistanceFromTheBoxCentre() {
        QFETCH(QList<int>, box);
        QFETCH(QPoint, click);
        QFETCH(int, radius);
        Window w(disc(40, 220));
        w.setBox(box[0], box[1], box[2], box[3]);
        w.choose(click, w.form->Setrad1);
        QCOMPARE(fieldValue(*w.form, Field::Radius), radius);
        // The radius tool leaves the click point as it was.
        QCOMPARE(QPoint(w.form->ClickX, w.form->ClickY), click);
    }

    void theThresholdIsFourTimesTheWindowMean_data() {
        QTest::addColumn<int>("grey");
        QTest::addColumn<int>("threshold");
        QTest::newRow("grey 77") << 77 << 308;
        QTest::newRow("white") << 255 << 1020;
        QTest::newRow("black") << 0 << 0;
        QTest::newRow("grey 1") << 1 << 4;
    }
    void theThresholdIsFourTimesTheWindowMean() {
        QFETCH(int, grey);
        QFETCH(int, threshold);
        Window w(uniformPicture(kWidth, kHeight, grey));
        w.choose(QPoint(100, 70), w.form->Setthr);
        QCOMPARE(fieldValue(*w.form, Field::Threshold), threshold);
    }

    void theWindowMovesInwardNearTheBorders_data() {
        QTest::addColumn<QPoint>("click");
        QTest::addColumn<QPoint>("clamped");
        QTest::newRow("inside") << QPoint(50, 40) << QPoint(50, 40);
        QTest::newRow("top left corner") << QPoint(3, 5) << QPoint(16, 16);
        QTest::newRow("left edge") << QPoint(1, 50) << QPoint(16, 50);
        QTest::newRow("bottom right corner") << QPoint(99, 79) << QPoint(83, 63);
        QTest::newRow("last free column") << QPoint(83, 63) << QPoint(83, 63);
        QTest::newRow("one past it") << QPoint(84, 64) << QPoint(83, 63);
    }
    void theWindowMovesInwardNearTheBorders() {
        QFETCH(QPoint, click);
        QFETCH(QPoint, clamped);
        // Grey x + y: the window's mean is its centre's x + y, so the threshold tells
        // where the window went.
        Window w(greyPicture(100, 80, [](int x, int y) { return x + y; }));
        w.choose(click, w.form->Setthr);
        QCOMPARE(QPoint(w.form->ClickX, w.form->ClickY), clamped);
        QCOMPARE(fieldValue(*w.form, Field::Threshold), 4 * (clamped.x() + clamped.y()));
    }

    void imagesWithASideBelow33SkipTheWindowTools_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("32 x 100") << QSize(32, 100);
        QTest::newRow("100 x 32") << QSize(100, 32);
    }
    void imagesWithASideBelow33SkipTheWindowTools() {
        QFETCH(QSize, size);
        Window w(uniformPicture(size.width(), size.height(), 200));
        w.form->RadioButton6->setChecked(true);
        w.form->CheckBox1->setChecked(true);
        const int analyses = analysesOf(*w.form);
        w.choose(QPoint(3, 3), w.form->Setthr);
        w.choose(QPoint(3, 3), w.form->Setobj);
        QCOMPARE(fieldValue(*w.form, Field::Threshold), 100);
        QVERIFY(w.form->RadioButton6->isChecked());
        QCOMPARE(QPoint(w.form->ClickX, w.form->ClickY), QPoint(3, 3));
        QCOMPARE(analysesOf(*w.form), analyses);

        // "Set them all" sets the radius only, and still ends with one analysis.
        w.choose(QPoint(3, 3), w.form->Setall);
        QVERIFY(fieldValue(*w.form, Field::Radius) != 100);
        QCOMPARE(fieldValue(*w.form, Field::Threshold), 100);
        QVERIFY(w.form->RadioButton6->isChecked());
        QCOMPARE(analysesOf(*w.form), analyses + 1);
    }

    void thePolarityFollowsTheBrightnessInsideTheBox_data() {
        QTest::addColumn<int>("inside");
        QTest::addColumn<int>("outside");
        QTest::addColumn<QPoint>("click");
        QTest::addColumn<bool>("blackOnWhite");
        QTest::newRow("dark object, right edge") << 40 << 220 << QPoint(130, 75) << true;
        QTest::newRow("dark object, top left edge") << 40 << 220 << QPoint(79, 54) << true;
        QTest::newRow("light object, right edge") << 220 << 40 << QPoint(130, 75) << false;
        QTest::newRow("light object, bottom edge") << 220 << 40 << QPoint(100, 105) << false;
        QTest::newRow("tie on a uniform image") << 128 << 128 << QPoint(130, 75) << true;
    }
    void thePolarityFollowsTheBrightnessInsideTheBox() {
        QFETCH(int, inside);
        QFETCH(int, outside);
        QFETCH(QPoint, click);
        QFETCH(bool, blackOnWhite);
        Window w(disc(inside, outside));
        w.setBox(60, 35, 140, 115);
        // Start from the other polarity, so that the tool has to change it.
        (blackOnWhite ? w.form->RadioButton6 : w.form->RadioButton5)->setChecked(true);
        w.choose(click, w.form->Setobj);
        QCOMPARE(w.form->RadioButton5->isChecked(), blackOnWhite);
        QCOMPARE(w.form->RadioButton6->isChecked(), !blackOnWhite);
        QCOMPARE(w.form->controlValues().blackOnWhite, blackOnWhite);
    }

    void aClickOnTheBoxCentreIsAnInvalidOperation() {
        Window w(disc(40, 220));
        w.setBox(60, 35, 140, 115);
        w.form->RadioButton6->setChecked(true);
        w.form->CheckBox1->setChecked(true);
        const int analyses = analysesOf(*w.form);
        ErrorCapture capture;
        w.choose(QPoint(100, 75), w.form->Setobj);
        QCOMPARE(capture.shown, QStringList{QStringLiteral("Invalid floating point operation.")});
        QVERIFY(w.form->RadioButton6->isChecked());
        QCOMPARE(analysesOf(*w.form), analyses);
    }

    void setThemAllRunsTheToolsTheModelAllows_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("instant");
        QTest::addColumn<bool>("radius");
        QTest::addColumn<bool>("polarity");
        for (const bool instant : {false, true}) {
            const char* suffix = instant ? ", instant analysis" : "";
            QTest::addRow("center point%s", suffix) << 1 << instant << true << true;
            QTest::addRow("standard%s", suffix) << 2 << instant << true << true;
            QTest::addRow("balloon%s", suffix) << 3 << instant << false << true;
            QTest::addRow("opened%s", suffix) << 4 << instant << false << false;
        }
    }
    void setThemAllRunsTheToolsTheModelAllows() {
        QFETCH(int, model);
        QFETCH(bool, instant);
        QFETCH(bool, radius);
        QFETCH(bool, polarity);
        Window w(disc(40, 220));
        w.setBox(60, 35, 140, 115);
        QRadioButton* const models[] = {w.form->RadioButton1, w.form->RadioButton2,
                                        w.form->RadioButton3, w.form->RadioButton4};
        models[model - 1]->setChecked(true);
        w.form->RadioButton6->setChecked(true);
        w.form->upDown(Field::Iterations)->setValue(20);
        w.form->CheckBox1->setChecked(instant);
        const int previews = previewsOf(*w.form), analyses = analysesOf(*w.form);

        w.choose(QPoint(130, 75), w.form->Setall);
        QCOMPARE(fieldValue(*w.form, Field::Radius), radius ? 30 : 100);
        // On the edge the window mixes both greys (4 × 40 inside, 4 × 220 outside).
        const int threshold = fieldValue(*w.form, Field::Threshold);
        QVERIFY2(threshold > 160 && threshold < 880, qPrintable(QString::number(threshold)));
        QCOMPARE(w.form->RadioButton5->isChecked(), polarity);
        QCOMPARE(w.form->Updating, 0);
        QCOMPARE(previewsOf(*w.form), previews);
        QCOMPARE(analysesOf(*w.form) - analyses, instant ? 1 : 0);
    }

    void aFailingToolInSetThemAllRestoresTheGuardAndSkipsTheAnalysis() {
        Window w(disc(40, 220));
        w.setBox(60, 35, 140, 115);
        w.form->RadioButton6->setChecked(true);
        w.form->CheckBox1->setChecked(true);
        const int analyses = analysesOf(*w.form);
        ErrorCapture capture;
        w.choose(QPoint(100, 75), w.form->Setall);
        QCOMPARE(capture.shown, QStringList{QStringLiteral("Invalid floating point operation.")});
        QCOMPARE(w.form->Updating, 0);
        // What the tools before it wrote stays; no analysis ran.
        QCOMPARE(fieldValue(*w.form, Field::Radius), 2);
        QCOMPARE(fieldValue(*w.form, Field::Threshold), 4 * 40); // the window lies inside
        QVERIFY(w.form->RadioButton6->isChecked());
        QCOMPARE(analysesOf(*w.form), analyses);
        // And the window goes on as before.
        setField(*w.form, Field::Inertia, 5);
        QCOMPARE(analysesOf(*w.form), analyses + 1);
    }

    void aSingleToolAnalysesWhenItChangesAField() {
        Window w(disc(40, 220));
        w.setBox(60, 35, 140, 115);
        w.form->upDown(Field::Iterations)->setValue(20);
        w.form->CheckBox1->setChecked(true);
        int analyses = analysesOf(*w.form);
        w.choose(QPoint(130, 75), w.form->Setrad1);
        QCOMPARE(analysesOf(*w.form), ++analyses);
        w.choose(QPoint(130, 75), w.form->Setrad1); // the same radius again: no change
        QCOMPARE(analysesOf(*w.form), analyses);
        w.choose(QPoint(130, 75), w.form->Setobj); // "Black on white" is selected already
        QCOMPARE(analysesOf(*w.form), analyses);
        w.form->RadioButton6->setChecked(true);
        analyses = analysesOf(*w.form);
        w.choose(QPoint(130, 75), w.form->Setobj);
        QCOMPARE(analysesOf(*w.form), ++analyses);
        w.choose(QPoint(130, 75), w.form->Setthr);
        QCOMPARE(analysesOf(*w.form), ++analyses);
    }

    void disabledEntriesDoNothing() {
        Window w(disc(40, 220));
        w.setBox(60, 35, 140, 115);
        w.form->RadioButton4->setChecked(true); // "Opened": no radius, no object
        w.form->RadioButton6->setChecked(true);
        w.choose(QPoint(130, 75), w.form->Setrad1);
        w.choose(QPoint(130, 75), w.form->Setobj);
        QCOMPARE(fieldValue(*w.form, Field::Radius), 100);
        QVERIFY(w.form->RadioButton6->isChecked());
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::ToolsTest)

#include "tools_test.moc"
