#!/usr/bin/env bash
# Installs the Debian packages the build and the tests use, when missing.
# Usage: scripts/deps.sh [package ...]   (the default set when none is given)
set -euo pipefail

packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
  packages=(cmake make g++ libgtest-dev libbenchmark-dev halibut unrtf binutils pkg-config dpkg-dev file groff-base
            libncurses-dev tmux libpng-dev libwmf-dev libexpat1-dev gsfonts chromium fonts-dejavu-core nodejs
            python3-dev pybind11-dev python3-pytest python3-pil libreoffice-writer-nogui poppler-utils
            libarchive-dev libmspack-dev libssl-dev nlohmann-json3-dev zlib1g-dev zip xorriso
            python3-dask python3-distributed)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 && sudo="sudo" || { echo "need root to install ${missing[*]}" >&2; exit 1; }
fi
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}" </dev/null >/dev/null 2>&1; then
  $sudo apt-get update </dev/null >/dev/null 2>&1 || true
  $sudo apt-get install -y --no-install-recommends "${missing[@]}" </dev/null
fi
