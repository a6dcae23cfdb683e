// Placeholder window until the real one lands.
#include "tform1.h"

namespace orvik {
TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setWindowTitle("Orvik");
}
} // namespace orvik
