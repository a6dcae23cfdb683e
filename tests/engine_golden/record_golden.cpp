// Prints the hashes of every golden run, one line each, in the format of golden_hashes.txt:
//   engine_golden_record > tests/engine_golden/golden_hashes.txt
// Only for an engine whose results are meant to change; otherwise the test compares.
#include "golden_runs.h"

#include <cstdio>

int main() {
    std::puts("# name stepHash runHash iteration error -- written by engine_golden_record");
    std::printf("%s %016llx\n", orvik::golden::kFingerprintTag,
                static_cast<unsigned long long>(orvik::golden::mathLibraryFingerprint()));
    const auto names = orvik::golden::runNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        std::puts(orvik::golden::formatRecord(orvik::golden::performRun(i)).c_str());
    return 0;
}
