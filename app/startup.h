// The start-up sequence of the Orvik window program, from the intro to the end of the event loop.
#pragma once

#include "intro_window.h"

#include <QIcon>
#include <QString>
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

// Shows the intro, gives the application its title and icon, creates the main window "Form1"
// with its help command, and runs the event loop until the main window is closed. An error
// during start-up or escaping the loop is shown in the "Orvik" error box. Always returns 0.
int runOrvik(OrvikApplication& app, const StartupOptions& options = {});

} // namespace orvik
