// The menu bar and the status line: the items with their shortcuts and accessible names, the
// enabling that follows the controls, and items that do what their control does.
#include "kontur.h"
#include "spin_field.h"
#include "test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace orvik::test {

namespace {

QString shortcutOf(const QAction* action) {
    return action->shortcut().toString(QKeySequence::PortableText);
}

} // namespace

class MenuTest : public QObject {
    Q_OBJECT
private slots:
    void everyItemHasItsCaptionShortcutAndAccessibleName() {
        const auto form = makeWindow();
        const QString dots(QChar(0x2026));
        const struct {
            QAction* action;
            QString text, shortcut;
        } items[] = {
            {form->LoadImageAction, "&Load Image" + dots, "Ctrl+O"},
            {form->SaveContourAction, "&Save contour as" + dots, "Ctrl+S"},
            {form->SaveMaskAction, "Save &mask" + dots, ""},
            {form->SaveOverlayAction, "Save &overlay" + dots, ""},
            {form->LoadSettingsAction, "Load se&ttings" + dots, ""},
            {form->QuitAction, "&Quit", "Ctrl+Q"},
            {form->UndoAction, "&Undo", "Ctrl+Z"},
            {form->RedoAction, "&Redo", "Ctrl+Shift+Z"},
            {form->CopyAction, "&Copy", "Ctrl+C"},
            {form->ZoomInAction, "Zoom &In", "Ctrl++"},
            {form->ZoomOutAction, "Zoom &Out", "Ctrl+-"},
            {form->FitAction, "&Fit", "Ctrl+0"},
            {form->ActualSizeAction, "&1:1", "Ctrl+1"},
            {form->ShowThresholdAction, "Show &threshold", ""},
            {form->AnalysisAction, "&Analysis", "F5"},
            {form->InstantAnalysisAction, "&Instant analysis", ""},
            {form->ManualAction, "&Manual", "F1"},
            {form->AboutAction, "&About Orvik", ""},
        };
        for (const auto& item : items) {
            QVERIFY(item.action != nullptr);
            QCOMPARE(item.action->text(), item.text);
            QCOMPARE(shortcutOf(item.action), item.shortcut);
            QVERIFY2(!item.action->data().toString().isEmpty(), qPrintable(item.text));
            QVERIFY(item.action->data().toString().indexOf(QChar(0x2026)) < 0);
        }
        QStringList menus;
        for (const QAction* menu : form->MenuBar->actions())
            menus << menu->text();
        QCOMPARE(menus, (QStringList{"&File", "&Edit", "&View", "&Analysis", "&Help"}));
        QVERIFY(!form->ShowThresholdAction->isChecked());
        QCOMPARE(form->StatusLine->accessibleName(), QStringLiteral("Status line"));
        QCOMPARE(form->ZoomLabel->accessibleName(), QStringLiteral("Zoom"));
        QVERIFY(form->MeasurementsLabel->text().isEmpty());
        // The status line lies under the client area, the menu bar above it.
        QVERIFY(form->StatusLine->geometry().top() >= form->ClientArea->geometry().bottom());
        QVERIFY(form->MenuBar->geometry().bottom() < form->ClientArea->geometry().top());
    }

    void itemsAreEnabledWithTheirControls_data() {
        QTest::addColumn<bool>("load");
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("results");
        QTest::addColumn<bool>("mask");
        QTest::newRow("before a load") << false << 1 << false << false;
        QTest::newRow("loaded, center point") << true << 1 << true << true;
        QTest::newRow("loaded, balloon") << true << 3 << true << true;
        QTest::newRow("loaded, opened") << true << 4 << true << false;
    }
    void itemsAreEnabledWithTheirControls() {
        QFETCH(bool, load);
        QFETCH(int, model);
        QFETCH(bool, results);
        QFETCH(bool, mask);
        BitmapFolder folder;
        const auto form = makeWindow();
        if (load) form->loadImageFile(folder.write("p.bmp", uniformPicture(60, 40, 100)));
        QRadioButton* models[] = {form->RadioButton1, form->RadioButton2, form->RadioButton3,
                                  form->RadioButton4};
        models[model - 1]->setChecked(true);
        QCOMPARE(form->AnalysisAction->isEnabled(), form->Button2->isEnabled());
        QCOMPARE(form->AnalysisAction->isEnabled(), load);
        QCOMPARE(form->LoadImageAction->isEnabled(), form->Button1->isEnabled());
        QCOMPARE(form->InstantAnalysisAction->isEnabled(), form->CheckBox1->isEnabled());
        QCOMPARE(form->ManualAction->isEnabled(), form->SpeedButton1->isEnabled());
        for (QAction* action : {form->SaveContourAction, form->SaveOverlayAction, form->CopyAction,
                                form->LoadSettingsAction, form->FitAction})
            QCOMPARE(action->isEnabled(), results);
        QCOMPARE(form->SaveMaskAction->isEnabled(), mask);
    }

    void itemsDoWhatTheirControlsDo() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", discPicture(80, 60, 40, 30, 12, 40, 220)));
        form->upDown(Field::Iterations)->setValue(10);

        const int analyses = form->analysisCount();
        form->AnalysisAction->trigger();
        QCOMPARE(form->analysisCount(), analyses + 1);
        QCOMPARE(Kontur.Iteration, 10);

        form->InstantAnalysisAction->trigger();
        QVERIFY(form->CheckBox1->isChecked());
        QCOMPARE(form->analysisCount(), analyses + 2); // ticking it runs, as the box does
        form->CheckBox1->setChecked(false);
        QVERIFY(!form->InstantAnalysisAction->isChecked());

        QSignalSpy help(form.get(), &TForm1::helpRequested);
        form->ManualAction->trigger();
        QCOMPARE(help.size(), 1);

        QVERIFY(TForm1::aboutText().contains(QStringLiteral(ORVIK_TEST_VERSION)));

        form->QuitAction->trigger();
        QVERIFY(!form->isVisible());
    }

    void returnOnAFocusedButtonPressesIt() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("p.bmp", uniformPicture(60, 40, 100)));
        form->upDown(Field::Iterations)->setValue(5);
        form->Button2->setFocus();
        const int analyses = form->analysisCount();
        QTest::keyClick(form->Button2, Qt::Key_Return);
        QTest::keyClick(form->Button2, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(form->analysisCount(), analyses + 2);
    }
};

int runMenuTests(int argc, char** argv) {
    MenuTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace orvik::test

#include "menu_test.moc"
