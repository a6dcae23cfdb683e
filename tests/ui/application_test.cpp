// The application object: its title and the general error handler.
#include "application.h"
#include "command_guard.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <stdexcept>

namespace orvik::test {

namespace {

// An object whose handler of user events fails.
class FailingReceiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("Floating point overflow");
        return QObject::event(e);
    }
};

} // namespace

class ApplicationTest : public QObject {
    Q_OBJECT
private slots:
    void titleIsOrvik() {
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Orvik"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Orvik"));
    }

    // The rule itself is the session's (its own test has the cases); the box applies it.
    void theErrorBoxEndsItsTextWithAFullStop() {
        ErrorCapture capture;
        reportError(QStringLiteral("Cannot open file /tmp/a.bmp"));
        reportError(QStringLiteral("Unknown picture file extension (.xyz)"));
        QCOMPARE(capture.shown, (QStringList{"Cannot open file /tmp/a.bmp.",
                                             "Unknown picture file extension (.xyz)"}));
    }

    void reporterCanBeReplacedAndRestored() {
        QStringList first, second;
        const ErrorReporter original = setErrorReporter([&](const QString& t) { first << t; });
        const ErrorReporter previous = setErrorReporter([&](const QString& t) { second << t; });
        reportError(QStringLiteral("x"));
        setErrorReporter(previous);
        reportError(QStringLiteral("y"));
        setErrorReporter(original);
        QCOMPARE(first, QStringList{QStringLiteral("y.")});
        QCOMPARE(second, QStringList{QStringLiteral("x.")});
    }

    void anErrorLeavingAnEventHandlerIsReportedAndTheLoopGoesOn() {
        ErrorCapture capture;
        FailingReceiver receiver;
        QEvent sent(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&receiver, &sent));
        QCOMPARE(capture.shown, QStringList{QStringLiteral("Floating point overflow.")});

        // Through the event loop: the posted event fails, the timer after it still fires.
        bool timerFired = false;
        QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
        QTimer::singleShot(0, [&] { timerFired = true; });
        QTRY_VERIFY(timerFired);
        QCOMPARE(capture.shown.size(), 2);
    }

    void aFailedWindowCommandReachesTheSameHandler() {
        ErrorCapture capture;
        bool after = false;
        runCommand([] { throw std::runtime_error("Invalid floating point operation"); });
        runCommand([&] { after = true; });
        QCOMPARE(capture.shown, QStringList{QStringLiteral("Invalid floating point operation.")});
        QVERIFY(after);
    }
};

} // namespace orvik::test

ORVIK_WINDOW_TEST_MAIN(orvik::test::ApplicationTest)

#include "application_test.moc"
