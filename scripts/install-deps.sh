#!/usr/bin/env bash
# Installs the Debian 12 packages Orvik needs, but only the ones that are missing, so a second
# call costs a dpkg query and nothing else.
#   scripts/install-deps.sh            what building and running Orvik needs
#   scripts/install-deps.sh --test     also what building and running the tests needs (the
#                                      Python module's too), and the German locale
#                                      (de_DE.UTF-8) they run under in CI
#   scripts/install-deps.sh --bench    also what the benchmarks need
#   scripts/install-deps.sh --fuzz     also what the fuzzers need
#   scripts/install-deps.sh --look     also what looking at the real window needs
# Options combine: scripts/install-deps.sh --test --bench.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libtiff-dev zlib1g-dev
  libqt6gui6 libqt6widgets6 qt6-qpa-plugins
  libgl-dev libxkbcommon-dev
  fonts-dejavu-core
)
german=false
for arg in "$@"; do
  case "$arg" in
    --test) packages+=(libqt6test6 libgtest-dev locales
                       pybind11-dev python3-dev python3-numpy python3-pytest python3-pil
                       python3-skimage)
            german=true ;;
    --bench) packages+=(libbenchmark-dev python3-skimage python3-numpy) ;;
    --fuzz) packages+=(clang libclang-rt-14-dev libfuzzer-14-dev) ;;
    --look) packages+=(xvfb xdotool imagemagick x11-utils) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests also run as a German user's session does (decimal commas); its locale is made
# once, from the list the locales package keeps.
if $german && ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the locale de_DE.UTF-8"
  if grep -q '^# *de_DE\.UTF-8 UTF-8' /etc/locale.gen; then
    "${sudo[@]}" sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo[@]}" locale-gen >/dev/null
fi
