// The start-up sequence: intro, application title and icon, main window, help, event loop.
#include "startup.h"

#include "application.h"
#include "help_viewer.h"
#include "tform1.h"

#include <exception>

namespace orvik {

QIcon applicationIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/MAINICON-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/MAINICON-16.png"), QSize(16, 16));
    return icon;
}

int runOrvik(OrvikApplication& app, const StartupOptions& options) {
    try {
        ShowIntro(options.introPicture);

        app.setApplicationName(QStringLiteral("Orvik"));
        // The desktop entry orvik.desktop describes this program; the icon covers every window.
        app.setDesktopFileName(QStringLiteral("orvik"));
        app.setWindowIcon(applicationIcon());
        // The application object has no help file of its own: help is the main window's button.

        TForm1 form;
        QObject::connect(&form, &TForm1::helpRequested, &form, [&form] { showHelp(form); });
        if (options.mainWindowCreated) options.mainWindowCreated(form);
        form.show();
        app.exec();
    } catch (const std::exception& error) {
        reportError(QString::fromUtf8(error.what()));
    }
    return 0;
}

} // namespace orvik
