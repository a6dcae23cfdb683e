// Shared helpers of the window tests: the test programs' entry point, and the helpers of
// tests/support (synthetic pictures, a folder for bitmaps, a shown window, the error
// reporter, pixel checks of the display bitmap).
#pragma once

#include "application.h"
#include "bitmap_folder.h"
#include "image_view.h"
#include "pictures.h"
#include "tform1.h"
#include "window_support.h"

#include <QTest>

// The entry point of a window test program: the application object, whose general error
// handler the tests exercise, then the one test class.
#define ORVIK_WINDOW_TEST_MAIN(TestClass)                                                          \
    int main(int argc, char** argv) {                                                              \
        orvik::OrvikApplication app(argc, argv);                                                   \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
