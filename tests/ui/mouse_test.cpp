// Mouse interaction on the image: the left drag with its rubber band, the box it commits,
// the right press that opens the popup menu, and the buttons and moves that do nothing.
#include "image_view.h"
#include "kontur.h"
#include "render/raster_canvas.h"
#include "spin_field.h"
#include "test_support.h"

#include <QCheckBox>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTest>

namespace orvik::test {

namespace {

// 200 × 150, with some structure so that inverted pixels can't pass for grey ones.
QImage texturedPicture() {
    return greyPicture(200, 150, [](int x, int y) { return 30 + (x * 7 + y * 3) % 190; });
}

struct Window {
    BitmapFolder folder;
    std::unique_ptr<TForm1> form;
    explicit Window(const QImage& picture = texturedPicture()) : form(makeWindow()) {
        form->loadImageFile(folder.write("picture.bmp", picture));
    }
    ImageView* view() const { return form->Image1; }
    QList<int> boxFields() const {
        return {fieldValue(*form, Field::X1), fieldValue(*form, Field::Y1),
                fieldValue(*form, Field::X2), fieldValue(*form, Field::Y2)};
    }
};

// The display as it was, with the rubber band of the box drawn once with the inverting pen.
QImage withRubberBand(QImage display, QPoint start, QPoint end, bool opened) {
    RasterCanvas canvas(
        PixelView{display.bits(), display.width(), display.height(), display.bytesPerLine()});
    canvas.setPenMode(RasterCanvas::PenMode::Invert);
    if (opened) {
        canvas.MoveTo(start.x(), start.y());
        canvas.LineTo(end.x(), end.y());
    } else {
        canvas.Ellipse(start.x(), start.y(), end.x(), end.y());
    }
    return display;
}

} // namespace

class MouseTest : public QObject {
    Q_OBJECT
private slots:
    void aPressAndReleaseWithoutAMoveGivesABoxOfOnePoint() {
        Window w;
        const int previews = previewsOf(*w.form);
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(50, 60));
        QCOMPARE(w.form->Dragging, 1);
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(50, 60));
        QCOMPARE(w.form->Dragging, 0);
        QCOMPARE(w.form->Updating, 0);
        QCOMPARE(w.boxFields(), (QList<int>{50, 60, 50, 60}));
        QCOMPARE(previewsOf(*w.form), previews + 1);
        QCOMPARE(Kontur.BoxX1, 50.0f);
        QCOMPARE(Kontur.BoxY2, 60.0f);
    }

    void aDragTowardTheUpperLeftKeepsTheCornersReversed() {
        Window w;
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(150, 120));
        QTest::mouseMove(w.view(), QPoint(100, 90));
        QTest::mouseMove(w.view(), QPoint(40, 30));
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(40, 30));
        QCOMPARE(w.boxFields(), (QList<int>{150, 120, 40, 30}));
        QCOMPARE(Kontur.BoxX1, 150.0f);
        QCOMPARE(Kontur.BoxX2, 40.0f);
    }

    void theReleasePositionIsIgnored() {
        Window w;
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseMove(w.view(), QPoint(80, 70));
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(120, 100));
        QCOMPARE(w.boxFields(), (QList<int>{20, 20, 80, 70}));
    }

    void aDragLeavingTheImageIsHeldToTheFieldsRanges_data() {
        QTest::addColumn<QPoint>("outside");
        QTest::addColumn<QList<int>>("box");
        QTest::newRow("left and below") << QPoint(-20, 170) << QList<int>{60, 50, 0, 150};
        QTest::newRow("right and above") << QPoint(260, -5) << QList<int>{60, 50, 200, 0};
        QTest::newRow("far off") << QPoint(-40000, 40000) << QList<int>{60, 50, 0, 150};
    }
    void aDragLeavingTheImageIsHeldToTheFieldsRanges() {
        QFETCH(QPoint, outside);
        QFETCH(QList<int>, box);
        Window w;
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(60, 50));
        QTest::mouseMove(w.view(), QPoint(100, 100));
        QTest::mouseMove(w.view(), outside);
        QCOMPARE(w.form->DragEndX, outside.x());
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, outside);
        QCOMPARE(w.form->Dragging, 0);
        QCOMPARE(w.boxFields(), box);
        QCOMPARE(differingPixels(w.form->image().Display, expectedContourDisplay(*w.form)), 0);
    }

    void theRubberBandShowsOnlyTheCurrentOutline_data() {
        QTest::addColumn<int>("model");
        QTest::newRow("ellipse") << 2;
        QTest::newRow("segment for opened") << 4;
    }
    void theRubberBandShowsOnlyTheCurrentOutline() {
        QFETCH(int, model);
        Window w;
        (model == 4 ? w.form->RadioButton4 : w.form->RadioButton2)->setChecked(true);
        const QImage before = w.form->image().Display.copy();
        const QPoint start(30, 30);
        QTest::mousePress(w.view(), Qt::LeftButton, {}, start);
        QCOMPARE(differingPixels(w.form->image().Display, before), 0); // nothing yet
        for (const QPoint end :
             {QPoint(60, 50), QPoint(150, 120), QPoint(90, 20), QPoint(10, 80), QPoint(-30, 170)}) {
            QTest::mouseMove(w.view(), end);
            const QImage expected = withRubberBand(before, start, end, model == 4);
            QCOMPARE(differingPixels(w.form->image().Display, expected), 0);
            QVERIFY(differingPixels(w.form->image().Display, before) > 10);
        }
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(10, 10));
        // Only the grey image and the new contour are left.
        const QImage& display = w.form->image().Display;
        const QImage grey = greyDisplay(*w.form);
        for (int y = 0; y < display.height(); ++y)
            for (int x = 0; x < display.width(); ++x)
                QVERIFY(display.pixel(x, y) == grey.pixel(x, y) ||
                        display.pixel(x, y) == qRgb(255, 0, 0));
        QCOMPARE(differingPixels(display, expectedContourDisplay(*w.form)), 0);
    }

    void movingWithoutAButtonDrawsNothing() {
        Window w;
        const QImage before = w.form->image().Display.copy();
        const int previews = previewsOf(*w.form);
        QTest::mouseMove(w.view(), QPoint(40, 40)); // the pointer itself
        QMouseEvent hover(QEvent::MouseMove, QPointF(90, 70),
                          w.view()->mapToGlobal(QPointF(90, 70)), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(w.view(), &hover);
        QCOMPARE(w.form->Dragging, 0);
        QCOMPARE(differingPixels(w.form->image().Display, before), 0);
        QCOMPARE(previewsOf(*w.form), previews);
    }

    void theMiddleButtonDoesNothing() {
        Window w;
        const QImage before = w.form->image().Display.copy();
        int menus = 0;
        w.form->setPopupOpener([&](QMenu&, QPoint) { ++menus; });
        QTest::mousePress(w.view(), Qt::MiddleButton, {}, QPoint(20, 30));
        QTest::mouseMove(w.view(), QPoint(80, 90));
        QTest::mouseRelease(w.view(), Qt::MiddleButton, {}, QPoint(80, 90));
        QCOMPARE(w.form->Dragging, 0);
        QCOMPARE(menus, 0);
        QCOMPARE(w.boxFields(), (QList<int>{80, 60, 120, 90}));
        QCOMPARE(differingPixels(w.form->image().Display, before), 0);
    }

    void aRightPressRecordsTheClickAndOpensTheMenuAtThePointer() {
        Window w;
        QList<QPoint> openedAt;
        QMenu* menu = nullptr;
        w.form->setPopupOpener([&](QMenu& m, QPoint at) {
            menu = &m;
            openedAt << at;
        });
        QTest::mousePress(w.view(), Qt::RightButton, {}, QPoint(33, 44));
        QTest::mouseRelease(w.view(), Qt::RightButton, {}, QPoint(33, 44));
        QCOMPARE(w.form->ClickX, 33);
        QCOMPARE(w.form->ClickY, 44);
        QCOMPARE(menu, w.form->PopupMenu1);
        QCOMPARE(openedAt, QList<QPoint>{w.view()->mapToGlobal(QPoint(33, 44))});
        QCOMPARE(w.form->Dragging, 0);
    }

    void aRightPressDuringADragLeavesTheDragGoing() {
        Window w;
        int menus = 0;
        w.form->setPopupOpener([&](QMenu&, QPoint) { ++menus; });
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(10, 20));
        QTest::mouseMove(w.view(), QPoint(70, 80));
        QTest::mousePress(w.view(), Qt::RightButton, {}, QPoint(70, 80));
        QTest::mouseRelease(w.view(), Qt::RightButton, {}, QPoint(70, 80));
        QCOMPARE(menus, 1);
        QCOMPARE(w.form->Dragging, 1);
        QCOMPARE(w.form->ClickX, 70);
        QTest::mouseMove(w.view(), QPoint(90, 100));
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(90, 100));
        QCOMPARE(w.boxFields(), (QList<int>{10, 20, 90, 100}));
    }

    void aDragEndsInOnePreviewOrOneAnalysis_data() {
        QTest::addColumn<bool>("instant");
        QTest::newRow("preview") << false;
        QTest::newRow("instant analysis") << true;
    }
    void aDragEndsInOnePreviewOrOneAnalysis() {
        QFETCH(bool, instant);
        Window w;
        w.form->upDown(Field::Iterations)->setValue(20);
        w.form->CheckBox1->setChecked(instant);
        const int previews = previewsOf(*w.form), analyses = analysesOf(*w.form);
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(20, 20));
        for (int i = 1; i <= 5; ++i)
            QTest::mouseMove(w.view(), QPoint(20 + 20 * i, 20 + 15 * i));
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(120, 95));
        QCOMPARE(previewsOf(*w.form) - previews, instant ? 0 : 1);
        QCOMPARE(analysesOf(*w.form) - analyses, instant ? 1 : 0);
        QCOMPARE(Kontur.Iteration, instant ? 20 : 0);
        QCOMPARE(differingPixels(w.form->image().Display, expectedContourDisplay(*w.form)), 0);
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::MouseTest)

#include "mouse_test.moc"
