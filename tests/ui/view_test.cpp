// The image view at every zoom: mouse positions map to image pixels, the zoom steps and the
// status line, zooming around the pointer, a picture's first zoom, and what is drawn.
#include "image_view.h"
#include "kontur.h"
#include "spin_field.h"
#include "test_support.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QRegion>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>

namespace orvik::test {

namespace {

QImage texturedPicture(int width = 200, int height = 150) {
    return greyPicture(width, height, [](int x, int y) { return 30 + (x * 7 + y * 3) % 190; });
}

// A view position on an image pixel: its middle when enlarged, its corner when reduced
// (the pixels used here start a screen pixel at each zoom of the tests).
QPoint middleOf(const ImageView& view, QPoint pixel) {
    const double z = view.zoom(), half = z > 1 ? z / 2 : 0;
    return {qFloor(pixel.x() * z + half), qFloor(pixel.y() * z + half)};
}

// What the view paints over `area`, one image pixel per pixel of the widget's own coordinates
// whatever the screen's scale (a grab would hold the screen's device pixels).
QImage painted(QWidget& view, QRect area) {
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    view.render(&image, QPoint(), QRegion(area));
    return image;
}

QList<int> boxOf(const TForm1& form) {
    return {fieldValue(form, Field::X1), fieldValue(form, Field::Y1), fieldValue(form, Field::X2),
            fieldValue(form, Field::Y2)};
}

} // namespace

class ViewTest : public QObject {
    Q_OBJECT
private slots:
    void aDragGivesTheSameBoxAtEveryZoom_data() {
        QTest::addColumn<double>("zoom");
        for (const double z : {0.25, 0.5, 2.0 / 3, 1.0, 1.5, 3.0, 8.0})
            QTest::newRow(qPrintable(QString::number(z))) << z;
    }
    void aDragGivesTheSameBoxAtEveryZoom() {
        QFETCH(double, zoom);
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", texturedPicture()));
        form->Image1->zoomAround(zoom, QPoint(0, 0));
        ImageView* view = form->Image1;
        QCOMPARE(view->zoom(), zoom);
        // Multiples of 12 start a screen pixel at every reduced zoom of the table.
        const QPoint start(12, 24), middle(24, 60), end(48, 36);
        QTest::mousePress(view, Qt::LeftButton, {}, middleOf(*view, start));
        QTest::mouseMove(view, middleOf(*view, middle));
        QTest::mouseMove(view, middleOf(*view, end));
        QTest::mouseRelease(view, Qt::LeftButton, {}, middleOf(*view, end));
        QCOMPARE(boxOf(*form), (QList<int>{12, 24, 48, 36}));
        QCOMPARE(Kontur.BoxX2, 48.0f);
        // The bitmap keeps its 1:1 contents.
        QCOMPARE(differingPixels(form->image().Display, expectedContourDisplay(*form)), 0);

        form->setPopupOpener([](QMenu&, QPoint) {});
        QTest::mousePress(view, Qt::RightButton, {}, middleOf(*view, QPoint(36, 72)));
        QCOMPARE(form->ClickX, 36);
        QCOMPARE(form->ClickY, 72);
        // Every position inside a pixel maps to that pixel.
        if (zoom >= 2) {
            const int last = qCeil(zoom) - 1;
            QCOMPARE(view->imagePixel(QPointF(4 * zoom, 6 * zoom)), QPoint(4, 6));
            QCOMPARE(view->imagePixel(QPointF(4 * zoom + last, 6 * zoom + last)), QPoint(4, 6));
        }
    }

    void zoomStepsShowInTheStatusLine() {
        BitmapFolder folder;
        const auto form = makeWindow();
        QVERIFY(form->ZoomLabel->text().isEmpty());
        // A picture the view holds at 1:1, however little room a scaled screen leaves it (a
        // first picture fits the window to the screen).
        form->loadImageFile(folder.write("small.bmp", texturedPicture(20, 20)));
        const QSize view = form->ScrollBox1->maximumViewportSize();
        const QSize size(std::min(200, view.width() - 1), std::min(150, view.height() - 1));
        form->loadImageFile(folder.write("p.bmp", texturedPicture(size.width(), size.height())));
        QCOMPARE(form->Image1->zoom(), 1.0);
        QCOMPARE(form->ZoomLabel->text(), QStringLiteral("100%"));
        const struct {
            QAction* action;
            double zoom;
            QString text;
        } steps[] = {
            {form->ZoomInAction, 1.5, "150%"},     {form->ZoomInAction, 2.0, "200%"},
            {form->ActualSizeAction, 1.0, "100%"}, {form->ZoomOutAction, 2.0 / 3, "67%"},
            {form->ZoomOutAction, 0.5, "50%"},     {form->ZoomInAction, 2.0 / 3, "67%"},
        };
        for (const auto& step : steps) {
            step.action->trigger();
            QCOMPARE(form->Image1->zoom(), step.zoom);
            QCOMPARE(form->ZoomLabel->text(), step.text);
            QCOMPARE(form->Image1->size(), form->Image1->zoomedSize(step.zoom));
        }
        form->FitAction->trigger();
        const QSize room = form->ScrollBox1->maximumViewportSize();
        const QSize shown = form->Image1->size();
        QVERIFY(shown.width() <= room.width() && shown.height() <= room.height());
        QVERIFY(shown.width() == room.width() || shown.height() == room.height());
    }

