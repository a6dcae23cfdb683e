// The start-up sequence of the Orvik window program, from the intro to the end of the event loop.
#pragma once

#include "intro_window.h"

#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

namespace orvik {

class OrvikApplication;
class TForm1;

// The application icon "MAINICON": 32 x 32 and 16 x 16 pictures compiled into the program.
QIcon applicationIcon();

struct StartupOptions {
    // Where the intro picture comes from; a picture that can't be loaded skips the intro.
    QString introPicture = DefaultIntroPicture;
    // Called once the main window exists, before the event loop starts.
    std::function<void(TForm1&)> mainWindowCreated;
};

// What `orvik --help` prints on standard output.
QString usageText();

// True when the arguments after the program's name ask for the usage (--help or -h).
bool asksForUsage(const QStringList& arguments);

// The picture named on the command line (the arguments after the program's name), or an
// empty string; arguments after the first are ignored, with a note in `note`.
QString fileToOpen(const QStringList& arguments, QString* note);

// Where the help window (frame size `help`) goes beside a main window with frame `main` and
// its control panel at `panel`: to its right, else to its left, else over the picture left
// of the panel, narrowed to the room there; level with the main window's top, and always
// with its title bar on the screen.
QRect helpPlacement(const QRect& main, const QRect& panel, const QSize& help,
                    const QRect& screen);

// Shows the intro, gives the application its title and icon, creates the main window "Form1"
// with its help command, and runs the event loop until the main window is closed. An error
// during start-up or escaping the loop is shown in the "Orvik" error box. Always returns 0.
int runOrvik(OrvikApplication& app, const StartupOptions& options = {});

} // namespace orvik
