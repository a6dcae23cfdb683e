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

QRect helpPlacement(const QRect& main, const QRect& panel, const QSize& help, const QRect& screen) {
    QSize size = help.boundedTo(screen.size());
    int x = main.right() + 1;
    if (x + size.width() - 1 > screen.right()) {
        x = main.left() - size.width();
        if (x < screen.left()) {
            // No room beside the window: over the picture, ending where the panel begins.
            const int room = std::max(panel.left() - screen.left(), 0);
            constexpr int narrowest = 320;
            size.setWidth(std::clamp(room, std::min(narrowest, size.width()), size.width()));
            x = std::max(screen.left(), panel.left() - size.width());
        }
    }
    const int y = std::clamp(main.top(), screen.top(),
                             std::max(screen.top(), screen.bottom() + 1 - size.height()));
    return {QPoint(x, y), size};
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
            // Beside the main window, not behind it, and never over its panel.
            if (opening && form.screen() != nullptr) {
                const QRect panel(form.Panel3->mapToGlobal(QPoint(0, 0)), form.Panel3->size());
                const QSize frame = viewer->frameGeometry().size() - viewer->size();
                const QRect place =
                    helpPlacement(form.frameGeometry(), panel, viewer->frameGeometry().size(),
                                  form.screen()->availableGeometry());
                viewer->resize(place.size() - frame);
                viewer->move(place.topLeft());
            }
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