    void ctrlWheelZoomsAroundThePointer() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", texturedPicture()));
        // Zoomed in far enough to scroll, so that the point under the pointer can stay put.
        form->Image1->zoomAround(2.0, QPoint(0, 0));
        QWidget* viewport = form->ScrollBox1->viewport();
        const QPoint pointer(60, 40);
        const auto pixelUnderPointer = [&] {
            return form->Image1->imagePixel(form->Image1->mapFrom(viewport, pointer));
        };
        const QPoint before = pixelUnderPointer();
        for (int i = 0; i < 4; ++i) {
            QWheelEvent wheel(pointer, viewport->mapToGlobal(pointer), {}, QPoint(0, 120),
                              Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
        }
        QVERIFY(form->Image1->zoom() > 4.0);
        QCOMPARE(pixelUnderPointer(), before);
        // Without Ctrl the wheel leaves the zoom alone.
        const double zoom = form->Image1->zoom();
        QWheelEvent plain(pointer, viewport->mapToGlobal(pointer), {}, QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &plain);
        QCOMPARE(form->Image1->zoom(), zoom);
    }

    // Every load shows the picture pixel for pixel; one larger than the view says how to
    // fit it, until it fits.
    void everyPictureOpensAt1To1() {
        BitmapFolder folder;
        const auto form = makeWindow();
        const auto hint = [&form] { return form->ZoomLabel->text().contains("Ctrl+0"); };
        form->loadImageFile(folder.write("large.bmp", texturedPicture(3000, 2000)));
        QCOMPARE(form->Image1->zoom(), 1.0);
        QCOMPARE(form->Image1->size(), QSize(3000, 2000));
        QVERIFY2(hint(), qPrintable(form->ZoomLabel->text()));
        form->FitAction->trigger();
        QVERIFY(form->Image1->zoom() < 1.0);
        QVERIFY2(!hint(), qPrintable(form->ZoomLabel->text()));
        form->loadImageFile(folder.write("small.bmp", texturedPicture(30, 20)));
        QCOMPARE(form->Image1->zoom(), 1.0);
        QCOMPARE(form->ZoomLabel->text(), QStringLiteral("100%"));
    }

    void theContourStaysVisibleAndPixelsStaySharp() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", greyPicture(400, 300, [](int x, int y) {
                                             return (x / 2 + y / 2) % 2 ? 220 : 40; // 2 × 2 checks
                                         })));
        // Reduced: the one-pixel contour is smoothed away in the picture, and drawn again
        // over it.
        form->Image1->zoomAround(0.25, QPoint(0, 0));
        QVERIFY(!form->Image1->contourLines().isEmpty());
        const QImage reduced = painted(*form->Image1, form->Image1->rect());
        QVERIFY(redPixels(reduced) > 10);
        // Enlarged: each image pixel is a square of one colour, and the contour a line one
        // screen pixel wide over them, not a chain of enlarged red squares: four times as long
        // as at 1:1, so about four times the red pixels, where squares would give sixteen.
        const int atOneToOne = redPixels(form->image().Display);
        form->Image1->zoomAround(4.0, QPoint(0, 0));
        const QImage shown = painted(*form->Image1, QRect(0, 0, 64, 64));
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                QCOMPARE(shown.pixel(x, y), shown.pixel(x / 4 * 4, y / 4 * 4));
        const QImage whole = painted(*form->Image1, form->Image1->rect());
        QVERIFY2(
            redPixels(whole) > 2 * atOneToOne && redPixels(whole) < 6 * atOneToOne,
            qPrintable(
                QStringLiteral("%1 red at 4x, %2 at 1:1").arg(redPixels(whole)).arg(atOneToOne)));
        // The bitmap itself keeps the contour drawn at 1:1.
        QCOMPARE(differingPixels(form->image().Display, expectedContourDisplay(*form)), 0);
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::ViewTest)

#include "view_test.moc"
