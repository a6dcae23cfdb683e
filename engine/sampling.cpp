// How the engine sees the image: the sampling rule through the window's binding, and the
// edge force built from it.
#include "kontur.h"
#include "kontur_internal.h"

namespace orvik {

namespace {

// Each thread samples the picture it bound: the window's thread the window's, a worker the
// object it is analysing (whose polarity may differ from its neighbour's).
thread_local ImageBinding imageBinding;

} // namespace

void BindImage(const ImageBinding& binding) {
    imageBinding = binding;
}

GreyView currentGreyView() {
    const ImageBinding& b = imageBinding;
    GreyView view;
    view.grey = b.GreyData ? b.GreyData->get() : nullptr;
    // Without a buffer nothing is inside, whatever the sizes say.
    if (view.grey != nullptr) {
        view.width = b.ImageWidth ? static_cast<std::uint32_t>(*b.ImageWidth) : 0;
        view.height = b.ImageHeight ? static_cast<std::uint32_t>(*b.ImageHeight) : 0;
    }
    // Outside the image reads as background; the window's default polarity is black on white.
    const bool blackOnWhite = b.BlackOnWhite ? *b.BlackOnWhite : true;
    view.outside = blackOnWhite ? 255 : 0;
    return view;
}

int Sample(std::int32_t x, std::int32_t y) {
    return greyLevel(currentGreyView(), x, y);
}

void EdgeForce(const KONTUR& k, std::int32_t x, std::int32_t y, float& fx, float& fy) {
    edgeForce<CheckedArithmetic>(currentGreyView(), k.GradientWeight, x, y, fx, fy);
}

} // namespace orvik
