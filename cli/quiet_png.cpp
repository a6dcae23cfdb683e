// The PNG library's own error handler prints "libpng error: ..." on the C library's standard
// error before the picture reader names the file and says what is wrong with it; the toolkit's
// PNG reader gives the library no error handler of its own. orvik-cli's standard error holds
// its own messages only, so it stands in for the library's png_set_error_fn and, where no
// handler is given, hands the library one that says nothing and jumps back to the reader as the
// library's own would. The rest of the process's standard error is left as it is.
#include <dlfcn.h>

extern "C" {

using PngMessage = void (*)(void* png, const char* message);
using PngSetErrorFn = void (*)(void* png, void* errorData, PngMessage error, PngMessage warning);
using PngLongJump = void (*)(void* png, int value);

namespace {

// Back to where the reader set its jump, as the library's handler does after printing.
[[noreturn]] void quietError(void* png, const char*) {
    static const auto jump = reinterpret_cast<PngLongJump>(dlsym(RTLD_NEXT, "png_longjmp"));
    jump(png, 1);
    __builtin_unreachable();
}

} // namespace

void png_set_error_fn(void* png, void* errorData, PngMessage error, PngMessage warning) {
    static const auto library =
        reinterpret_cast<PngSetErrorFn>(dlsym(RTLD_NEXT, "png_set_error_fn"));
    library(png, errorData, error != nullptr ? error : quietError, warning);
}

} // extern "C"
