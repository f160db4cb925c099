#!/usr/bin/env bash
# Runs the programs under valgrind's memcheck on every real-world and
# generated help file, and the SHG fuzz targets' stand-alone runners on the
# SHG files: no invalid read or write, no use of uninitialised values, no
# leak of any kind (definite, indirect, possible or still reachable).
#
# Usage: scripts/valgrind.sh [BUILD_DIR]
#   BUILD_DIR  a plain build with tests (default build/; configured and built
#              when it has no programs yet)
#
# Files: the shared corpus (QUILLON_CORPUS, default ../shared/corpus:
# hlp/, gid/, odd/, shg/), tests/data/real, the halibut files of the build,
# and the seeds the build made for the fuzz targets (help files and pictures
# from the fixture builders, the inputs of the faults fuzzing found).
# Prints one line per program and file that memcheck complained about, with
# its log in BUILD_DIR/valgrind/, then a count; exits 1 when there was any.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="${1:-$root/build}"

scripts/deps.sh valgrind cmake make g++ libgtest-dev halibut pkg-config libpng-dev libwmf-dev libexpat1-dev gsfonts \
  libarchive-dev libmspack-dev libssl-dev nlohmann-json3-dev zlib1g-dev
if [ ! -x "$build/bin/hlp2rtf" ] || [ ! -d "$build/fuzz/seeds" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=ON >/dev/null
  cmake --build "$build" -j"$(nproc)" >/dev/null
fi
bin="$build/bin"

corpus="${QUILLON_CORPUS:-}"
if [ -z "$corpus" ]; then
  for candidate in "$root/../shared/corpus" /work/shared/corpus; do
    [ -d "$candidate" ] && corpus="$candidate" && break
  done
fi

help_files=()
shg_files=()
add() {  # folder, glob: into help_files or shg_files by kind
  local folder="$1" kind="$2" f
  [ -d "$folder" ] || return 0
  while IFS= read -r -d '' f; do
    if [ "$kind" = shg ]; then shg_files+=("$f"); else help_files+=("$f"); fi
  done < <(find "$folder" -maxdepth 1 -type f ! -name '*.tsv' ! -name '*.md' -print0 | sort -z)
}
if [ -n "$corpus" ]; then
  add "$corpus/hlp" hlp
  add "$corpus/gid" hlp
  add "$corpus/odd" hlp
  add "$corpus/shg" shg
fi
while IFS= read -r -d '' f; do help_files+=("$f"); done < \
  <(find "$root/tests/data/real" -maxdepth 1 -type f -iname '*.hlp' -print0 | sort -z)
add "$build/halibut" hlp
while IFS= read -r -d '' f; do help_files+=("$f"); done < \
  <(find "$build/fuzz/seeds/hlp" -maxdepth 1 -type f \( -name 'built-*' -o -name 'regression-*' \) -print0 | sort -z)
add "$build/fuzz/seeds/shg" shg

logs="$build/valgrind"
rm -rf "$logs"
mkdir -p "$logs"
runs=0
bad=0
check() {  # name, program, arguments...
  local name="$1" log
  shift
  log="$logs/$(printf '%04d' "$runs")-$name.log"
  runs=$((runs + 1))
  local status=0
  nice valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
    --track-origins=yes --error-exitcode=99 --log-file="$log" "$@" >/dev/null 2>&1 </dev/null || status=$?
  # Other exit codes are the programs' own (gormish: 1 for no such topic).
  if [ "$status" -eq 99 ] || grep -q "ERROR SUMMARY: [1-9]" "$log"; then
    bad=$((bad + 1))
    echo "memcheck: $name: $* (see $log)"
  fi
}

for f in "${help_files[@]}"; do
  base="$(basename "$f")"
  check "fentro-$base" "$bin/fentro" "$f"
  check "vorlen-$base" "$bin/vorlen" "$f"
  check "vorlen-A-$base" "$bin/vorlen" "$f" m A
  check "lustav-$base" "$bin/lustav" "$f"
  check "daskol-$base" "$bin/daskol" "$f"
  check "pelivar-$base" "$bin/pelivar" "$f"
  check "gormish-$base" "$bin/gormish" "$f" contents
  check "saldir-$base" "$bin/saldir" "$f" the
  check "hlp2rtf-$base" "$bin/hlp2rtf" -o /dev/null "$f"
  check "hlp2rtf-text-$base" "$bin/hlp2rtf" -t -o /dev/null "$f"
done
# meront searches by a wildcard.
for folder in "$corpus/hlp" "$corpus/odd" "$build/halibut"; do
  [ -d "$folder" ] && check "meront-$(basename "$folder")" "$bin/meront" "$folder/*"
done
for f in "${shg_files[@]}"; do check "shg_import-$(basename "$f")" "$bin/fuzz_shg_import" "$f"; done
check "shg_export-seeds" "$bin/fuzz_shg_export" "$build/fuzz/seeds/shg_export"

echo "valgrind memcheck: $runs runs on ${#help_files[@]} help files and ${#shg_files[@]} SHG files, $bad with errors or leaks"
[ "$bad" -eq 0 ]
