// The application object: title "Orvik" and the general error handler.
#pragma once

#include <QApplication>

namespace orvik {

class OrvikApplication : public QApplication {
public:
    OrvikApplication(int& argc, char** argv);
};

} // namespace orvik
