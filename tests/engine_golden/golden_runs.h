// Full analyses of every contour model over a table of pictures and parameter sets, each
// reduced to hashes of every value the engine stores, so that a change of the engine that
// alters any stored bit of any run shows up against the recorded hashes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvik::golden {

// What one run leaves, reduced to hashes.
struct RunRecord {
    std::string name;
    std::uint64_t stepHash = 0; // every stored value after every step, through the Step* calls
    std::uint64_t runHash = 0;  // the same run through Run: every tenth step, the end, Draw
    std::int32_t iteration = 0; // Iteration at the end (where a failing step stopped)
    std::string error;          // the floating-point error's text, empty when none
};

// The names of the runs, in table order.
std::vector<std::string> runNames();

// Performs run number `index` of the table.
RunRecord performRun(std::size_t index);

// "name stepHash runHash iteration error", hashes as 16 hex digits, error "-" when none.
std::string formatRecord(const RunRecord& record);

// A hash of the C library's sin, cos, tan and atan over the arguments the engine feeds them.
// The recorded runs hold only where it matches: another libm (or another code path inside
// it, chosen by the processor) may round a last bit differently, and a contour run
// magnifies that into different hashes without any change of the engine.
std::uint64_t mathLibraryFingerprint();

// The golden file's line that names the fingerprint the runs were recorded with.
inline constexpr const char* kFingerprintTag = "# libm";

} // namespace orvik::golden
