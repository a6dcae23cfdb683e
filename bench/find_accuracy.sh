#!/usr/bin/env bash
# The accuracy study of "Find objects": the synthetic ellipses, then scikit-image's coins
# against a reference outline made with scikit-image (bench/peer/coins_reference.py).
# Usage: bash bench/find_accuracy.sh [BUILD_DIR]   (a build configured with -DORVIK_BENCH=ON)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
cmake --build "$build" --target find_accuracy >/dev/null
run="$build/bench/find_accuracy"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "# Ellipses, 10 pictures of each polarity (320 x 240, 12 ellipses, blur 1.5, noise 10)"
"$run"
for scene in "--noise 0 --blur 0" "--noise 30 --blur 1" "--noise 20 --blur 2.5" \
             "--axes 4-8" "--axes 100-200 --pictures 3"; do
    echo "# Ellipses, $scene"
    "$run" $scene | tail -n +2
done

echo "# Touching pairs and triplets of near-discs (semi-axes 10-14), split, Auto polarity"
for clump in 2 3; do
    echo "# clumps of $clump"
    "$run" --clump "$clump" --axes 10-14 --split yes --polarity auto | tail -n +2
done
echo "# Touching pairs of ellipses (semi-axes 8-24), split"
"$run" --clump 2 --split yes | tail -n +2
echo "# Uneven light: vignette 0.5, greys 120 on 220; the global threshold, then the local one"
"$run" --vignette 0.5 --greys 120-220 | tail -n +2
"$run" --vignette 0.5 --greys 120-220 --threshold local --polarity auto | tail -n +2

echo "# Coins"
/usr/bin/python3 "$here/peer/coins_reference.py" "$work"
"$run" --picture "$work/coins.png" --truth "$work/coins-truth.png" --object white-on-black
echo "# Coins, local threshold, Auto polarity; then split too"
"$run" --picture "$work/coins.png" --truth "$work/coins-truth.png" --threshold local \
    --polarity auto | tail -n +2
"$run" --picture "$work/coins.png" --truth "$work/coins-truth.png" --threshold local \
    --polarity auto --split yes | tail -n +2
echo "# Coins, objects on the edges excluded"
"$run" --picture "$work/coins.png" --truth "$work/coins-truth.png" --object white-on-black \
    --exclude-edges yes | tail -n +2
