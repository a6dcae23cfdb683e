// The route from a failed window command to the application's general error handler.
#pragma once

#include <QString>
#include <functional>

namespace orvik {

// Shows the text of an error that ended a command. The application installs its general
// error handler here; until it does, the text goes to the log.
using CommandErrorHandler = std::function<void(const QString& text)>;

// Installs `handler` and returns the one it replaces; an empty handler logs.
CommandErrorHandler setCommandErrorHandler(CommandErrorHandler handler);

// Runs one command started by a control event. An error (std::exception) ends the command
// and is handed to the error handler here, so that it never unwinds through the toolkit's
// own frames; what the command had done before the error stays done.
void runCommand(const std::function<void()>& command) noexcept;

} // namespace orvik
