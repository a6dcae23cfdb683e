#!/usr/bin/env bash
# Builds Orvik and runs every test.
#   scripts/test.sh                  normal build in build/
#   scripts/test.sh --sanitize       AddressSanitizer + UndefinedBehaviorSanitizer build in
#                                    build-asan/
#   scripts/test.sh --scaled-german  the tests run as on another desktop: the Windows style, a
#                                    screen scaled by 150 %, fonts at 120 dpi and a German
#                                    locale (decimal commas); combines with --sanitize
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
options=(-DORVIK_TESTS=ON)
desktop=()
for arg in "$@"; do
  case "$arg" in
    --sanitize)
      build=build-asan
      options+=(-DORVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
      export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
      export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
      export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"
      ;;
    --scaled-german)
      desktop=(QT_STYLE_OVERRIDE=Windows QT_SCALE_FACTOR=1.5 QT_FONT_DPI=120 LC_ALL=de_DE.UTF-8)
      ;;
    *)
      echo "usage: scripts/test.sh [--sanitize] [--scaled-german]" >&2
      exit 2
      ;;
  esac
done

# --test also makes the German locale.
bash scripts/install-deps.sh --test
cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
[ ${#desktop[@]} -gt 0 ] && echo "Testing under ${desktop[*]}"
env "${desktop[@]}" ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
