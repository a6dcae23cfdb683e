// Hands an error that ends a window command to the installed error handler.
#include "command_guard.h"

#include <QtDebug>
#include <exception>
#include <utility>

namespace orvik {

namespace {

CommandErrorHandler& installedHandler() {
    static CommandErrorHandler handler;
    return handler;
}

void showCommandError(const QString& text) noexcept {
    try {
        if (const CommandErrorHandler& handler = installedHandler())
            handler(text);
        else
            qCritical().noquote() << text;
    } catch (...) {
        // Nothing sensible is left to do when showing the error fails too.
    }
}

} // namespace

CommandErrorHandler setCommandErrorHandler(CommandErrorHandler handler) {
    return std::exchange(installedHandler(), std::move(handler));
}

void runCommand(const std::function<void()>& command) noexcept {
    try {
        command();
    } catch (const std::exception& error) {
        showCommandError(QString::fromUtf8(error.what()));
    }
}

} // namespace orvik
