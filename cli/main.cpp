// orvik-cli: the headless analysis command.
#include "cli.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <cstring>

namespace {

// orvik-cli's own standard error. The picture libraries' complaints about a broken file are
// noise beside the one message that names the file and the cause, so they go elsewhere.
FILE* ownErrors = stderr;

bool isPictureLibraryNoise(const QMessageLogContext& context) {
    const char* category = context.category != nullptr ? context.category : "";
    return std::strncmp(category, "qt.gui.imageio", 14) == 0 ||
           std::strncmp(category, "qt.imageformats", 15) == 0;
}

void keepPictureLibraryNoiseOut(QtMsgType type, const QMessageLogContext& context,
                                const QString& text) {
    if (type != QtFatalMsg && isPictureLibraryNoise(context)) return;
    std::fprintf(ownErrors, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    std::fflush(ownErrors);
}

} // namespace

int main(int argc, char** argv) {
    // The PNG library prints its errors to the C library's stderr itself, past the toolkit's
    // messages; the C library lets that stream be swapped for a sink. Everything of
    // orvik-cli's own, and every other toolkit message, still reaches standard error.
    if (FILE* sink = std::fopen("/dev/null", "w")) stderr = sink;
    qInstallMessageHandler(keepPictureLibraryNoiseOut);

    // The image reader finds its format plugins through the application object.
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Each picture's lines in one write as soon as it is done: runs side by side (xargs -P)
    // into one file keep their lines whole, where a buffered stream would hand them over in
    // pieces that interleave.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const orvik::cli::Sink sink{
        [](const std::string& lines) { std::fwrite(lines.data(), 1, lines.size(), stdout); },
        [](const std::string& message) {
            std::fputs(message.c_str(), ownErrors);
            std::fflush(ownErrors);
        }};
    return orvik::cli::run(args, sink);
}
