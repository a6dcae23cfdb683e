// A stack in the window: its frames, the value under the pointer, the display range, and
// objects followed through the frames, undone as one step.
#include "objects_panel.h"
#include "test_support.h"
#include "tiff_files.h"
#include "tracks_view.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QTableWidget>
#include <QUndoStack>

namespace orvik::test {

namespace {

// Three 16-bit frames of 120 × 90: a disc of 3000 on 1000, 4 pixels further right each frame.
QString movingDisc(BitmapFolder& folder) {
    std::vector<TiffPage> pages;
    for (int f = 0; f < 3; ++f) {
        TiffPage page{.width = 120, .height = 90, .bits = 16};
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x) {
                const int dx = x - 50 - 4 * f, dy = y - 45;
                page.samples.push_back(dx * dx + dy * dy < 15 * 15 ? 3000 : 1000);
            }
        pages.push_back(page);
    }
    const QString path = folder.path(QStringLiteral("movie.tif"));
    writeTiff(path, pages);
    return path;
}

// Four frames of 120 × 90: a still disc, and from frame 2 on a second one.
QString arrivingDisc(BitmapFolder& folder) {
    std::vector<TiffPage> pages;
    for (int f = 0; f < 4; ++f) {
        TiffPage page{.width = 120, .height = 90, .bits = 16};
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x) {
                const bool a = (x - 30) * (x - 30) + (y - 45) * (y - 45) < 12 * 12;
                const bool b = f >= 2 && (x - 85) * (x - 85) + (y - 45) * (y - 45) < 12 * 12;
                page.samples.push_back(a || b ? 3000 : 1000);
            }
        pages.push_back(page);
    }
    const QString path = folder.path(QStringLiteral("arrival.tif"));
    writeTiff(path, pages);
    return path;
}

double centreX(const ContourResult& result) {
    double sum = 0;
    for (const ContourPoint& p : result.contour)
        sum += p.x;
    return result.contour.empty() ? 0 : sum / result.contour.size();
}

// Find objects for the light discs of these movies, with "Standard" (whose centre is free to
// move), as one undo step.
void findLightDiscs(TForm1& form) {
    FindOptions options;
    options.blackOnWhite = false;
    options.threshold = 4 * 127 + 2;
    form.userChange(TForm1::SeparateStep,
                    [&] { form.findObjects(options, true, false, ModelChoice::Standard); });
}

} // namespace

