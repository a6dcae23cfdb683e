// The main window's controls: names, texts, layout, defaults, ranges and steps of the
// numeric fields, typing, the enabling rules, the focus order and the dialog's options.
#include "load_image_dialog.h"
#include "spin_field.h"
#include "step_progress_bar.h"
#include "test_support.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

namespace orvik::test {

namespace {

double scaleOf(const TForm1& form) {
    return form.screen()->logicalDotsPerInch() / 96.0;
}

QRect at96Dpi(const TForm1& form, int left, int top, int width, int height) {
    const double s = scaleOf(form);
    return {qRound(left * s), qRound(top * s), qRound(width * s), qRound(height * s)};
}

// Replaces the field's text as a user would: select everything, then type.
void typeInto(SpinField* field, const QString& text) {
    field->edit()->selectAll();
    QTest::keyClicks(field->edit(), text);
}

void clickSpinButton(SpinField* field, QStyle::SubControl which) {
    QStyleOptionSpinBox option;
    option.initFrom(field);
    option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    option.buttonSymbols = field->buttonSymbols();
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    option.frame = field->hasFrame();
    const QRect r = field->style()->subControlRect(QStyle::CC_SpinBox, &option, which, field);
    QTest::mouseClick(field, Qt::LeftButton, {}, r.center());
}

QString nameOfFocus(QWidget* focus) {
    if (focus == nullptr) return QStringLiteral("(none)");
    // The spin control proxies its focus to its text field.
    if (auto* spin = qobject_cast<SpinField*>(focus->parentWidget())) return spin->objectName();
    return focus->objectName();
}

} // namespace

class FieldsTest : public QObject {
    Q_OBJECT
private slots:
    void everyControlIsFoundByItsName() {
        const auto form = makeWindow();
        QCOMPARE(form->objectName(), QStringLiteral("Form1"));
        for (const char* name :
             {"Button1",      "Button2",      "CheckBox1",    "RadioButton1", "RadioButton2",
              "RadioButton3", "RadioButton4", "RadioButton5", "RadioButton6", "GroupBox1",
              "GroupBox2",    "ProgressBar1", "Image1",       "ScrollBox1",   "Panel3",
              "Label16",      "Label17",      "SpeedButton1", "PopupMenu1",   "LoadImageDialog"})
            QVERIFY2(form->findChild<QObject*>(QString::fromLatin1(name)) != nullptr, name);
        for (const char* name : {"Setrad1", "Setobj", "Setthr", "N1", "Setall"})
            QVERIFY2(form->findChild<QAction*>(QString::fromLatin1(name)) != nullptr, name);
        for (int i = 1; i <= 15; ++i) {
            const auto* spin = form->findChild<SpinField*>(QStringLiteral("UpDown%1").arg(i));
            const auto* edit = form->findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(i));
            QVERIFY(spin != nullptr && edit != nullptr);
        }
        // X2 is Edit15 with UpDown14, Y2 is Edit14 with UpDown15.
        QCOMPARE(form->upDown(Field::X2)->objectName(), QStringLiteral("UpDown14"));
        QCOMPARE(form->upDown(Field::X2)->edit()->objectName(), QStringLiteral("Edit15"));
        QCOMPARE(form->upDown(Field::Y2)->objectName(), QStringLiteral("UpDown15"));
        QCOMPARE(form->upDown(Field::Y2)->edit()->objectName(), QStringLiteral("Edit14"));
    }

