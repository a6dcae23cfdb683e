// Entry point of the Orvik window.
#include "application.h"
#include "tform1.h"

int main(int argc, char** argv) {
    orvik::OrvikApplication app(argc, argv);
    orvik::TForm1 form;
    form.show();
    return app.exec();
}
