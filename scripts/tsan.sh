#!/usr/bin/env bash
# ThreadSanitizer over the tests that run Orvik's threads: the worker pool, Find objects and the
# coupling, following and tracking, orvik-cli's --threads, and the frame store's read-back
# cache. Builds in build-tsan/ (a build of its own, without the Python module) and prints
# every report; exits non-zero on the first test binary that reports one.
#   bash scripts/tsan.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -G Ninja -DORVIK_TESTS=ON -DORVIK_PYTHON=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread
tests=(session_tests document_tests cli_tests image_tests)
cmake --build build-tsan -j "$(nproc)" --target "${tests[@]}"
export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp halt_on_error=0 exitcode=66"
for t in "${tests[@]}"; do
  binary=$(find build-tsan/tests -name "$t" -type f -perm -u+x | head -1)
  echo "== $t"
  "$binary" --gtest_brief=1
done
