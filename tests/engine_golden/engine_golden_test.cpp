// Compares every golden run with the hashes recorded in golden_hashes.txt. A difference
// means the engine stores some other value somewhere: a change meant to be invisible isn't.
#include "golden_runs.h"
#include "step_kernels.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace orvik::golden {
namespace {

// Recorded lines by run name.
std::map<std::string, std::string> recordedLines() {
    std::map<std::string, std::string> lines;
    std::ifstream file(ORVIK_GOLDEN_FILE);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        lines[line.substr(0, line.find(' '))] = line;
    }
    return lines;
}

TEST(EngineGolden, EveryRunIsRecordedAndNothingElse) {
    const auto recorded = recordedLines();
    ASSERT_FALSE(recorded.empty()) << "no golden hashes in " << ORVIK_GOLDEN_FILE;
    const auto names = runNames();
    EXPECT_EQ(recorded.size(), names.size());
    for (const std::string& name : names)
        EXPECT_TRUE(recorded.contains(name)) << name << " has no recorded hashes";
}

// The fingerprint the runs were recorded with, from the golden file's "# libm" line.
std::string recordedFingerprint() {
    std::ifstream file(ORVIK_GOLDEN_FILE);
    std::string line;
    const std::string tag = std::string(kFingerprintTag) + " ";
    while (std::getline(file, line))
        if (line.rfind(tag, 0) == 0) return line.substr(tag.size());
    return {};
}

std::string currentFingerprint() {
    char text[20];
    std::snprintf(text, sizeof text, "%016llx",
                  static_cast<unsigned long long>(mathLibraryFingerprint()));
    return text;
}

TEST(EngineGolden, TheFingerprintOfTheMathLibraryIsRecorded) {
    EXPECT_EQ(recordedFingerprint().size(), 16u)
        << "no '" << kFingerprintTag << "' line in " << ORVIK_GOLDEN_FILE;
}

class GoldenRun : public testing::TestWithParam<std::size_t> {};

TEST_P(GoldenRun, StoresTheRecordedValues) {
    static const auto recorded = recordedLines();
    static const bool sameLibrary = recordedFingerprint() == currentFingerprint();
    if (!sameLibrary)
        GTEST_SKIP() << "this C library's sin, cos, tan or atan round differently from the one "
                        "the runs were recorded with (fingerprint "
                     << currentFingerprint() << ", recorded " << recordedFingerprint()
                     << "): rerun engine_golden_record before and after an engine change here";
    const RunRecord record = performRun(GetParam());
    const auto found = recorded.find(record.name);
    ASSERT_NE(found, recorded.end()) << record.name << " has no recorded hashes";
    EXPECT_EQ(formatRecord(record), found->second);
}

INSTANTIATE_TEST_SUITE_P(AllRuns, GoldenRun, testing::Range<std::size_t>(0, runNames().size()),
                         [](const testing::TestParamInfo<std::size_t>& info) {
                             std::string name = runNames()[info.param];
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

// Whether this processor runs the named instruction set, asked independently of the steps'
// own choice.
bool processorRuns(const std::string& level) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    if (level == "x86-64-v4") return __builtin_cpu_supports("x86-64-v4");
    if (level == "x86-64-v3") return __builtin_cpu_supports("x86-64-v3");
#endif
    return level == "baseline";
}

// ORVIK_STEP_LEVEL picks the step kernels the runs above use (CTest runs this program once
// per set); a set the processor cannot run is skipped, and the runs use the best one it can.
TEST(StepLevel, TheRequestedSetIsInUse) {
    const char* wanted = std::getenv("ORVIK_STEP_LEVEL");
    if (wanted == nullptr) GTEST_SKIP() << "ORVIK_STEP_LEVEL is not set";
    if (!processorRuns(wanted))
        GTEST_SKIP() << "this processor does not run " << wanted << "; the runs used "
                     << activeKernels().name;
    EXPECT_STREQ(activeKernels().name, wanted);
}

} // namespace
} // namespace orvik::golden
