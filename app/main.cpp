// Entry point of the Orvik window program.
#include "application.h"
#include "startup.h"

#include <QString>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    // The usage is printed before the application object exists, so it needs no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (orvik::asksForUsage(arguments)) {
        std::fputs(orvik::usageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    orvik::OrvikApplication app(argc, argv);
    return orvik::runOrvik(app);
}
