// Placeholder application object.
#include "application.h"

namespace orvik {
OrvikApplication::OrvikApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Orvik");
}
} // namespace orvik
