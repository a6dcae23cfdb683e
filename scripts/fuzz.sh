#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# build-fuzz/ and runs each for a bounded time. Fails on any crash, leak, hang, excessive
# allocation or sanitizer report; the input that caused it is kept in build-fuzz/artifacts/.
#   scripts/fuzz.sh                      every fuzzer for FUZZ_SECONDS (default 60) each, the
#                                        TIFF reader and the two readers of saved lists for half
#                                        of it (FUZZ_LIST_SECONDS)
#   FUZZ_SECONDS=600 scripts/fuzz.sh     longer runs
#   scripts/fuzz.sh load_image_fuzzer    only the named fuzzers
# Inputs that once crashed a fuzzer live in fuzz/corpus/<fuzzer>/ and are replayed first.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
# The TIFF reader and the readers of saved lists are small next to the loader and the engine:
# half the time each keeps the whole run short.
list_seconds="${FUZZ_LIST_SECONDS:-$(( (seconds + 1) / 2 ))}"
build=build-fuzz
testdata="${ORVIK_SHARED_TESTDATA:-$PWD/../shared/testdata}"
fuzzers=("$@")
[ ${#fuzzers[@]} -eq 0 ] &&
  fuzzers=(load_image_fuzzer load_tiff_fuzzer engine_fuzzer settings_fuzzer objects_fuzzer
           roiset_fuzzer)

bash scripts/install-deps.sh --fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVIK_FUZZ=ON -DORVIK_SANITIZE=ON -DORVIK_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${fuzzers[@]}" make_fuzz_seeds make_objects_seeds \
  make_tiff_seeds

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"

# Seeds of the loading fuzzer: generated pictures of every format and encoding, the crafted
# hostile bitmaps, and the BMP Suite when it is there.
seeds="$build/seeds/load_image_fuzzer"
rm -rf "$seeds"
if [ -d "$testdata/bmpsuite" ]; then
  "$build/fuzz/make_fuzz_seeds" "$seeds" "$testdata/bmpsuite"
else
  echo "fuzz.sh: no BMP Suite at $testdata/bmpsuite; seeding from generated pictures only" >&2
  "$build/fuzz/make_fuzz_seeds" "$seeds"
fi
# Seeds of the TIFF fuzzer: small files of every layout the reader takes.
rm -rf "$build/seeds/load_tiff_fuzzer"
"$build/fuzz/make_tiff_seeds" "$build/seeds/load_tiff_fuzzer" >/dev/null
mkdir -p "$build/seeds/engine_fuzzer"
# Seeds of the settings fuzzer: a saved result and a short recipe.
mkdir -p "$build/seeds/settings_fuzzer"
printf '%s\n' '{"file": "a.bmp", "width": 320, "height": 240, "box": [128, 96, 192, 144],' \
  ' "model": "standard", "object": "white-on-black", "fields": {"inertia": 10, "viscosity": 10,' \
  ' "tension": 40, "rigidity": 10, "form": 10, "radius": 100, "image": 30, "threshold": 100,' \
  ' "gradient": 0, "iterations": 100, "points": 32, "x1": 128, "y1": 96, "y2": 144, "x2": 192},' \
  ' "points": [[1.5, 2]], "error": null}' >"$build/seeds/settings_fuzzer/saved.json"
printf '%s\n' '{"model": "opened", "fields": {"tension": 500}}' >"$build/seeds/settings_fuzzer/recipe.json"
# Seeds of the list readers: a saved list, a single result and RoiSets, stored and deflated.
rm -rf "$build/seeds/objects_fuzzer" "$build/seeds/roiset_fuzzer"
"$build/fuzz/make_objects_seeds" "$build/seeds/objects_fuzzer" "$build/seeds/roiset_fuzzer"

status=0
for fuzzer in "${fuzzers[@]}"; do
  binary="$build/fuzz/$fuzzer"
  corpus="$build/corpus/$fuzzer"
  artifacts="$build/artifacts/$fuzzer"
  log="$build/logs/$fuzzer.log"
  regressions="fuzz/corpus/$fuzzer"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")" "$regressions"

  # Every input that once was a finding must run clean.
  mapfile -t kept < <(find "$regressions" -type f | sort)
  if [ ${#kept[@]} -gt 0 ]; then
    echo "== $fuzzer: replaying ${#kept[@]} kept inputs"
    if ! "$binary" -timeout=10 -rss_limit_mb=2560 "${kept[@]}" >"$log" 2>&1; then
      echo "fuzz.sh: $fuzzer fails on a kept input:" >&2
      tail -n 60 "$log" >&2
      status=1
      continue
    fi
  fi

  time="$seconds"
  case "$fuzzer" in load_tiff_fuzzer | objects_fuzzer | roiset_fuzzer) time="$list_seconds" ;; esac
  # The TIFF reader's inputs may be as long as a stack whose pages share one strip.
  length=()
  [ "$fuzzer" = load_tiff_fuzzer ] && length=(-max_len=16384)
  echo "== $fuzzer: fuzzing for $time s (log: $log)"
  if "$binary" -max_total_time="$time" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 "${length[@]}" \
       -artifact_prefix="$artifacts/" "$corpus" "$build/seeds/$fuzzer" "$regressions" \
       >"$log" 2>&1; then
    grep -E '^Done|stat::number_of_executed_units|stat::peak_rss_mb' "$log" | sed "s/^/   /"
  else
    echo "fuzz.sh: $fuzzer found a problem; the input is in $artifacts/" >&2
    grep -v -E '^#[0-9]+' "$log" | tail -n 80 >&2
    status=1
  fi
done
exit $status
