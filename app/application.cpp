// The application object and the general error handler.
#include "application.h"

#include "command_guard.h"

#include <QMessageBox>
#include <QSettings>
#include <exception>
#include <utility>

namespace orvik {

namespace {

ErrorReporter& installedReporter() {
    static ErrorReporter reporter;
    return reporter;
}

void showErrorBox(const QString& shownText) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Orvik"), shownText, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace

OrvikApplication::OrvikApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The display name follows the application name. Setting it explicitly would make
    // some window systems append " — Orvik" to every caption.
    setApplicationName(QStringLiteral("Orvik"));
    setApplicationVersion(QStringLiteral(ORVIK_VERSION));
    setCommandErrorHandler(&reportError);
    // The program keeps nothing between runs. Qt's own file dialog stores its history in the
    // user's settings when it closes, and nothing turns that off; so the user's settings
    // point at a folder that cannot be made, and a run writes nothing it was not asked to.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

OrvikApplication::~OrvikApplication() {
    setCommandErrorHandler({});
}

bool OrvikApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportError(QString::fromUtf8(error.what()));
        return false;
    }
}

void reportError(const QString& text) {
    const QString shown = withFullStop(text);
    if (const ErrorReporter& reporter = installedReporter())
        reporter(shown);
    else
        showErrorBox(shown);
}

ErrorReporter setErrorReporter(ErrorReporter reporter) {
    return std::exchange(installedReporter(), std::move(reporter));
}

} // namespace orvik
