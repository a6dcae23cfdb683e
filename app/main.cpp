// Entry point of the Orvik window program.
#include "application.h"
#include "startup.h"

int main(int argc, char** argv) {
    orvik::OrvikApplication app(argc, argv);
    return orvik::runOrvik(app);
}
