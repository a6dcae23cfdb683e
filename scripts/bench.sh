#!/usr/bin/env bash
# Builds the benchmarks in a Release build (build-bench/), runs them all and prints every
# figure beside its reference measured in the same run. Takes a few minutes, most of it the
# scikit-image peer at 200 points and 32760 iterations.
#   scripts/bench.sh            everything
#   scripts/bench.sh --quick    fewer repetitions and a capped peer, for a quick look
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions=5
peer_options=()
if [ "${1:-}" = "--quick" ]; then
  repetitions=2
  peer_options+=(--max-iterations 1000)
elif [ -n "${1:-}" ]; then
  echo "usage: scripts/bench.sh [--quick]" >&2
  exit 2
fi

bash scripts/install-deps.sh --test --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVIK_BENCH=ON >/dev/null
cmake --build build-bench --target orvik_benchmarks -j "$(nproc)"

results=build-bench/bench-results
mkdir -p "$results"
export QT_QPA_PLATFORM=offscreen

# Runs one benchmark program, its JSON into $results/NAME.json, its console output into
# $results/NAME.log (shown when it fails).
run() {
  local name=$1
  shift
  echo "Running $name..."
  if ! "$@" --benchmark_out_format=json --benchmark_out="$results/$name.json" \
    >"$results/$name.log" 2>&1; then
    cat "$results/$name.log" >&2
    exit 1
  fi
}
run engine build-bench/bench/engine_bench --benchmark_repetitions="$repetitions"
run image build-bench/bench/image_bench --benchmark_repetitions="$repetitions"
run window build-bench/bench/window_bench
run session build-bench/bench/session_bench --benchmark_repetitions="$repetitions"
run objects build-bench/bench/objects_bench --benchmark_repetitions="$repetitions"
run follow build-bench/bench/follow_bench --benchmark_repetitions="$repetitions"
echo "Running the peer (scikit-image)..."
build-bench/bench/bench_picture "$results/disc.pgm"
# Debian's python3-skimage is installed for the system's own interpreter.
/usr/bin/python3 bench/peer/skimage_peer.py "${peer_options[@]}" "$results/disc.pgm" \
  >"$results/peer.json"

/usr/bin/python3 bench/summarise.py "$results"
