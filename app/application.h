// The application object with the title "Orvik" and the general error handler that shows
// the message of a command that failed.
#pragma once

#include "core/full_stop.h"

#include <QApplication>
#include <QString>
#include <functional>

namespace orvik {

// Installs itself as the window's command error handler: every error that ends a command
// is shown through reportError, and the event loop goes on.
class OrvikApplication : public QApplication {
    Q_OBJECT
public:
    OrvikApplication(int& argc, char** argv);
    ~OrvikApplication() override;

    // An exception (std::exception) that leaves an event handler is reported through
    // reportError; the event counts as not handled.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows withFullStop(text) in a message box captioned "Orvik", with an error icon and an
// OK button, or hands it to the reporter a test installed.
void reportError(const QString& text);

// Replaces the message box (an empty reporter brings it back); returns the previous one.
using ErrorReporter = std::function<void(const QString& shownText)>;
ErrorReporter setErrorReporter(ErrorReporter reporter);

} // namespace orvik