class FramesTest : public QObject {
    Q_OBJECT
private slots:
    void framesPointerAndRange() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(movingDisc(folder));
        QCOMPARE(form->frameCount(), 3);
        QVERIFY(form->FramesBar->isVisible());
        QCOMPARE(form->FrameSlider->maximum(), 2);
        // The automatic range maps 1000 .. 3000 onto black .. white.
        QCOMPARE(int(form->image().GreyData[45 * 120 + 50]), 255);
        QCOMPARE(int(form->image().GreyData[0]), 0);
        // The pointer over the middle of pixel (50, 45), handed to the view itself: the
        // platform's cursor, moved there, lands on another pixel when the screen is scaled.
        const QPointF over(50.5, 45.5); // at 1:1
        QMouseEvent move(QEvent::MouseMove, over, form->Image1->mapToGlobal(over), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form->Image1, &move);
        QCOMPARE(form->PointerLabel->text(), QStringLiteral("x 50, y 45 \u00B7 3000"));
        form->setDisplayRange({0, 4000});
        QCOMPARE(int(form->image().GreyData[45 * 120 + 50]), 191); // 3000 of 4000
        form->NextFrameAction->trigger();
        QCOMPARE(form->frame(), 1);
        QCOMPARE(form->FrameSlider->value(), 1);
        QCOMPARE(int(form->image().GreyData[45 * 120 + 50]), 191);
        form->FrameSlider->setValue(0);
        QCOMPARE(form->frame(), 0);
    }

    // A scale set by hand: the status line and the table give calibrated sizes beside the
    // pixel ones; "In pixels" takes them away again.
    void scale() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(movingDisc(folder));
        form->userChange(TForm1::SeparateStep, [&] { form->AddObjectClick(); });
        QTableWidget* table = form->ObjectsPanel1->table();
        QVERIFY(table->isColumnHidden(4));
        form->setScale(Calibration{true, 0.5, QStringLiteral("micron")});
        QVERIFY(!table->isColumnHidden(4));
        QCOMPARE(table->horizontalHeaderItem(4)->text(), QStringLiteral("Area (micron\u00B2)"));
        const double pixels = table->item(0, 2)->data(Qt::UserRole).toDouble();
        QCOMPARE(table->item(0, 4)->data(Qt::UserRole).toDouble(), pixels * 0.25);
        QVERIFY(form->MeasurementsLabel->text().contains(QStringLiteral("micron\u00B2")));
        form->setScale(Calibration{});
        QVERIFY(table->isColumnHidden(4));
        QVERIFY(!form->MeasurementsLabel->text().contains(QStringLiteral("micron")));
    }

    // A colour picture is seen in its grey at first, or through one channel.
    void channels() {
        BitmapFolder folder;
        QImage colour(40, 30, QImage::Format_RGB32);
        colour.fill(qRgb(200, 50, 10));
        const auto form = makeWindow();
        form->loadImageFile(folder.write(QStringLiteral("colour.bmp"), colour));
        const int grey = form->image().GreyData[0];
        QVERIFY(form->ChannelMenu->isEnabled());
        for (const auto& [channel, value] :
             {std::pair{Channel::Red, 200}, {Channel::Green, 50}, {Channel::Blue, 10}}) {
            form->ChannelActions[std::size_t(channel)]->trigger();
            QCOMPARE(int(form->image().GreyData[0]), value);
        }
        form->ChannelActions[0]->trigger();
        QCOMPARE(int(form->image().GreyData[0]), grey);
    }

    // Found objects ("Standard", whose centre is free to move) followed through the frames keep
    // their ids and move with their disc; each
    // frame shows its own contours, and Undo takes the tracks back.
    void followingThroughFrames() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(movingDisc(folder));
        findLightDiscs(*form);
        QCOMPARE(form->objects().size(), std::size_t(1));
        const int id = form->objects().objects()[0].id;
        form->FollowAction->trigger();
        QCOMPARE(form->tracks().size(), std::size_t(1));
        const Track& track = form->tracks()[0];
        QCOMPARE(track.id, id);
        QCOMPARE(int(track.frames.size()), 3);
        QVERIFY(track.error.empty());
        const double start = centreX(track.frames[0]);
        QVERIFY(std::abs(start - 50) < 2);
        form->FrameSlider->setValue(2);
        QCOMPARE(form->objects().objects()[0].result.contour, track.frames[2].contour);
        // The disc moved 8 pixels; the contour follows it (how closely: bench/README.md).
        QVERIFY(centreX(form->objects().objects()[0].result) > start + 3);
        QCOMPARE(form->ObjectsPanel1->rowCount(), 1);

        // Saved to a folder: the Cell Tracking Challenge layout has the one track.
        QVERIFY(form->SaveFramesAction->isEnabled());
        form->saveFramesTo(folder.path(QString()));
        QFile tracks(folder.path(QStringLiteral("movie/res_track.txt")));
        QVERIFY(tracks.open(QIODevice::ReadOnly));
        QCOMPARE(tracks.readAll(), QByteArray("1 0 2 0\n"));
        QVERIFY(QFile::exists(folder.path(QStringLiteral("movie/mask002.tif"))));

        form->UndoAction->trigger();
        QVERIFY(form->tracks().empty());
        QCOMPARE(form->frame(), 0);
        form->RedoAction->trigger();
        QCOMPARE(form->tracks().size(), std::size_t(1));
    }

    // Found objects are followed with detection: a disc that appears starts a track of its
    // own, the Tracks view lists it, the slider marks its start, and choosing its row goes to
    // its first frame.
    void trackOfAnArrival() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(arrivingDisc(folder));
        findLightDiscs(*form);
        QCOMPARE(form->objects().size(), std::size_t(1));
        form->FollowAction->trigger();
        QCOMPARE(form->tracks().size(), std::size_t(2));
        const Track& arrival = form->tracks()[1];
        QCOMPARE(arrival.firstFrame, 2);
        QCOMPARE(arrival.lastFrame(), 3);
        QCOMPARE(form->objects().size(), std::size_t(2));
        TracksTable* table = form->ObjectsPanel1->tracksTable();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 1)->text(), QStringLiteral("3")); // frames from 1
        const auto* slider = static_cast<const TrackSlider*>(form->FrameSlider);
        QCOMPARE(slider->starts(), std::vector<int>{2});
        table->selectRow(1);
        QCOMPARE(form->frame(), 2);
        QCOMPARE(form->ObjectsPanel1->rowCount(), 2);
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::FramesTest)
#include "frames_test.moc"
