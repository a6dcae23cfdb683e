#!/usr/bin/env bash
# A Slurm array job that runs orvik-cli over a list of pictures, each task on its own share.
#   sbatch --array=0-99 scripts/slurm-orvik.sh LIST OUT [orvik-cli options...]
# LIST holds one picture path a line. Task i of n (SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_COUNT)
# takes lines i+1, i+1+n, i+1+2n, ... and writes OUT/part-i.jsonl (its JSON Lines) and
# OUT/part-i.csv (its --table); files saved with --save FORMATS --out DIR land in DIR as in one
# run. Every task writes only its own files, so the tasks need nothing from one another; once
# all are done,
#   sort OUT/part-*.jsonl                                       all the JSON Lines
#   { head -n 1 OUT/part-0.csv; tail -q -n +2 OUT/part-*.csv; }  one table
# The options that take an object's settings (--objects FILE, --settings FILE) name files every
# node can read. orvik-cli is taken from ORVIK_CLI, else from the PATH; the objects of each
# picture run on the task's CPUs.
#SBATCH --job-name=orvik
#SBATCH --cpus-per-task=2
#SBATCH --output=orvik-%A_%a.log
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: sbatch --array=0-N scripts/slurm-orvik.sh LIST OUT [orvik-cli options...]" >&2
  exit 2
fi
list=$1
out=$2
shift 2
task=${SLURM_ARRAY_TASK_ID:?"not an array task: SLURM_ARRAY_TASK_ID is not set"}
count=${SLURM_ARRAY_TASK_COUNT:?"not an array task: SLURM_ARRAY_TASK_COUNT is not set"}
cli=${ORVIK_CLI:-orvik-cli}

mkdir -p "$out"
mapfile -t share < <(awk -v n="$count" -v i="$task" '(NR - 1) % n == i' "$list")
if [ ${#share[@]} -eq 0 ]; then
  # More tasks than pictures: an empty share still leaves its (empty) part.
  : >"$out/part-$task.jsonl"
  : >"$out/part-$task.csv"
  exit 0
fi
# Status 1 (an analysis ended with a floating-point error) still leaves every line and row;
# the task reports it, as orvik-cli does.
"$cli" --threads "${SLURM_CPUS_PER_TASK:-1}" --table "$out/part-$task.csv" "$@" \
  "${share[@]}" >"$out/part-$task.jsonl"
