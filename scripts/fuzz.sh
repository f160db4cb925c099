#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer,
# UBSan and coverage feedback on all of the library) and runs each of them for
# a given time, at most two at a time, under nice.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET ...]
#   SECONDS  how long each target runs (default 60)
#   TARGET   container, topic, document, shg_import, shg_export, pictures, collection (default: all)
#
# The targets (fuzz/harness.h):
#   container   a help file: IFSOpen, every internal file read, titles,
#               nearest-title lookups, contexts, the keywords of every list,
#               |SYSTEM, IsSecondaryWindow, IsTopic
#   topic       a help file: HlpTopicOpen(7), the whole topic stream, seeks to
#               the titles' offsets each followed by a short enumeration
#   document    a help file through the document layer: the whole model,
#               topics one at a time, keyword lists, the contents file (the
#               input's tail), each topic's HTML
#   shg_import  an SHG file: SHGImportEx, the .bmp/.wmf files of its results,
#               SHGExport of its DIB and the import of that
#   shg_export  a DIB block and a hotspot list: SHGExport, then SHGImportEx of
#               the file written, which must give back pixels and hotspots
#   pictures    an SHG file through the picture layer: Decode, Png (libpng,
#               libwmf's gd device) and Svg (libwmf's SVG device)
#   collection  a file of a collection: the reader of archives, disc images
#               and compressed files (nested), and the catalogue's reading of
#               the help containers found
#
# Everything lives in build-fuzz/ (QUILLON_FUZZ_DIR):
#   seeds/<kind>/        remade on every run by bin/fuzz_seeds: files from the
#                        test fixture builders, the halibut files, the real
#                        files of tests/data/real and of the shared corpus
#                        (QUILLON_CORPUS, default ../shared/corpus), and the
#                        inputs of the faults found (tests/regressions)
#   corpus/<target>/     what each target found worth keeping; the next run
#                        starts from it
#   findings/<target>/   crash-*, leak-*, timeout-*, oom-* inputs
#   logs/<target>.log    libFuzzer's output
# At the end a line per target gives executions per second and the coverage
# (cov: edges, ft: features) libFuzzer reached.
#
# Exit status: 0 when every target ran its time without a finding; 1 when any
# crashed, leaked, hung (10 s for one input), ran out of memory or broke one of
# the harness's checks.  Reproduce a finding with build-fuzz/bin/fuzz_<target>
# FILE, or without clang with build/bin/fuzz_<target> FILE (the stand-alone
# runner of a plain build).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

seconds="${1:-60}"
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(container topic document shg_import shg_export pictures collection)
dir="${QUILLON_FUZZ_DIR:-$root/build-fuzz}"
jobs=2

scripts/deps.sh cmake make clang libclang-rt-14-dev halibut pkg-config libpng-dev libwmf-dev libexpat1-dev gsfonts \
  libarchive-dev libmspack-dev libssl-dev nlohmann-json3-dev

# ---- Build ---------------------------------------------------------------
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON \
  -DQUILLON_TESTS=OFF -DQUILLON_BENCHMARKS=OFF >/dev/null
build_targets=(fuzz_seeds)
for t in "${targets[@]}"; do build_targets+=("fuzz_$t"); done
cmake --build "$dir" -j"$(nproc)" --target "${build_targets[@]}" >/dev/null

# ---- Seeds ---------------------------------------------------------------
corpus="${QUILLON_CORPUS:-}"
if [ -z "$corpus" ]; then
  for candidate in "$root/../shared/corpus" /work/shared/corpus; do
    [ -d "$candidate" ] && corpus="$candidate" && break
  done
fi
sources=("$root/tests/data/real")
if command -v halibut >/dev/null 2>&1; then
  mkdir -p "$dir/halibut"
  for but in tests/data/halibut/*.but samples/*.but; do
    halibut --winhelp="$dir/halibut/$(basename "$but" .but).hlp" "$but" >/dev/null 2>&1 || true
  done
  sources+=("$dir/halibut")
fi
if [ -n "$corpus" ]; then
  for kind in hlp gid shg odd; do [ -d "$corpus/$kind" ] && sources+=("$corpus/$kind"); done
fi
rm -rf "$dir/seeds"
"$dir/bin/fuzz_seeds" "$dir/seeds" "${sources[@]}" >/dev/null

seed_kind() {
  case "$1" in
    container | topic | document) echo hlp ;;
    shg_import | pictures) echo shg ;;
    shg_export) echo shg_export ;;
    collection) echo collection ;;
  esac
}
# The longest input, the dictionary and the largest single allocation of a
# target.  A help file of 128 KiB needs a few MiB at most: more is a declared
# size trusted before its bytes were seen.  An SHG file of a few bytes may
# declare a picture of 2 GiB, which the import allocates (untouched).
options() {
  case "$1" in
    container | topic | document) echo "-max_len=131072 -dict=$root/fuzz/hlp.dict -malloc_limit_mb=256" ;;
    shg_import | pictures) echo "-max_len=98304 -dict=$root/fuzz/shg.dict -malloc_limit_mb=2560" ;;
    shg_export) echo "-max_len=65536 -dict=$root/fuzz/shg.dict -malloc_limit_mb=2560" ;;
    # Files are taken to 4 MiB each and 16 MiB in all (the harness's bounds).
    collection) echo "-max_len=131072 -malloc_limit_mb=512" ;;
  esac
}

# ---- Runs ----------------------------------------------------------------
mkdir -p "$dir/logs"
run() {  # target
  local t="$1" kind
  kind="$(seed_kind "$t")"
  mkdir -p "$dir/corpus/$t" "$dir/findings/$t"
  local status=0
  # shellcheck disable=SC2046
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    nice -n 10 "$dir/bin/fuzz_$t" $(options "$t") -rss_limit_mb=2560 -timeout=10 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/findings/$t/" \
    "$dir/corpus/$t" "$dir/seeds/$kind" >"$dir/logs/$t.log" 2>&1 || status=$?
  echo "$status" >"$dir/logs/$t.status"
}

for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  echo "fuzzing $t for ${seconds} s" >&2
  rm -f "$dir/logs/$t.status"
  run "$t" &
done
wait
failed=0
for t in "${targets[@]}"; do
  if [ "$(cat "$dir/logs/$t.status" 2>/dev/null || echo 1)" != 0 ]; then
    failed=1
    echo "FINDING in $t: see $dir/logs/$t.log and $dir/findings/$t/" >&2
    grep -m1 -E "ERROR|runtime error|broken promise" "$dir/logs/$t.log" >&2 || true
  fi
done

# ---- Summary -------------------------------------------------------------
printf '%-11s %9s %7s %8s %9s %s\n' target runs exec/s cov ft corpus
for t in "${targets[@]}"; do
  log="$dir/logs/$t.log"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
  last="$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)"
  cov="$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")"
  ft="$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")"
  files="$(find "$dir/corpus/$t" -type f | wc -l)"
  printf '%-11s %9s %7s %8s %9s %s\n' "$t" "${runs:--}" "${speed:--}" "${cov:--}" "${ft:--}" "$files"
done
exit "$failed"
