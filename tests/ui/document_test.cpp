// The window over its document: what it saves of a followed stack is what orvik-cli writes for
// the same picture, byte for byte; a new picture starts from the free contour's controls; the
// pointer's pixel follows frames and loads.
#include "objects_panel.h"
#include "test_support.h"
#include "tiff_files.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>

namespace orvik::test {

namespace {

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Five 16-bit frames of two dark discs on a light ground, 2 µm a pixel.
QString calibratedMovie(BitmapFolder& folder) {
    const QString path = folder.path(QStringLiteral("cells.tif"));
    writeTiff(path, discMovie(5, "ImageJ=1.54f\nunit=micron\n", 0.5f));
    return path;
}

} // namespace

class DocumentTest : public QObject {
    Q_OBJECT
private slots:
    void savedFramesAreWhatOrvikCliWrites() {
        BitmapFolder folder;
        const auto form = makeWindow();
        const QString movie = calibratedMovie(folder);
        form->loadImageFile(movie);
        FindOptions options;
        options.threshold = fieldValue(*form, Field::Threshold);
        form->userChange(TForm1::SeparateStep, [&] { form->findObjects(options, true, false); });
        QCOMPARE(form->objects().size(), std::size_t(2));
        form->FollowAction->trigger();
        form->saveFramesTo(folder.path(QStringLiteral("window")));

        QProcess cli;
        cli.start(ORVIK_CLI_PATH, {"--find-objects", "--save", "roiset,geojson,csv,json,labels,ctc",
                                   "--out", folder.path(QStringLiteral("cli")), movie});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        const QDir window(folder.path(QStringLiteral("window"))),
            headless(folder.path(QStringLiteral("cli")));
        for (const char* name : {"cells.zip", "cells.geojson", "cells.csv", "cells-points.csv",
                                 "cells.json", "cells/res_track.txt", "cells/mask003.tif"}) {
            const QString file = QString::fromLatin1(name);
            QVERIFY2(bytesOf(window.filePath(file)) == bytesOf(headless.filePath(file)), name);
        }
        // The table is stated in the file's units: raw grey and micrometres.
        QVERIFY(bytesOf(window.filePath(QStringLiteral("cells.csv"))).contains("area_um2"));
    }

    void aNewPictureStartsFromTheFreeContoursControls() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(calibratedMovie(folder));
        setField(*form, Field::Viscosity, 7);
        FindOptions options;
        options.threshold = fieldValue(*form, Field::Threshold);
        form->userChange(TForm1::SeparateStep, [&] { form->findObjects(options, true, false); });
        const ControlValues free = form->controlValues();
        form->userChange(TForm1::NotAStep, [&] { form->chooseObject(1); });
        QVERIFY(form->controlValues().fields != free.fields); // the seeded object's own
        form->loadImageFile(calibratedMovie(folder));
        QCOMPARE(form->currentObject(), 0);
        QCOMPARE(fieldValue(*form, Field::Viscosity), 7);
        QCOMPARE(form->controlValues().blackOnWhite, free.blackOnWhite);
        QCOMPARE(fieldValue(*form, Field::Threshold), at(free.fields, Field::Threshold));
    }

    void thePointersPixelFollowsFramesAndLoads() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(calibratedMovie(folder));
        // Over the first disc's left edge: frame 0 has it (1000), frame 3 has moved it on.
        const QPoint pixel(23, 40);
        emit form->Image1->moved(pixel);
        QVERIFY(form->PointerLabel->text().endsWith(QStringLiteral("1000")));
        form->showFrame(3);
        QVERIFY(form->PointerLabel->text().endsWith(QStringLiteral("3000")));
        // Another picture under a pointer that has not moved: never the last picture's value.
        form->loadImageFile(folder.write("grey.bmp", uniformPicture(40, 30, 77)));
        const QString text = form->PointerLabel->text();
        QVERIFY2(text.isEmpty() || text.endsWith(QStringLiteral("77")), qPrintable(text));
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::DocumentTest)
#include "document_test.moc"
