// Opening pictures besides the dialog: a dropped file and File > Open Recent go through the
// same load and the same error box; the threshold preview's tint.
#include "image_view.h"
#include "load_image_dialog.h"
#include "spin_field.h"
#include "test_support.h"

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QUrl>

namespace orvik::test {

namespace {

void dropOn(TForm1& form, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Straight to the window's handler: the application passes drops only during a drag.
    static_cast<QObject&>(form).event(&drop);
}

} // namespace

class OpenTest : public QObject {
    Q_OBJECT
private slots:
    void aDroppedFileLoadsAsThroughTheDialog() {
        BitmapFolder folder;
        const QString path = folder.write("dropped.bmp", uniformPicture(50, 40, 77));
        const auto dropped = makeWindow();
        dropOn(*dropped, path);
        const auto chosen = makeWindow();
        chosen->loadImageFile(path);
        QCOMPARE(dropped->windowTitle(), chosen->windowTitle());
        QCOMPARE(dropped->controlValues().fields, chosen->controlValues().fields);
        QCOMPARE(dropped->image().Display, chosen->image().Display);
        QVERIFY(dropped->acceptDrops());

        // A bad file gives the same error box as the dialog, and the picture stays.
        const QString bad = folder.path("missing.bmp");
        ErrorCapture capture;
        dropOn(*dropped, bad);
        QCOMPARE(capture.shown.size(), 1);
        QVERIFY2(capture.shown.first().contains(bad), qPrintable(capture.shown.first()));
        QCOMPARE(dropped->image().ImageWidth, 50);
        dropped->openImageFile(bad); // the command line's way in
        QCOMPARE(capture.shown.size(), 2);
        QCOMPARE(capture.shown[1], capture.shown[0]);
    }

    void openRecentKeepsTheLastTenAndDropsAGoneFile() {
        BitmapFolder folder;
        const auto form = makeWindow();
        for (int i = 0; i < 12; ++i)
            form->loadImageFile(
                folder.write(QStringLiteral("p%1.bmp").arg(i), uniformPicture(20 + i, 20, 90)));
        QStringList names;
        for (const QAction* entry : form->OpenRecentMenu->actions())
            names << QFileInfo(entry->data().toString()).fileName();
        QCOMPARE(names, (QStringList{"p11.bmp", "p10.bmp", "p9.bmp", "p8.bmp", "p7.bmp", "p6.bmp",
                                     "p5.bmp", "p4.bmp", "p3.bmp", "p2.bmp"}));

        // Choosing an older one loads it and puts it first; the fields start as a load sets them.
        form->OpenRecentMenu->actions().at(3)->trigger();
        QCOMPARE(form->image().ImageWidth, 28);
        QVERIFY(form->OpenRecentMenu->actions().first()->data().toString().endsWith("p8.bmp"));

        // A file that has gone is removed when chosen, with a message.
        QFile::remove(folder.path("p10.bmp"));
        QAction* gone = nullptr;
        for (QAction* entry : form->OpenRecentMenu->actions())
            if (entry->data().toString().endsWith(QStringLiteral("p10.bmp"))) gone = entry;
        QVERIFY(gone != nullptr);
        ErrorCapture capture;
        gone->trigger();
        QCOMPARE(capture.shown.size(), 1);
        QVERIFY(capture.shown.first().contains(QStringLiteral("p10.bmp")));
        QCOMPARE(form->image().ImageWidth, 28);
        QCOMPARE(form->OpenRecentMenu->actions().size(), 9);
    }

    // Nothing is kept between runs: the list is the window's own, and neither the window nor
    // its file dialog leaves a settings file behind.
    void nothingIsKeptBetweenRuns() {
        BitmapFolder folder;
        {
            const auto form = makeWindow();
            form->loadImageFile(folder.write("p.bmp", uniformPicture(20, 20, 90)));
            form->LoadImageDialog->show();
            form->LoadImageDialog->hide();
            QCOMPARE(form->OpenRecentMenu->actions().size(), 1);
        }
        QVERIFY(makeWindow()->OpenRecentMenu->actions().isEmpty());
        for (const QSettings& settings :
             {QSettings(), QSettings(QSettings::UserScope, QStringLiteral("QtProject"))})
            QVERIFY2(!QFileInfo::exists(settings.fileName()), qPrintable(settings.fileName()));
    }

    void theThresholdTintFollowsThresholdPolarityAndPicture() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(
            folder.write("ramp.bmp", greyPicture(256, 4, [](int x, int) { return x; })));
        QVERIFY(form->Image1->tint().isNull()); // off by default
        form->ShowThresholdAction->trigger();
        const auto tinted = [&] {
            int count = 0;
            const QImage& tint = form->Image1->tint();
            for (int x = 0; x < tint.width(); ++x)
                count += qAlpha(tint.pixel(x, 0)) != 0;
            return count;
        };
        const struct {
            int threshold;
            bool blackOnWhite;
            int pixels;
        } cases[] = {
            {400, true, 100},  // greys 0..99 lie below 100
            {401, true, 101},  // 100.25: grey 100 too
            {400, false, 155}, // greys 101..255
            {0, true, 0},      {1020, false, 0},
        };
        for (const auto& c : cases) {
            setField(*form, Field::Threshold, c.threshold);
            (c.blackOnWhite ? form->RadioButton5 : form->RadioButton6)->setChecked(true);
            QCOMPARE(tinted(), c.pixels);
        }
        form->ShowThresholdAction->trigger();
        QVERIFY(form->Image1->tint().isNull());
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::OpenTest)

#include "open_test.moc"
