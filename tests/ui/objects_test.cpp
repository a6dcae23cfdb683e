// The picture's objects in the window: found objects analysed as each alone would be, the
// object steps undone and redone, choosing an object, adding by clicking, failures marked in
// the table, and the table copied for a spreadsheet.
#include "objects_panel.h"
#include "spin_field.h"
#include "test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QUndoStack>
#include <functional>

namespace orvik::test {

namespace {

// Four dark discs on a light ground, far enough apart for a box around each.
QImage fourDiscs() {
    return greyPicture(200, 160, [](int x, int y) {
        for (const auto& [cx, cy] : {std::pair{50, 40}, {150, 40}, {50, 120}, {150, 120}})
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 18 * 18) return 40;
        return 210;
    });
}

FindOptions darkObjects() {
    FindOptions options;
    options.threshold = 500; // grey 125, between the discs and the ground
    return options;
}

// What the list holds: the ids, and the current object.
struct ListState {
    std::vector<int> ids;
    int current = 0;
    bool operator==(const ListState&) const = default;
};

ListState listOf(const TForm1& form) {
    ListState state{{}, form.currentObject()};
    for (const PictureObject& object : form.objects().objects())
        state.ids.push_back(object.id);
    return state;
}

std::unique_ptr<TForm1> windowWithDiscs(BitmapFolder& folder) {
    auto form = makeWindow();
    form->loadImageFile(folder.write("discs.bmp", fourDiscs()));
    form->userChange(TForm1::SeparateStep, [&] { form->findObjects(darkObjects(), true, false); });
    return form;
}

using Change = std::function<void(TForm1&)>;

} // namespace

class ObjectsTest : public QObject {
    Q_OBJECT
private slots:
    // Analysing in the window on worker threads gives each object what analysing it alone
    // gives, bit for bit; the panel shows a row each and the others' outlines.
    void foundObjectsAreAnalysedAsEachAlone() {
        BitmapFolder folder;
        const auto form = windowWithDiscs(folder);
        QCOMPARE(form->objects().size(), std::size_t(4));
        QVERIFY(form->ObjectsPanel1->isVisible());
        QCOMPARE(form->ObjectsPanel1->rowCount(), 4);
        QCOMPARE(form->Image1->objectOutlines().size(), 4);
        StepScratch scratch;
        for (const PictureObject& object : form->objects().objects()) {
            const ObjectAnalysis alone = analyseObject(
                form->image(), object.result.context.imageFile, object.values, scratch);
            QVERIFY(alone.error.empty());
            QCOMPARE(object.result.points, alone.result.points);
            QCOMPARE(object.result.radii, alone.result.radii);
            QCOMPARE(object.result.vertices, alone.result.vertices);
        }
        // The window's own binding survives the workers: its next analysis still samples.
        form->Button2->click();
        QCOMPARE(analysesOf(*form), 1);
    }

    // Each object command is one undo step; undo and redo bring the list and the current
    // object back without running anything.
    void objectStepsUndoAndRedo_data() {
        QTest::addColumn<Change>("change");
        QTest::newRow("add with T") << Change([](TForm1& f) {
            f.setFocus();
            QTest::keyClick(&f, Qt::Key_T);
        });
        QTest::newRow("find more") << Change([](TForm1& f) {
            f.userChange(TForm1::SeparateStep, [&] { f.findObjects(darkObjects(), false, false); });
        });
        QTest::newRow("delete the current") << Change([](TForm1& f) {
            f.chooseObject(2);
            f.DeleteObjectAction->trigger();
        });
        QTest::newRow("clear") << Change([](TForm1& f) { f.ClearObjectsAction->trigger(); });
        QTest::newRow("change the current") << Change([](TForm1& f) {
            f.ObjectsPanel1->table()->selectRow(2);
            setField(f, Field::Iterations, 40);
            f.Button2->click();
        });
    }
    void objectStepsUndoAndRedo() {
        QFETCH(Change, change);
        BitmapFolder folder;
        const auto form = windowWithDiscs(folder);
        const ListState before = listOf(*form);
        const int analyses = analysesOf(*form);
        change(*form);
        const ListState after = listOf(*form);
        QVERIFY(after != before || form->controlValues().fields[int(Field::Iterations)] == 40);
        const auto results = [&] {
            std::vector<std::vector<ContourPoint>> all;
            for (const PictureObject& o : form->objects().objects())
                all.push_back(o.result.contour);
            return all;
        };
        const auto changed = results();
        const int ran = analysesOf(*form);
        for (int round = 0; round < 2; ++round) {
            form->UndoAction->trigger();
            QCOMPARE(listOf(*form).ids, before.ids);
            form->RedoAction->trigger();
            QCOMPARE(listOf(*form), after);
            QVERIFY(results() == changed);
        }
        QCOMPARE(analysesOf(*form), ran);
        QVERIFY(ran >= analyses);
        // Ids are never handed out twice within the picture, undone or not.
        form->UndoAction->trigger();
        form->AddObjectAction->trigger();
        for (const int id : after.ids)
            if (std::count(before.ids.begin(), before.ids.end(), id) == 0)
                QVERIFY(form->objects().objects().back().id != id);
    }

