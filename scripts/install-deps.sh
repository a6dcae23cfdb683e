#!/usr/bin/env bash
# Installs the Debian 12 packages Orvik needs to build, test and run, but only
# the ones that are missing, so a second call costs a dpkg query and nothing else.
#   scripts/install-deps.sh            build, test and run
#   scripts/install-deps.sh --bench    also what the benchmarks need
#   scripts/install-deps.sh --fuzz     also what the fuzzers need
#   scripts/install-deps.sh --look     also what looking at the real window needs
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libtiff-dev
  libqt6gui6 libqt6widgets6 libqt6test6 qt6-qpa-plugins
  libgl-dev libxkbcommon-dev
  libgtest-dev libbenchmark-dev zlib1g-dev
  fonts-dejavu-core
)
for arg in "$@"; do
  case "$arg" in
    --bench) packages+=(python3-skimage python3-numpy) ;;
    --fuzz) packages+=(clang libclang-rt-14-dev libfuzzer-14-dev) ;;
    --look) packages+=(xvfb xdotool imagemagick x11-utils) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
