#!/usr/bin/env bash
# Builds the toolkit and runs its main job on the sample help file that ships
# with it: the whole help file as a linked HTML site (build-sample/site/
# quillon-guide/index.html), as an RTF document (build-sample/quillon-guide.rtf)
# and, on standard output, as plain text.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh cmake make g++ pkg-config libpng-dev libwmf-dev libexpat1-dev gsfonts \
  libarchive-dev libmspack-dev libssl-dev nlohmann-json3-dev
cmake -S . -B build-sample -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF -DQUILLON_BENCHMARKS=OFF >/dev/null
cmake --build build-sample -j"$(nproc)" >/dev/null
build-sample/bin/hlp2html samples/quillon-guide.hlp build-sample/site/quillon-guide
build-sample/bin/hlp2rtf -o build-sample/quillon-guide.rtf samples/quillon-guide.hlp
build-sample/bin/hlp2rtf --text samples/quillon-guide.hlp
echo "Site: build-sample/site/quillon-guide/index.html (open it in a browser)"
echo "RTF document: build-sample/quillon-guide.rtf"
