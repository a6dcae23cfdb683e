// The start-up sequence: intro, application title and icon, main window, help, event loop.
#include "startup.h"

#include "application.h"
#include "help_viewer.h"
#include "tform1.h"

#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>

namespace orvik {

QIcon applicationIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/MAINICON-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/MAINICON-16.png"), QSize(16, 16));
    return icon;
}

QString usageText() {
    return QStringLiteral(
        "Usage: orvik [PICTURE]\n"
        "Segments one object in a picture with an active contour, in a window.\n"
        "\n"
        "  PICTURE     a picture to open at start: BMP, or any other format the reader knows\n"
        "              (PNG, JPEG, TIFF, GIF...); further arguments are ignored\n"
        "  -h, --help  print this help and exit\n"
        "\n"
        "orvik-cli runs the same analysis without a window: orvik-cli --help.\n");
}

bool asksForUsage(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"));
}

QString fileToOpen(const QStringList& arguments, QString* note) {
    if (arguments.isEmpty()) return {};
    if (arguments.size() > 1 && note != nullptr)
        *note =
            QStringLiteral("orvik: opens one picture; ignoring: ") + arguments.mid(1).join(u' ');
    return arguments.first();
}

QPoint helpPlacement(const QRect& main, const QSize& help, const QRect& screen) {
    int x = main.right() + 1;
    if (x + help.width() - 1 > screen.right()) {
        x = main.left() - help.width();
        if (x < screen.left()) x = std::max(screen.left(), screen.right() + 1 - help.width());
    }
    const int y = std::clamp(main.top(), screen.top(),
                             std::max(screen.top(), screen.bottom() + 1 - help.height()));
    return {x, y};
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
        QObject::connect(&form, &TForm1::helpRequested, &form, [&form] {
            const bool opening = !helpIsOpen(form);
            HelpViewer* viewer = showHelp(form);
            // Beside the main window, not behind it.
            if (opening && form.screen() != nullptr)
                viewer->move(helpPlacement(form.frameGeometry(), viewer->frameGeometry().size(),
                                           form.screen()->availableGeometry()));
        });
        if (options.mainWindowCreated) options.mainWindowCreated(form);
        form.show();

        // A picture named on the command line opens once the window is up, exactly as one
        // chosen in the dialog.
        QString note;
        const QString file = fileToOpen(app.arguments().mid(1), &note);
        if (!note.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(note));
        if (!file.isEmpty())
            QTimer::singleShot(0, &form, [&form, file] { form.openImageFile(file); });
        app.exec();
    } catch (const std::exception& error) {
        reportError(QString::fromUtf8(error.what()));
    }
    return 0;
}

} // namespace orvik
