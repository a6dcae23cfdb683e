#!/usr/bin/env bash
# orvik-cli as a whole process, the figures of "orvik-cli at the speed of its engine" in
# README.md: CPU and wall time, peak memory, and the same output checked byte for byte, for
# this build's orvik-cli and, when given, an earlier one in the same run.
#
#   bash bench/cli_bench.sh BUILD [BEFORE_CLI] [ROUNDS]
#
# BUILD is a build folder configured with -DORVIK_BENCH=ON (orvik-cli and cli_pictures are
# built in it first); BEFORE_CLI an orvik-cli built from an earlier commit. Every case runs
# ROUNDS times (default 5), the two binaries one after the other in each round, so that both
# meet the same load; each figure printed is the least of its rounds.
set -euo pipefail
build=${1:?usage: cli_bench.sh BUILD [BEFORE_CLI] [ROUNDS]}
before=${2:-}
rounds=${3:-5}
cmake --build "$build" --target orvik-cli cli_pictures >/dev/null
after="$build/cli/orvik-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/cli_pictures" movie "$work/movie100.tif" 100 >/dev/null
"$build/bench/cli_pictures" movie "$work/movie500.tif" 500 >/dev/null
"$build/bench/cli_pictures" discs "$work/discs.png"

# One run of a command: "cpu_seconds wall_seconds peak_kB" (the child's own rusage, to the
# microsecond), its output kept in the file given first.
run() {
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
out = open(sys.argv[1], "wb")
start = time.perf_counter()
subprocess.run(sys.argv[2:], stdout=out, stderr=subprocess.DEVNULL)
wall = time.perf_counter() - start
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{r.ru_utime + r.ru_stime:.4f} {wall:.4f} {r.ru_maxrss}")
PY
}

stack=(--find-objects --threshold auto --iterations 100)
declare -A command=(
    [s32]="${stack[*]} --points 32 --threads 1 $work/movie100.tif"
    [s200]="${stack[*]} --points 200 --threads 1 $work/movie100.tif"
    [s32t2]="${stack[*]} --points 32 --threads 2 $work/movie100.tif"
    [d1]="--find-objects --threshold auto --threads 1 $work/discs.png"
    [d2]="--find-objects --threshold auto --threads 2 $work/discs.png"
    [s500]="${stack[*]} --points 32 --threads 1 $work/movie500.tif"
)
cases=(s32 s200 s32t2 d1 d2 s500)

echo "load average at the start: $(cat /proc/loadavg)"
for round in $(seq "$rounds"); do
    for c in "${cases[@]}"; do
        # shellcheck disable=SC2086
        run "$work/out-a-$c" "$after" ${command[$c]} >>"$work/a-$c"
        # shellcheck disable=SC2086
        [ -z "$before" ] || run "$work/out-b-$c" "$before" ${command[$c]} >>"$work/b-$c"
    done
done
echo "load average at the end: $(cat /proc/loadavg)"

# Each figure is the least of its rounds (the least disturbed), CPU, wall and peak apart.
fig() { cut -d' ' -f"$2" "$work/$1" | sort -g | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
same() { cmp -s "$work/out-$1" "$work/out-$2" && echo yes || echo NO; }

declare -A name=(
    [s32]="stack 512x512x100, 32 points, 1 thread" [s200]="stack, 200 points, 1 thread"
    [s32t2]="stack, 32 points, 2 threads" [d1]="4000x4000 discs, 1 thread"
    [d2]="4000x4000 discs, 2 threads" [s500]="stack 512x512x500, 1 thread"
)
printf '\n%-7s %-40s %9s %9s %10s\n' "" case "CPU s" "wall s" "peak kB"
for side in a b; do
    [ "$side" = a ] || [ -n "$before" ] || continue
    for c in "${cases[@]}"; do
        cpu=$(fig "$side-$c" 1) wall=$(fig "$side-$c" 2) peak=$(fig "$side-$c" 3)
        printf '%-7s %-40s %9.3f %9.3f %10d\n' "$([ $side = a ] && echo after || echo before)" \
            "${name[$c]}" "$cpu" "$wall" "$peak"
    done
done
samples=$((500 * 512 * 512 * 2))
echo
echo "same output on 1 and 2 threads: stack $(same a-s32 a-s32t2), discs $(same a-d1 a-d2)"
echo "200 / 32 points, CPU: $(ratio "$(fig a-s200 1)" "$(fig a-s32 1)")"
echo "1 / 2 threads, wall: stack $(ratio "$(fig a-s32 2)" "$(fig a-s32t2 2)"), discs $(ratio "$(fig a-d1 2)" "$(fig a-d2 2)")"
echo "stack of 500 frames: peak $(ratio "$(($(fig a-s500 3) * 1024))" "$samples") x its samples"
if [ -n "$before" ]; then
    echo "same output as before: stack $(same a-s32 b-s32), 200 points $(same a-s200 b-s200)," \
        "discs $(same a-d1 b-d1), 500 frames $(same a-s500 b-s500)"
    echo "after / before, CPU: stack $(ratio "$(fig a-s32 1)" "$(fig b-s32 1)")," \
        "200 points $(ratio "$(fig a-s200 1)" "$(fig b-s200 1)"), discs $(ratio "$(fig a-d1 1)" "$(fig b-d1 1)")," \
        "500 frames $(ratio "$(fig a-s500 1)" "$(fig b-s500 1)")"
    echo "before: 200 / 32 points $(ratio "$(fig b-s200 1)" "$(fig b-s32 1)"); 1 / 2 threads, wall:" \
        "stack $(ratio "$(fig b-s32 2)" "$(fig b-s32t2 2)"), discs $(ratio "$(fig b-d1 2)" "$(fig b-d2 2)");" \
        "500 frames peak $(ratio "$(($(fig b-s500 3) * 1024))" "$samples") x its samples"
fi
