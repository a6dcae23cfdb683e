#!/usr/bin/env bash
# Builds Orvik and launches its window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target orvik
exec build/app/orvik "$@"
