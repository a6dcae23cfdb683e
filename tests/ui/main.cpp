// Runs every window test class under the application object, whose general error handler
// the tests exercise.
#include "application.h"
#include "test_support.h"

int main(int argc, char** argv) {
    orvik::OrvikApplication app(argc, argv);
    int failures = 0;
    failures += orvik::test::runApplicationTests(argc, argv);
    failures += orvik::test::runFieldsTests(argc, argv);
    failures += orvik::test::runCommandsTests(argc, argv);
    failures += orvik::test::runMouseTests(argc, argv);
    failures += orvik::test::runToolsTests(argc, argv);
    failures += orvik::test::runMenuTests(argc, argv);
    failures += orvik::test::runViewTests(argc, argv);
    failures += orvik::test::runResultsTests(argc, argv);
    failures += orvik::test::runUndoTests(argc, argv);
    failures += orvik::test::runOpenTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