    void theWindowStartsInItsInitialState() {
        const auto form = makeWindow();
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvik"));
        QCOMPARE(form->Button1->text(), QStringLiteral("Load Image"));
        QCOMPARE(form->Button2->text(), QStringLiteral("Analysis"));
        QVERIFY(form->Button1->isEnabled());
        QVERIFY(!form->Button2->isEnabled());
        QCOMPARE(form->CheckBox1->text(), QStringLiteral("Instant analysis"));
        QVERIFY(!form->CheckBox1->isChecked());
        QCOMPARE(form->GroupBox1->title(), QStringLiteral("Model"));
        QCOMPARE(form->GroupBox2->title(), QStringLiteral("Object"));
        const QStringList captions{form->RadioButton1->text(), form->RadioButton2->text(),
                                   form->RadioButton3->text(), form->RadioButton4->text(),
                                   form->RadioButton5->text(), form->RadioButton6->text()};
        QCOMPARE(captions, (QStringList{"Center point", "Standard", "Balloon", "Opened",
                                        "Black on white", "White on black"}));
        QVERIFY(form->RadioButton1->isChecked());
        QVERIFY(form->RadioButton5->isChecked());
        QCOMPARE(form->ProgressBar1->minimum(), 0);
        QCOMPARE(form->ProgressBar1->maximum(), 100);
        QCOMPARE(form->ProgressBar1->value(), 0);
        QCOMPARE(form->Label16->text(), QStringLiteral("Orvik"));
        QVERIFY(form->Label16->font().bold());
        QVERIFY(!form->Label17->text().isEmpty());
        QCOMPARE(form->Updating, 1);
        QCOMPARE(form->Dragging, 0);
        QVERIFY(form->image().GreyData == nullptr);
        QCOMPARE(form->image().ImageWidth, 0);
        QCOMPARE(form->Image1->size(), QSize(0, 0));
        QCOMPARE(form->Image1->cursor().shape(), Qt::CrossCursor);
        QCOMPARE(form->ScrollBox1->widget(), static_cast<QWidget*>(form->Image1));
    }

    void fieldsHaveTheirDefaultsRangesAndLabels() {
        const auto form = makeWindow();
        for (const FieldInfo& entry : fieldTable()) {
            const SpinField* spin = form->upDown(entry.field);
            const QByteArray what = entry.label;
            QVERIFY2(spin->objectName() == QLatin1String(entry.upDownName), what);
            QVERIFY2(spin->edit()->objectName() == QLatin1String(entry.editName), what);
            QVERIFY2(spin->value() == entry.defaultValue, what);
            QVERIFY2(spin->edit()->text() == QString::number(entry.defaultValue), what);
            QVERIFY2(spin->minimum() == entry.minimum, what);
            QVERIFY2(spin->maximum() == entry.maximum, what);
            QVERIFY2(spin->singleStep() == entry.increment, what);
            QVERIFY2(!spin->wrapping(), what);
            QVERIFY2(spin->accessibleName() == QLatin1String(entry.label), what);
            const QString labelName =
                QStringLiteral("Label") + QString::fromLatin1(entry.editName).mid(4);
            const auto* label = form->findChild<QLabel*>(labelName);
            QVERIFY2(label != nullptr, what);
            QVERIFY2(label->text() == QLatin1String(entry.label), what);
            QVERIFY2(label->buddy() == spin, what);
        }
    }

    void thousandsAreGroupedFrom1000() {
        const auto form = makeWindow();
        SpinField* radius = form->upDown(Field::Radius);
        const QString separator = radius->locale().groupSeparator();
        QVERIFY(!separator.isEmpty());
        radius->setValue(999);
        QCOMPARE(radius->edit()->text(), QStringLiteral("999"));
        radius->setValue(1000);
        QCOMPARE(radius->edit()->text(), QStringLiteral("1") + separator + QStringLiteral("000"));
        SpinField* iterations = form->upDown(Field::Iterations);
        iterations->setValue(32760);
        QCOMPARE(iterations->edit()->text(),
                 QStringLiteral("32") + separator + QStringLiteral("760"));
    }

