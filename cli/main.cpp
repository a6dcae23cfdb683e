// orvik-cli: the headless analysis command.
#include "cli.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    // The image reader finds its format plugins through the application object.
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const orvik::cli::Outcome outcome = orvik::cli::run(args);
    std::fputs(outcome.output.c_str(), stdout);
    std::fputs(outcome.error.c_str(), stderr);
    return outcome.exitCode;
}
