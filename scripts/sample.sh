#!/usr/bin/env bash
# Builds the toolkit and runs its main job on the sample help file that ships
# with it: the whole text as an RTF document (build-sample/quillon-guide.rtf)
# and, on standard output, as plain text.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh cmake make g++
cmake -S . -B build-sample -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF -DQUILLON_BENCHMARKS=OFF >/dev/null
cmake --build build-sample -j"$(nproc)" >/dev/null
build-sample/bin/hlp2rtf -o build-sample/quillon-guide.rtf samples/quillon-guide.hlp
build-sample/bin/hlp2rtf --text samples/quillon-guide.hlp
echo "RTF document: build-sample/quillon-guide.rtf"