    // Choosing a row shows that object's values and drawing and runs nothing; a change then
    // re-analyses that object alone, and its row follows.
    void choosingAnObjectRunsNothingAndChangesOnlyIt() {
        BitmapFolder folder;
        const auto form = windowWithDiscs(folder);
        const std::vector<PictureObject> found = form->objects().objects();
        const int previews = previewsOf(*form), analyses = analysesOf(*form);
        form->ObjectsPanel1->table()->selectRow(1);
        const int id = form->currentObject();
        QCOMPARE(id, 2);
        QCOMPARE(form->controlValues().fields, found[1].values.fields);
        QCOMPARE(form->currentResult().vertices, found[1].result.vertices);
        QCOMPARE(previewsOf(*form) + analysesOf(*form), previews + analyses);
        QVERIFY(form->MeasurementsLabel->text().startsWith(QStringLiteral("Object 2 \u00B7")));
        QCOMPARE(form->Image1->objectOutlines().size(), 3);

        form->CheckBox1->setChecked(true); // which analyses the current object once
        setField(*form, Field::Tension, 80);
        QCOMPARE(analysesOf(*form), analyses + 2);
        for (const PictureObject& object : form->objects().objects())
            QCOMPARE(object.result.contour == found[object.id - 1].result.contour, object.id != id);
        QCOMPARE(at(form->objects().objects()[1].values.fields, Field::Tension), 80);
    }

    // A click in the adding mode adds the disc under it as the current, analysed object; a
    // click off every object adds nothing and says why.
    void addingByClicking() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("discs.bmp", fourDiscs()));
        form->AddByClickingAction->setChecked(true);
        QTest::mouseClick(form->Image1, Qt::LeftButton, {}, QPoint(150, 120));
        QCOMPARE(form->objects().size(), std::size_t(1));
        QCOMPARE(form->currentObject(), 1);
        const Box box = boxOf(form->controlValues().fields);
        QVERIFY(box.x1 < 150 && 150 < box.x2 && box.y1 < 120 && 120 < box.y2);
        QCOMPARE(analysesOf(*form), 1);
        QTest::mouseClick(form->Image1, Qt::LeftButton, {}, QPoint(100, 80));
        QCOMPARE(form->objects().size(), std::size_t(1));
        QVERIFY(form->MeasurementsLabel->text().startsWith(QStringLiteral("No object")));
    }

    // A diverging object: the command run on it shows one error box; Analyse all shows none
    // and says how many failed; the failed row keeps its drawing and is marked.
    void failuresAreMarkedAndTheOthersGoOn() {
        BitmapFolder folder;
        const auto form = windowWithDiscs(folder);
        ErrorCapture errors;
        form->ObjectsPanel1->table()->selectRow(0);
        form->RadioButton2->click(); // "Standard", previewed
        form->Button2->click();
        const ContourResult good = form->currentResult();
        for (const auto& [field, value] :
             {std::pair{Field::Inertia, 0}, {Field::Viscosity, 1}, {Field::Tension, 500}})
            setField(*form, field, value);
        form->Button2->click();
        QCOMPARE(errors.shown.size(), 1);
        QVERIFY(!form->objects().objects()[0].error.empty());
        QCOMPARE(form->objects().objects()[0].result.vertices, good.vertices);
        form->AnalyseAllAction->trigger();
        QCOMPARE(errors.shown.size(), 1);
        QVERIFY(form->MeasurementsLabel->text().contains(QStringLiteral("1 failed")));
        QVERIFY(form->ObjectsPanel1->table()->item(0, 8)->text().startsWith("failed"));
        QVERIFY(form->objects().objects()[3].error.empty());
    }

    // A list saved as Orvik JSON opens as it was saved, each object analysed again to the
    // same contour; a file that cannot be used changes nothing.
    void savedObjectsOpenAsSaved() {
        BitmapFolder folder;
        const auto form = windowWithDiscs(folder);
        form->chooseObject(3);
        setField(*form, Field::Tension, 70);
        form->Button2->click();
        const std::vector<PictureObject> saved = form->objects().objects();
        const QString path = folder.path(QStringLiteral("objects.json"));
        form->setFileChooser([&](QWidget*, const FileRequest&) { return FileChoice{path, {}}; });
        form->SaveObjectsAction->trigger();
        ErrorCapture errors;
        const QString bad = folder.write(QStringLiteral("bad.json"), QByteArray("{\"objects\": 3"));
        for (const QString& file : {bad, path}) {
            form->ClearObjectsAction->trigger();
            form->setFileChooser([&](QWidget*, const FileRequest&) {
                return FileChoice{file, {}};
            });
            form->OpenObjectsAction->trigger();
        }
        QCOMPARE(errors.shown.size(), 1);
        QVERIFY(errors.shown[0].contains(QStringLiteral("bad.json")));
        const std::vector<PictureObject>& opened = form->objects().objects();
        QCOMPARE(opened.size(), saved.size());
        for (std::size_t i = 0; i < saved.size(); ++i) {
            QCOMPARE(opened[i].id, saved[i].id);
            QCOMPARE(opened[i].values.fields, saved[i].values.fields);
            QCOMPARE(opened[i].result.contour, saved[i].result.contour);
        }

        // orvik-cli reruns the list to the same file, byte for byte.
        QProcess cli;
        cli.start(ORVIK_CLI_PATH, {"--objects", path, "--save", "json", "--out", folder.path("cli"),
                                   form->windowTitle().mid(8)});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        QFile window(path), headless(folder.path("cli/discs.json"));
        QVERIFY(window.open(QIODevice::ReadOnly) && headless.open(QIODevice::ReadOnly));
        QCOMPARE(headless.readAll(), window.readAll());
    }

    // Copy with the table focused gives the table as tab-separated lines.
    void copyingTheTable() {
        BitmapFolder folder;
        const auto form = windowWithDiscs(folder);
        form->ObjectsPanel1->table()->setFocus();
        form->CopyAction->trigger();
        const QStringList lines =
            QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0].split(u'\t').size(), lines[4].split(u'\t').size());
        QVERIFY(lines[1].startsWith(QStringLiteral("1\tCenter point\t")));
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::ObjectsTest)
#include "objects_test.moc"
