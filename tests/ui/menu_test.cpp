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
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace orvik::test {

namespace {} // namespace

class MenuTest : public QObject {
    Q_OBJECT
private slots:
    // What the user relies on rather than the captions themselves: no key or mnemonic that
    // two items share (neither would work), a spoken name for every item, the menus in
    // their usual order, and the status line under the client area.
    void noTwoItemsShareAKeyAndEveryItemHasAName() {
        const auto form = makeWindow();
        QStringList menus, keys;
        for (const QAction* menuAction : form->MenuBar->actions()) {
            menus << menuAction->text().remove(u'&');
            QStringList mnemonics;
            for (const QAction* item : menuAction->menu()->actions()) {
                if (item->isSeparator()) continue;
                const qsizetype amp = item->text().indexOf(u'&');
                QVERIFY2(amp >= 0, qPrintable(item->text()));
                mnemonics << item->text().mid(amp + 1, 1).toLower();
                for (const QKeySequence& key : item->shortcuts())
                    keys << key.toString(QKeySequence::PortableText);
                if (item->menu()) continue;
                const QString spoken = item->data().toString();
                QVERIFY2(!spoken.isEmpty() && !spoken.contains(QChar(0x2026)),
                         qPrintable(item->text()));
            }
            QCOMPARE(QSet<QString>(mnemonics.begin(), mnemonics.end()).size(), mnemonics.size());
        }
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        QCOMPARE(menus, (QStringList{"File", "Edit", "View", "Analysis", "Help"}));
        QCOMPARE(form->StatusLine->accessibleName(), QStringLiteral("Status line"));
        QCOMPARE(form->ZoomLabel->accessibleName(), QStringLiteral("Zoom"));
        QVERIFY(form->MeasurementsLabel->text().isEmpty());
        QVERIFY(form->StatusLine->geometry().top() >= form->ClientArea->geometry().bottom());
        QVERIFY(form->MenuBar->geometry().bottom() < form->ClientArea->geometry().top());
    }

    // Each key, pressed as a user presses it, does what its item does.
    void theKeysDoWhatTheirItemsDo() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(
            folder.write("p.bmp", discPicture(2400, 1800, 1200, 900, 300, 40, 210)));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QStringList asked;
        form->setFileChooser([&asked](QWidget*, const FileRequest& request) {
            asked << request.title;
            return FileChoice{};
        });
        const auto press = [&form](QKeyCombination keys) {
            QTest::keyClick(form.get(), keys.key(), keys.keyboardModifiers());
        };
        press(Qt::Key_F5);
        QVERIFY2(form->MeasurementsLabel->text().startsWith("After 100 iterations"),
                 qPrintable(form->MeasurementsLabel->text()));
        press(Qt::CTRL | Qt::Key_0);
        QVERIFY(form->Image1->zoom() < 1.0);
        press(Qt::CTRL | Qt::Key_1);
        QCOMPARE(form->Image1->zoom(), 1.0);
        press(Qt::CTRL | Qt::Key_Minus);
        QVERIFY(form->Image1->zoom() < 1.0);
        press(Qt::CTRL | Qt::Key_Equal);
        QCOMPARE(form->Image1->zoom(), 1.0);
        press(Qt::CTRL | Qt::Key_S);
        QCOMPARE(asked, QStringList{"Save contour as"});
        press(Qt::CTRL | Qt::Key_Q);
        QVERIFY(!form->isVisible());
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

        const int analyses = analysesOf(*form);
        form->AnalysisAction->trigger();
        QCOMPARE(analysesOf(*form), analyses + 1);
        QCOMPARE(Kontur.Iteration, 10);

        form->InstantAnalysisAction->trigger();
        QVERIFY(form->CheckBox1->isChecked());
        QCOMPARE(analysesOf(*form), analyses + 2); // ticking it runs, as the box does
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
        const int analyses = analysesOf(*form);
        QTest::keyClick(form->Button2, Qt::Key_Return);
        QTest::keyClick(form->Button2, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(analysesOf(*form), analyses + 2);
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::MenuTest)

#include "menu_test.moc"
