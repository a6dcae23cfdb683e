#!/usr/bin/env bash
# Builds Orvik and launches its window. Installs and builds only what that needs: no test
# programs, so none of their packages either.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DORVIK_TESTS=OFF
cmake --build build -j "$(nproc)" --target orvik
exec build/app/orvik "$@"
