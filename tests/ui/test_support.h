// Shared helpers of the window tests: the test classes' entry points, and the helpers of
// tests/support (synthetic pictures, a folder for bitmaps, a shown window, the error
// reporter, pixel checks of the display bitmap).
#pragma once

#include "application.h"
#include "bitmap_folder.h"
#include "image_view.h"
#include "pictures.h"
#include "tform1.h"
#include "window_support.h"

namespace orvik::test {

// Runs each test class; the results are added up in main.
int runApplicationTests(int argc, char** argv);
int runFieldsTests(int argc, char** argv);
int runCommandsTests(int argc, char** argv);
int runMouseTests(int argc, char** argv);
int runToolsTests(int argc, char** argv);
int runMenuTests(int argc, char** argv);
int runViewTests(int argc, char** argv);
int runResultsTests(int argc, char** argv);
int runUndoTests(int argc, char** argv);
int runOpenTests(int argc, char** argv);

} // namespace orvik::test
