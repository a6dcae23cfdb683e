// Tests of the application shell: the intro screen, start-up, the help viewer and the resources.
#include "application.h"
#include "core/field_table.h"
#include "help_viewer.h"
#include "intro_window.h"
#include "startup.h"
#include "tform1.h"
#include "window_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

using namespace orvik;

namespace {

// The intro windows that are up now.
QList<IntroWindow*> introWindows() {
    QList<IntroWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* intro = qobject_cast<IntroWindow*>(widget); intro && intro->isVisible())
            found.append(intro);
    return found;
}

IntroWindow* onlyIntro() {
    const QList<IntroWindow*> intros = introWindows();
    return intros.size() == 1 ? intros.front() : nullptr;
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QString readResource(const QString& relativePath) {
    QFile file(QStringLiteral(ORVIK_RESOURCES_DIR "/") + relativePath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

class AppTests : public QObject {
    Q_OBJECT

private slots:
    void theCommandLineOpensItsFirstFileOnly() {
        QString note;
        QCOMPARE(fileToOpen({}, &note), QString());
        QCOMPARE(fileToOpen({"a.png"}, &note), QStringLiteral("a.png"));
        QVERIFY(note.isEmpty());
        QCOMPARE(fileToOpen({"a.png", "b.bmp", "-x"}, &note), QStringLiteral("a.png"));
        QVERIFY(note.contains(QStringLiteral("b.bmp -x")));
    }

    // A display that can't be had proves that asking for the usage opens no window.
    void helpPrintsTheUsageAndExitsWithZeroWithoutAWindow() {
        for (const QStringList& arguments :
             {QStringList{"--help"}, QStringList{"-h"}, QStringList{"picture.bmp", "--help"}}) {
            QProcess orvik;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("QT_QPA_PLATFORM", "no-such-platform");
            orvik.setProcessEnvironment(environment);
            orvik.start(ORVIK_PROGRAM, arguments);
            QVERIFY(orvik.waitForFinished(30000));
            QCOMPARE(orvik.exitStatus(), QProcess::NormalExit);
            QCOMPARE(orvik.exitCode(), 0);
            QCOMPARE(QString::fromLocal8Bit(orvik.readAllStandardOutput()), usageText());
            QCOMPARE(orvik.readAllStandardError(), QByteArray());
        }
        QVERIFY(!asksForUsage({"picture.bmp", "--helpful.bmp"}));
    }

    // Beside the main window, never over its panel (the rightmost 252 pixels here), with the
    // title bar on the screen.
    void theHelpWindowGoesBesideTheMainWindow() {
        const QRect screen(0, 0, 1920, 1080);
        const QSize help(680, 600);
        const struct {
            QRect main;
            QRect at;
        } cases[] = {
            {QRect(100, 50, 800, 500), QRect(900, 50, 680, 600)},    // room on the right
            {QRect(1000, 50, 800, 500), QRect(320, 50, 680, 600)},   // only on the left
            {QRect(300, 700, 1400, 300), QRect(768, 480, 680, 600)}, // over the picture
            {QRect(0, 0, 1920, 1080), QRect(988, 0, 680, 600)},      // maximised
            {QRect(0, 0, 800, 500), QRect(800, 0, 680, 600)},
            {QRect(200, 0, 1600, 1040), QRect(868, 0, 680, 600)},
            {QRect(40, 300, 860, 700), QRect(900, 300, 680, 600)},
        };
        for (const auto& c : cases) {
            const QRect panel(c.main.right() + 1 - 252, c.main.top(), 252, c.main.height());
            QCOMPARE(helpPlacement(c.main, panel, help, screen), c.at);
        }
        // Narrowed to the room left of the panel, and no taller than the screen.
        const QRect small(0, 0, 1024, 700);
        QCOMPARE(
            helpPlacement(QRect(0, 0, 1024, 700), QRect(772, 0, 252, 700), QSize(900, 900), small),
            QRect(0, 0, 772, 700));
    }

    void init() {
        IntroState = 0;
        setErrorReporter({});
    }
    void cleanup() {
        // No test leaves an intro or a main window behind for the next one.
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<IntroWindow*>(widget) || qobject_cast<TForm1*>(widget)) delete widget;
        setErrorReporter({});
    }

    void introPositionCentresAndHalvesTowardZero_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("1024 x 768") << QSize(1024, 768) << QSize(240, 320) << QPoint(392, 224);
        QTest::newRow("odd differences") << QSize(1025, 769) << QSize(240, 320) << QPoint(392, 224);
        QTest::newRow("picture size") << QSize(240, 320) << QSize(240, 320) << QPoint(0, 0);
        QTest::newRow("narrower and lower")
            << QSize(200, 300) << QSize(240, 320) << QPoint(-20, -10);
        QTest::newRow("difference of -3") << QSize(237, 317) << QSize(240, 320) << QPoint(-1, -1);
        QTest::newRow("difference of -1") << QSize(239, 319) << QSize(240, 320) << QPoint(0, 0);
        QTest::newRow("no screen at all") << QSize(0, 0) << QSize(240, 320) << QPoint(-120, -160);
    }
    void introPositionCentresAndHalvesTowardZero() {
        QFETCH(QSize, screen);
        QFETCH(QSize, picture);
        QFETCH(QPoint, position);
        QCOMPARE(introPosition(screen, picture), position);
    }

    void theShippedPicturesHaveTheirFormats() {
        QImageReader intro(DefaultIntroPicture);
        QCOMPARE(intro.format(), QByteArray("bmp"));
        const QImage picture = intro.read();
        QCOMPARE(picture.size(), QSize(240, 320));
        QCOMPARE(picture.format(), QImage::Format_Indexed8);
        QCOMPARE(picture.colorCount(), 256);

        const QIcon icon = applicationIcon();
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
        for (const int size : {16, 32}) {
            const QImage image(QStringLiteral(":/MAINICON-%1.png").arg(size));
            QCOMPARE(image.size(), QSize(size, size));
            QCOMPARE(image.format(), QImage::Format_Indexed8);
            QVERIFY2(image.colorCount() <= 16, qPrintable(QString::number(image.colorCount())));
        }
    }

    void theIntroStandsCentredAboveEverything() {
        QCOMPARE(ShowIntro(), 0);
        QCOMPARE(IntroState, 1);
        IntroWindow* intro = onlyIntro();
        QVERIFY(intro);
        const QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(intro->geometry(), QRect(screen->geometry().topLeft() +
                                              introPosition(screen->size(), QSize(240, 320)),
                                          QSize(240, 320)));
        QVERIFY(intro->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(intro->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(intro->timerPending());
        // Neither is it a reason to keep the program running, nor does closing it end it.
        QVERIFY(!intro->testAttribute(Qt::WA_QuitOnClose));
        // It shows the picture from its first paint on, pixel for pixel of its own coordinates
        // (rendered, not grabbed: a grab holds the screen's device pixels, 1.5 to one on a
        // screen scaled by 150%).
        QImage shown(intro->size(), QImage::Format_RGB32);
        intro->render(&shown);
        const QImage expected = QImage(DefaultIntroPicture).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown, expected);
    }

    void inputBeforeTheTimerIsSwallowedAndTheIntroClosesAfterIt() {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ShowIntro(), 0);
        QPointer<IntroWindow> intro = onlyIntro();
        QVERIFY(intro);

        QTest::keyClick(intro, Qt::Key_Escape);
        QTest::keyClick(intro, Qt::Key_F4, Qt::AltModifier);
        QTest::keyClick(intro, Qt::Key_Return);
        for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
            QTest::mouseClick(intro, button, {}, QPoint(10, 10));
        QTest::mouseDClick(intro, Qt::LeftButton, {}, QPoint(10, 10));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QVERIFY(QApplication::sendEvent(intro, &press));
        QVERIFY(press.isAccepted());
        QTest::qWait(200);
        QVERIFY(intro);
        QVERIFY(intro->isVisible());
        QCOMPARE(IntroState, 1);

        QTRY_VERIFY_WITH_TIMEOUT(intro.isNull(), 5000);
        QVERIFY2(clock.elapsed() >= IntroDurationMs - 5,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(IntroState, 2);
        QVERIFY(introWindows().isEmpty());
    }

    void introStateGoesFromZeroToOneToTwoAndNeverBack() {
        QCOMPARE(IntroState, 0);
        // A picture that can't be loaded shows nothing and sets nothing up.
        QCOMPARE(ShowIntro(QStringLiteral(":/no-such-picture.bmp")), 1);
        QCOMPARE(IntroState, 0);
        QVERIFY(introWindows().isEmpty());

        QCOMPARE(ShowIntro(), 0);
        QCOMPARE(IntroState, 1);
        // A second intro while the first is pending leaves the state at 1, with its own timer.
        QCOMPARE(ShowIntro(), 0);
        QCOMPARE(IntroState, 1);
        QCOMPARE(introWindows().size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(introWindows().size(), 0, 5000);
        QCOMPARE(IntroState, 2);

        // An intro made after a timer has fired gets none: it stays until the first press.
        QCOMPARE(ShowIntro(), 0);
        QCOMPARE(IntroState, 2);
        QPointer<IntroWindow> late = onlyIntro();
        QVERIFY(late);
        QVERIFY(!late->timerPending());
        QTest::qWait(100);
        QVERIFY(late && late->isVisible());
        QTest::mouseClick(late, Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_VERIFY(late.isNull());
        QCOMPARE(IntroState, 2);

        QCOMPARE(ShowIntro(), 0);
        late = onlyIntro();
        QVERIFY(late);
        QTest::keyClick(late, Qt::Key_Space);
        QTRY_VERIFY(late.isNull());
        QCOMPARE(IntroState, 2);
    }

    void findHelpFileTakesTheFirstFolderThatHoldsIt() {
        QTemporaryDir first, second;
        QVERIFY(first.isValid() && second.isValid());
        const QStringList dirs{first.path(), second.path()};
        QCOMPARE(findHelpFile(HelpFileName, dirs), QString());
        QVERIFY(writeFile(second.filePath(HelpFileName), "<p>second</p>"));
        QCOMPARE(findHelpFile(HelpFileName, dirs),
                 QFileInfo(second.filePath(HelpFileName)).absoluteFilePath());
        QVERIFY(writeFile(first.filePath(HelpFileName), "<p>first</p>"));
        QCOMPARE(findHelpFile(HelpFileName, dirs),
                 QFileInfo(first.filePath(HelpFileName)).absoluteFilePath());
        // A folder of that name is not the file.
        QTemporaryDir third;
        QVERIFY(QDir(third.path()).mkdir(HelpFileName));
        QCOMPARE(findHelpFile(HelpFileName, {third.path()}), QString());
    }

    void helpIsSoughtBesideTheProgramThenInTheDataFolder() {
        const QStringList dirs = helpSearchDirs();
        QCOMPARE(dirs.size(), 2);
        const QDir program(QCoreApplication::applicationDirPath());
        QCOMPARE(dirs[0], program.absolutePath());
        QCOMPARE(dirs[1],
                 QDir::cleanPath(program.absoluteFilePath(QStringLiteral("../share/orvik"))));
    }

    void theViewerOpensTheFileAtItsContents() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A long preface puts the contents far down: opening there must scroll.
        QByteArray page = "<html><body><h1>Preface</h1>";
        for (int i = 0; i < 200; ++i)
            page += "<p>Preface line " + QByteArray::number(i) + "</p>";
        page += "<h1><a name=\"contents\"></a>Contents</h1><p><a href=\"#models\">Models</a></p>";
        for (int i = 0; i < 200; ++i)
            page += "<p>Body line " + QByteArray::number(i) + "</p>";
        page += "<h2><a name=\"models\"></a>Models</h2></body></html>";
        QVERIFY(writeFile(dir.filePath(HelpFileName), page));

        HelpViewer viewer;
        viewer.resize(400, 300);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        viewer.openContents(HelpFileName, {dir.path()});
        QCOMPARE(viewer.filePath(), QFileInfo(dir.filePath(HelpFileName)).absoluteFilePath());
        QTextBrowser* browser = viewer.browser();
        QCOMPARE(browser->source().fragment(), HelpContentsAnchor);
        QCOMPARE(browser->source().toLocalFile(), viewer.filePath());
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Preface line 199")));
        const int atContents = browser->verticalScrollBar()->value();
        QVERIFY2(atContents > 0, "the viewer did not scroll to the contents");

        // A link moves on; "Contents" comes back.
        browser->setSource(QUrl(QStringLiteral("#models")));
        QTRY_VERIFY(browser->verticalScrollBar()->value() > atContents);
        auto* contents = viewer.findChild<QPushButton*>();
        QVERIFY(contents && contents->text() == QStringLiteral("Contents"));
        contents->click();
        QTRY_COMPARE(browser->verticalScrollBar()->value(), atContents);

        // Esc and Ctrl+W close it, from the page as from a button.
        for (const QKeyCombination keys :
             {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
            viewer.show();
            viewer.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&viewer));
            browser->setFocus();
            QTest::keyClick(browser, keys.key(), keys.keyboardModifiers());
            QVERIFY(!viewer.isVisible());
        }
    }

    void theViewerSaysSoWhenTheFileIsMissing() {
        QTemporaryDir first, second;
        HelpViewer viewer;
        viewer.openContents(HelpFileName, {first.path(), second.path()});
        QCOMPARE(viewer.filePath(), QString());
        const QString text = viewer.browser()->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("The help file Orvik.hlp could not be found.")),
                 qPrintable(text));
        QVERIFY(text.contains(QDir::toNativeSeparators(first.path())));
        QVERIFY(text.contains(QDir::toNativeSeparators(second.path())));

        // Once the file is there, opening again shows it.
        QVERIFY(writeFile(second.filePath(HelpFileName),
                          "<html><body><a name=\"contents\"></a><h1>Manual</h1></body></html>"));
        viewer.openContents(HelpFileName, {first.path(), second.path()});
        QVERIFY(viewer.browser()->toPlainText().contains(QStringLiteral("Manual")));
        QVERIFY(!viewer.browser()->toPlainText().contains(QStringLiteral("could not be found")));
    }

    void startUpWithoutTheIntroPictureStillBringsUpTheMainWindow() {
        QPointer<TForm1> form;
        bool sawWindow = false, sawIntro = true, helpOpened = false, helpFound = false;
        QIcon windowIcon;
        StartupOptions options;
        options.introPicture = QStringLiteral(":/no-such-picture.bmp");
        options.mainWindowCreated = [&](TForm1& created) {
            form = &created;
            QTimer::singleShot(0, &created, [&] {
                sawWindow = form->isVisible() && form->objectName() == QStringLiteral("Form1");
                sawIntro = !introWindows().isEmpty();
                windowIcon = form->windowIcon();
                // The help button opens the manual at its contents, image or no image.
                QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
                auto* viewer = form->findChild<HelpViewer*>();
                helpOpened = viewer && viewer->isVisible() && viewer->isWindow();
                helpFound = viewer && !viewer->filePath().isEmpty() &&
                            viewer->browser()->source().fragment() == HelpContentsAnchor;
                // Closing the main window ends the program, the open help window included.
                form->close();
            });
        };
        QCOMPARE(runOrvik(static_cast<OrvikApplication&>(*qApp), options), 0);
        QVERIFY(sawWindow);
        QVERIFY(!sawIntro);
        QCOMPARE(IntroState, 0);
        QVERIFY(helpOpened);
        QVERIFY(helpFound);
        QVERIFY(windowIcon.availableSizes().contains(QSize(32, 32)));
        QVERIFY(form.isNull()); // the main window lived on the start-up's stack
    }

    void startUpShowsTheIntroOverTheMainWindow() {
        QPointer<IntroWindow> intro;
        bool bothUp = false;
        StartupOptions options;
        options.mainWindowCreated = [&](TForm1& form) {
            intro = onlyIntro();
            QTimer::singleShot(0, &form, [&] {
                bothUp = intro && intro->isVisible() && form.isVisible();
                form.close();
            });
        };
        QCOMPARE(runOrvik(static_cast<OrvikApplication&>(*qApp), options), 0);
        QVERIFY(bothUp);
        QCOMPARE(IntroState, 1);
        // The program ended before the intro's timer: the window went with it.
        QVERIFY(intro.isNull());
    }

    void anErrorDuringStartUpIsShownAndTheProgramEndsWithZero() {
        QStringList shown;
        setErrorReporter([&](const QString& text) { shown.append(text); });
        StartupOptions options;
        options.introPicture = QStringLiteral(":/no-such-picture.bmp");
        options.mainWindowCreated = [](TForm1&) {
            throw std::runtime_error("Cannot create the main window");
        };
        QCOMPARE(runOrvik(static_cast<OrvikApplication&>(*qApp), options), 0);
        QCOMPARE(shown, QStringList{QStringLiteral("Cannot create the main window.")});
    }

    // The manual names every control the user meets, with the ranges the window enforces, and
    // points at sample images that exist.
    void theManualCoversTheWindow() {
        const QString manual = readResource(HelpFileName);
        QVERIFY(!manual.isEmpty());
        QVERIFY(manual.contains(QStringLiteral("<a name=\"contents\">")));
        for (const FieldInfo& entry : fieldTable()) {
            const QString label = QString::fromLatin1(entry.label).remove(QStringLiteral(" ="));
            if (label.startsWith(u'X') || label.startsWith(u'Y'))
                continue; // the box corners have their own section
            const QString row = QStringLiteral("<td>%1</td>").arg(label);
            const qsizetype at = manual.indexOf(row);
            QVERIFY2(at >= 0, qPrintable(label));
            const QString rest = manual.mid(at, manual.indexOf(QStringLiteral("</tr>"), at) - at);
            const auto number = [](int value) {
                return value >= 1000 ? QStringLiteral("%1,%2")
                                           .arg(value / 1000)
                                           .arg(value % 1000, 3, 10, QChar(u'0'))
                                     : QString::number(value);
            };
            const QString range = QStringLiteral("<td>%1 to %2</td>")
                                      .arg(number(entry.minimum), number(entry.maximum));
            QVERIFY2(rest.contains(range), qPrintable(label + ": " + range));
            QVERIFY2(rest.contains(QStringLiteral("<td>%1</td>").arg(number(entry.defaultValue))),
                     qPrintable(label + " default"));
        }
        for (const char* text : {"Center point", "Standard", "Balloon", "Opened", "Black on white",
                                 "White on black", "Set radius", "Set object", "Set threshold",
                                 "Set them all", "Instant analysis", "Load Image", "Analysis",
                                 "Floating point overflow", "Invalid floating point operation"})
            QVERIFY2(manual.contains(QString::fromLatin1(text)), text);
        for (const char* sample : {"dark-disc.bmp", "bright-blob.bmp", "curved-edge.bmp"}) {
            QVERIFY2(manual.contains(QString::fromLatin1(sample)), sample);
            QVERIFY2(QImage(QStringLiteral(ORVIK_RESOURCES_DIR "/samples/") + sample).size() ==
                         QSize(320, 240),
                     sample);
        }
        // Every link inside the manual leads to an anchor that exists.
        static const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
        for (const QRegularExpressionMatch& match : link.globalMatch(manual)) {
            const QString anchor = QStringLiteral("<a name=\"%1\">").arg(match.captured(1));
            QVERIFY2(manual.contains(anchor), qPrintable(match.captured(1)));
        }
    }
};

int main(int argc, char** argv) {
    OrvikApplication app(argc, argv);
    AppTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "app_tests.moc"
