// Placeholder: replaced by the grey image store.
#include "grey_image.h"

namespace orvik {
GreyImage loadGreyImage(const QString&) { throw ImageLoadError("Bitmap image is not valid"); }
void refreshDisplay(GreyImage&) {}
} // namespace orvik
