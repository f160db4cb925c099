#!/usr/bin/env bash
# Builds the toolkit and runs it on the sample help file that ships with it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh cmake make g++
cmake -S . -B build-sample -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF -DQUILLON_BENCHMARKS=OFF >/dev/null
cmake --build build-sample -j"$(nproc)" >/dev/null
build-sample/bin/fentro samples/quillon-guide.hlp
