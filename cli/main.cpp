// orvik-cli: the headless analysis command.
#include "cli.h"
#include "io/formats.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

bool isPictureLibraryNoise(const QMessageLogContext& context) {
    const char* category = context.category != nullptr ? context.category : "";
    return std::strncmp(category, "qt.gui.imageio", 14) == 0 ||
           std::strncmp(category, "qt.imageformats", 15) == 0;
}

// The picture libraries' complaints about a broken file are noise beside the one message that
// names the file and the cause; every other toolkit message reaches standard error.
void keepPictureLibraryNoiseOut(QtMsgType type, const QMessageLogContext& context,
                                const QString& text) {
    if (type != QtFatalMsg && isPictureLibraryNoise(context)) return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(keepPictureLibraryNoiseOut);

    // The image reader finds its format plugins through the application object.
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Each picture's lines straight to the descriptor as soon as it is done, unbuffered: runs
    // side by side (xargs -P) into one file keep their lines whole, where a buffered stream
    // would hand them over in pieces that interleave.
    const orvik::cli::Sink sink{
        // Written whole, waiting while a slow reader keeps a non-blocking pipe full.
        [](const std::string& lines) {
            orvik::writeWhole(STDOUT_FILENO, lines.data(), lines.size());
        },
        [](const std::string& message) {
            std::fputs(message.c_str(), stderr);
            std::fflush(stderr);
        }};
    return orvik::cli::run(args, sink);
}