    void stepsGoByTheIncrementAndStopAtTheEnds_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("up");
        QTest::addColumn<bool>("byButton");
        QTest::addColumn<QList<int>>("values");
        const auto row = [](const char* name, Field f, int start, bool up, bool byButton,
                            QList<int> values) {
            QTest::newRow(name) << static_cast<int>(f) << start << up << byButton << values;
        };
        row("iterations up in fives to 32760", Field::Iterations, 32745, true, false,
            {32750, 32755, 32760, 32760});
        row("iterations down in fives", Field::Iterations, 12, false, false, {7, 2, 0, 0});
        row("points down to 3", Field::Points, 5, false, false, {4, 3, 3});
        row("points up to 200", Field::Points, 199, true, false, {200, 200});
        row("viscosity not below 1", Field::Viscosity, 2, false, false, {1, 1});
        row("inertia not below 0 by the button", Field::Inertia, 1, false, true, {0, 0});
        row("radius up to 1000 by the button", Field::Radius, 999, true, true, {1000, 1000});
        row("tension up by one", Field::Tension, 40, true, true, {41, 42});
    }
    void stepsGoByTheIncrementAndStopAtTheEnds() {
        QFETCH(int, field);
        QFETCH(int, start);
        QFETCH(bool, up);
        QFETCH(bool, byButton);
        QFETCH(QList<int>, values);
        const auto form = makeWindow();
        SpinField* spin = form->upDown(static_cast<Field>(field));
        spin->setValue(start);
        QSignalSpy changes(spin, &SpinField::changed);
        int expectedChanges = 0;
        int previous = start;
        for (const int expected : values) {
            if (byButton)
                clickSpinButton(spin, up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown);
            else
                QTest::keyClick(spin->edit(), up ? Qt::Key_Up : Qt::Key_Down);
            QCOMPARE(spin->value(), expected);
            if (expected != previous) ++expectedChanges;
            previous = expected;
            QCOMPARE(changes.size(), expectedChanges);
        }
    }

    void everyChangeOfTheTextIsReportedOnce() {
        const auto form = makeWindow();
        SpinField* inertia = form->upDown(Field::Inertia);
        QSignalSpy changes(inertia, &SpinField::changed);

        inertia->setValue(11); // by the program
        QCOMPARE(changes.size(), 1);
        inertia->setValue(11); // same value, same text
        QCOMPARE(changes.size(), 1);
        inertia->setValue(500); // clamped to 100
        QCOMPARE(inertia->value(), 100);
        QCOMPARE(changes.size(), 2);

        typeInto(inertia, QStringLiteral("57")); // two keystrokes, two changes
        QCOMPARE(inertia->value(), 57);
        QCOMPARE(changes.size(), 4);

        QTest::keyClick(inertia->edit(), Qt::Key_Backspace); // "5"
        QTest::keyClick(inertia->edit(), Qt::Key_Backspace); // "": no number
        QCOMPARE(changes.size(), 6);
        QCOMPARE(inertia->value(), 5);
    }

    // Keystrokes after selecting the whole text ("\b" is Backspace): what the field shows,
    // the value in force, and one change event per keystroke that changed the text.
    void typedTextCountsOnlyWhenItIsAWholeNumberInRange_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("value");
        const auto row = [](const char* name, Field f, const QString& typed, const QString& shown,
                            int value) {
            QTest::newRow(name) << static_cast<int>(f) << typed << shown << value;
        };
        // Separators as the user's locale writes them, which the fields read: 1,500 or 1.500.
        const QLocale locale;
        const QString thousands = u'1' + locale.groupSeparator() + QStringLiteral("500");
        const QString fraction = u'2' + locale.decimalPoint() + u'5';
        row("a valid number", Field::Iterations, "150", "150", 150);
        row("with a group separator", Field::Iterations, thousands, thousands, 1500);
        row("letters", Field::Inertia, "abc", "abc", 10);
        row("a number then letters", Field::Tension, "7x", "7x", 7);
        row("above the maximum", Field::Inertia, "250", "250", 25);
        row("above the maximum, then Backspace", Field::Tension, "600\b", "60", 60);
        row("below the minimum", Field::Radius, "1", "1", 100);
        row("a minus sign", Field::Gradient, "-3", "-3", 0);
        row("a fraction", Field::Form, fraction, fraction, 2);
        row("box field above its maximum before a load", Field::X1, "101", "101", 10);
    }
    void typedTextCountsOnlyWhenItIsAWholeNumberInRange() {
        QFETCH(int, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, value);
        const auto form = makeWindow();
        SpinField* spin = form->upDown(static_cast<Field>(field));
        QSignalSpy changes(spin, &SpinField::changed);
        typeInto(spin, typed);
        QCOMPARE(spin->edit()->text(), shown);
        QCOMPARE(changes.size(), typed.size());
        QCOMPARE(spin->value(), value);
        QCOMPARE(at(form->controlValues().fields, static_cast<Field>(field)), value);
        // Leaving the field shows the value in force again.
        spin->clearFocus();
        QTest::keyClick(spin->edit(), Qt::Key_Tab);
        QCOMPARE(spin->value(), value);
    }

    void eachFieldsTooltipSaysItsUnitAndRange() {
        BitmapFolder folder;
        const auto form = makeWindow();
        const QString separator = form->locale().groupSeparator();
        QCOMPARE(form->upDown(Field::Threshold)->toolTip(),
                 "Threshold: 0 to 1" + separator + "020 in quarter grey levels (400 is grey 100)");
        QVERIFY(form->upDown(Field::X2)->toolTip().startsWith("X2: 0 to 100 pixels"));
        form->loadImageFile(folder.write("p.bmp", uniformPicture(300, 200, 90)));
        QVERIFY(form->upDown(Field::X2)->toolTip().startsWith("X2: 0 to 300 pixels"));
        QVERIFY(form->upDown(Field::Y1)->toolTip().startsWith("Y1: 0 to 200 pixels"));
    }

    void programValuesAreClampedToTheRange() {
        const auto form = makeWindow();
        const struct {
            Field field;
            int set, held;
        } cases[] = {
            {Field::Inertia, 5000, 100},  {Field::Viscosity, -3, 1},
            {Field::Viscosity, 0, 1},     {Field::Radius, 1, 2},
            {Field::Radius, 40000, 1000}, {Field::Iterations, 32761, 32760},
            {Field::Points, 2, 3},        {Field::Points, 201, 200},
            {Field::X1, 101, 100},        {Field::Y2, -1, 0},
        };
        for (const auto& c : cases) {
            setField(*form, c.field, c.set);
            QCOMPARE(fieldValue(*form, c.field), c.held);
        }
    }

    void theLayoutFollowsThe96DpiPositions() {
        const auto form = makeWindow();
        const TForm1& f = *form;
        QCOMPARE(form->ClientArea->size(), at96Dpi(f, 0, 0, 543, 323).size());
        QCOMPARE(form->size(), form->ClientArea->size() + QSize(0, form->frameExtraHeight()));
        QCOMPARE(form->Panel3->geometry(), at96Dpi(f, 291, 0, 252, 323));
        QCOMPARE(form->ScrollBox1->geometry(), at96Dpi(f, 0, 0, 291, 323));
        QCOMPARE(form->Button1->geometry(), at96Dpi(f, 4, 4, 120, 21));
        QCOMPARE(form->SpeedButton1->geometry(), at96Dpi(f, 234, 2, 16, 15));
        QCOMPARE(form->GroupBox1->geometry(), at96Dpi(f, 6, 28, 117, 78));
        QCOMPARE(form->RadioButton3->pos(), at96Dpi(f, 8, 45, 0, 0).topLeft());
        QCOMPARE(form->Button2->geometry(), at96Dpi(f, 4, 250, 120, 21));
        QCOMPARE(form->CheckBox1->geometry(), at96Dpi(f, 4, 273, 101, 17));
        QCOMPARE(form->GroupBox2->geometry(), at96Dpi(f, 130, 158, 118, 50));
        QCOMPARE(form->RadioButton6->pos(), at96Dpi(f, 9, 29, 0, 0).topLeft());
        QCOMPARE(form->Label16->pos(), at96Dpi(f, 108, 271, 0, 0).topLeft());
        QCOMPARE(form->Label17->pos(), at96Dpi(f, 19, 292, 0, 0).topLeft());
        QCOMPARE(form->ProgressBar1->geometry(), at96Dpi(f, 0, 311, 252, 12));
        // A field and its spin buttons side by side, the label two pixels lower.
        QCOMPARE(form->upDown(Field::Inertia)->geometry(), at96Dpi(f, 189, 23, 59, 21));
        QCOMPARE(form->findChild<QLabel*>("Label1")->pos(), at96Dpi(f, 130, 25, 0, 0).topLeft());
        QCOMPARE(form->upDown(Field::Gradient)->geometry(), at96Dpi(f, 189, 253, 59, 21));
        QCOMPARE(form->upDown(Field::X1)->geometry(), at96Dpi(f, 66, 112, 59, 21));
        QCOMPARE(form->upDown(Field::X2)->geometry(), at96Dpi(f, 66, 158, 59, 21));
        QCOMPARE(form->upDown(Field::Points)->geometry(), at96Dpi(f, 66, 225, 59, 21));
        QCOMPARE(form->findChild<QLabel*>("Label11")->pos(), at96Dpi(f, 8, 227, 0, 0).topLeft());
    }

    void everyCaptionFitsBesideItsNeighbour() {
        const auto form = makeWindow();
        for (const FieldInfo& entry : fieldTable()) {
            const SpinField* spin = form->upDown(entry.field);
            const auto* label = form->findChild<QLabel*>(
                QStringLiteral("Label") + QString::fromLatin1(entry.editName).mid(4));
            QVERIFY2(label->x() + label->sizeHint().width() < spin->x(), entry.label);
        }
        const QStyle* style = form->style();
        const int radioMark = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                              style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
        for (const QRadioButton* radio :
             {form->RadioButton1, form->RadioButton2, form->RadioButton3, form->RadioButton4,
              form->RadioButton5, form->RadioButton6})
            QVERIFY2(radioMark + radio->fontMetrics().horizontalAdvance(radio->text()) <=
                         radio->width(),
                     qPrintable(radio->text()));
        const int checkMark = style->pixelMetric(QStyle::PM_IndicatorWidth) +
                              style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        QVERIFY(checkMark +
                    form->CheckBox1->fontMetrics().horizontalAdvance(form->CheckBox1->text()) <=
                form->CheckBox1->width());
        QCOMPARE(form->font().pixelSize(), qRound(11 * scaleOf(*form)));
    }

    void resizingKeepsThePanelAtTheRightAndTheBarAtTheBottom() {
        const auto form = makeWindow();
        const TForm1& f = *form;
        form->resize(at96Dpi(f, 0, 0, 800, 500).size() + QSize(0, form->frameExtraHeight()));
        QTRY_COMPARE(form->Panel3->height(), at96Dpi(f, 0, 0, 0, 500).height());
        QCOMPARE(form->Panel3->geometry(), at96Dpi(f, 548, 0, 252, 500));
        QCOMPARE(form->ScrollBox1->geometry(), at96Dpi(f, 0, 0, 548, 500));
        QCOMPARE(form->ProgressBar1->geometry(), at96Dpi(f, 0, 488, 252, 12));
        QCOMPARE(form->Label16->pos(), at96Dpi(f, 108, 448, 0, 0).topLeft());
        QCOMPARE(form->Label17->pos(), at96Dpi(f, 19, 469, 0, 0).topLeft());
        QCOMPARE(form->Button1->geometry(), at96Dpi(f, 4, 4, 120, 21));
        QCOMPARE(form->upDown(Field::Gradient)->geometry(), at96Dpi(f, 189, 253, 59, 21));
        QVERIFY(form->minimumWidth() <= at96Dpi(f, 0, 0, 400, 0).width());
        QCOMPARE(form->ClientArea->minimumHeight(), at96Dpi(f, 0, 0, 0, 323).height());
    }

    void theHelpButtonHasAGlyphATooltipAndNoFocus() {
        const auto form = makeWindow();
        QToolButton* help = form->SpeedButton1;
        QCOMPARE(help->toolTip(), QStringLiteral("Help"));
        QCOMPARE(help->focusPolicy(), Qt::NoFocus);
        QVERIFY(help->text().isEmpty() || help->toolButtonStyle() == Qt::ToolButtonIconOnly);
        const QImage glyph = help->icon().pixmap(QSize(10, 10)).toImage();
        QCOMPARE(glyph.size(), QSize(10, 10));
        int black = 0, grey = 0;
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) {
                const QRgb p = glyph.pixel(x, y) & 0xffffff;
                black += p == 0;
                grey += p == 0xc0c0c0;
            }
        QVERIFY(black > 0 && grey > black);
        QSignalSpy help_(form.get(), &TForm1::helpRequested);
        QTest::mouseClick(help, Qt::LeftButton);
        QCOMPARE(help_.size(), 1);
    }

    void thePopupMenuListsTheTools() {
        const auto form = makeWindow();
        QStringList entries;
        for (const QAction* action : form->PopupMenu1->actions())
            entries << action->objectName() + QLatin1Char(':') +
                           (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(entries, (QStringList{"Setrad1:Set radius", "Setobj:Set object",
                                       "Setthr:Set threshold", "N1:-", "Setall:Set them all"}));
    }

    void theLoadImageDialogHasItsOptions() {
        const auto form = makeWindow();
        const LoadImageFileDialog* dialog = form->LoadImageDialog;
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Load Image"));
        // Bitmaps first and chosen, then every format the reader knows, then anything.
        const QStringList filters = dialog->nameFilters();
        QCOMPARE(filters.size(), 3);
        QCOMPARE(filters[0], QStringLiteral("Windows bitmap (*.bmp)"));
        QVERIFY(filters[1].startsWith(QStringLiteral("All pictures (")));
        const QStringList patterns = filters[1].section(u'(', 1).chopped(1).split(u' ');
        for (const char* pattern : {"*.bmp", "*.png", "*.jpg", "*.gif"})
            QVERIFY2(patterns.contains(QString::fromLatin1(pattern)), pattern);
        QCOMPARE(filters[2], QStringLiteral("All files (*)"));
        QCOMPARE(dialog->selectedNameFilter(), filters[0]);
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("bmp"));
        QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QVERIFY(dialog->isSizeGripEnabled());
        QVERIFY(dialog->lastChosen().isEmpty());
    }

    void enablingRulesFollowTheModel_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("formAndRadius");
        QTest::addColumn<bool>("polarity");
        QTest::addColumn<bool>("setRadius");
        QTest::addColumn<bool>("setObject");
        QTest::newRow("center point") << 1 << true << true << true << true;
        QTest::newRow("standard") << 2 << true << true << true << true;
        QTest::newRow("balloon") << 3 << false << true << false << true;
        QTest::newRow("opened") << 4 << false << false << false << false;
    }
    void enablingRulesFollowTheModel() {
        QFETCH(int, model);
        QFETCH(bool, formAndRadius);
        QFETCH(bool, polarity);
        QFETCH(bool, setRadius);
        QFETCH(bool, setObject);
        const auto form = makeWindow();
        form->RadioButton6->setChecked(true);
        // Start from the other end of the table so that every rule has to change.
        (model <= 2 ? form->RadioButton4 : form->RadioButton2)->setChecked(true);
        QRadioButton* const models[] = {form->RadioButton1, form->RadioButton2, form->RadioButton3,
                                        form->RadioButton4};
        models[model - 1]->setChecked(true);

        const QPalette standard = QApplication::palette();
        for (const Field field : {Field::Form, Field::Radius}) {
            SpinField* spin = form->upDown(field);
            QCOMPARE(spin->isEnabled(), formAndRadius);
            QCOMPARE(spin->edit()->isEnabled(), formAndRadius);
            QCOMPARE(spin->palette().color(QPalette::Base),
                     standard.color(formAndRadius ? QPalette::Base : QPalette::Button));
        }
        QCOMPARE(form->RadioButton5->isEnabled(), polarity);
        QCOMPARE(form->RadioButton6->isEnabled(), polarity);
        QCOMPARE(form->Setrad1->isEnabled(), setRadius);
        QCOMPARE(form->Setobj->isEnabled(), setObject);
        QVERIFY(form->Setthr->isEnabled());
        QVERIFY(form->Setall->isEnabled());
        // Disabling the polarity keeps its selection.
        QVERIFY(form->RadioButton6->isChecked());
        QCOMPARE(form->selectedModel(), static_cast<ModelChoice>(model));
    }

    void everyControlIsReachedByTabInOrder() {
        BitmapFolder folder;
        const auto form = makeWindow();
        form->loadImageFile(folder.write("a.bmp", uniformPicture(40, 30, 128)));
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->Button1->setFocus(Qt::TabFocusReason);
        QStringList visited{nameOfFocus(QApplication::focusWidget())};
        for (int i = 0; i < 22; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << nameOfFocus(QApplication::focusWidget());
        }
        const QStringList expected{
            "Button1",      "Button2",   "UpDown1",  "UpDown2",  "UpDown3",  "UpDown4",
            "UpDown5",      "UpDown6",   "UpDown7",  "UpDown8",  "UpDown9",  "UpDown10",
            "UpDown11",     "UpDown12",  "UpDown13", "UpDown15", "UpDown14", "RadioButton1",
            "RadioButton5", "CheckBox1", "Button1"};
        QCOMPARE(visited.mid(0, expected.size()), expected);
    }

    void theDialogsNameListClosesWithTheDialog() {
        const auto form = makeWindow();
        LoadImageFileDialog* dialog = form->LoadImageDialog;
        const QList<QCompleter*> completers = dialog->findChildren<QCompleter*>();
        QVERIFY(!completers.isEmpty());
        dialog->show();
        for (QCompleter* completer : completers)
            completer->popup()->show();
        dialog->done(QDialog::Accepted);
        for (QCompleter* completer : completers)
            QVERIFY(!completer->popup()->isVisible());
    }

    void returnInAnUnchangedFieldRunsNothing() {
        for (const bool instant : {false, true}) {
            BitmapFolder folder;
            const auto form = makeWindow();
            form->loadImageFile(folder.write("p.bmp", discPicture(80, 60, 40, 30, 12, 40, 220)));
            setField(*form, Field::Iterations, 20);
            form->Button2->click();
            form->CheckBox1->setChecked(instant);
            const QImage shown = form->image().Display.copy();
            const int previews = previewsOf(*form), analyses = analysesOf(*form);
            for (const Field field : {Field::X1, Field::Tension, Field::Points}) {
                QTest::keyClick(form->upDown(field)->edit(), Qt::Key_Return);
                QTest::keyClick(form->upDown(field)->edit(), Qt::Key_Enter, Qt::KeypadModifier);
            }
            QCOMPARE(previewsOf(*form), previews);
            QCOMPARE(analysesOf(*form), analyses);
            QCOMPARE(form->image().Display, shown);
            // A value that did change still counts.
            QTest::keyClick(form->upDown(Field::X1)->edit(), Qt::Key_Up);
            QCOMPARE(previewsOf(*form) + analysesOf(*form), previews + analyses + 1);
        }
    }

    void theWheelChangesOnlyTheFocusedField() {
        const auto form = makeWindow();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        SpinField* tension = form->upDown(Field::Tension);
        const int value = tension->value();
        const auto wheelOver = [](QWidget* w) {
            const QPointF at(w->width() / 2.0, w->height() / 2.0);
            QWheelEvent wheel(at, w->mapToGlobal(at), {}, QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &wheel);
        };
        form->upDown(Field::Inertia)->setFocus();
        wheelOver(tension);
        QCOMPARE(tension->value(), value);
        QVERIFY(!tension->hasFocus());
        tension->setFocus();
        wheelOver(tension);
        QCOMPARE(tension->value(), value + tension->singleStep());
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::FieldsTest)

#include "fields_test.moc"
