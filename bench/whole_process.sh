#!/bin/bash
# Times the programs' whole processes on large help files: hlp2rtf's full
# export with pictures (-o F.rtf -p DIR, written over the files of the run
# before, as when a file is exported again), its plain text (-t), saldir and
# vorlen.  The figures: the median wall time of RUNS runs (hyperfine when
# installed, else bash's clock around each run), the mean user + system time
# (hyperfine), the largest resident size of three runs (/usr/bin/time), and
# with --callgrind the instructions of one run (valgrind).
#
#   bench/whole_process.sh [--callgrind] BUILD_DIR [RUNS] [HELPFILE ...]
#
# Without help files: every file of 1 MB or more in the corpus, the generated
# large manuals (BUILD_DIR/bench/large*.hlp; cmake --build BUILD_DIR --target
# bench_linearity_data makes the 4 and 16 times larger ones) and MWBACKUP.HLP,
# a small 3.0 file.  Run it on a quiet machine: other work on the two cores
# shows in every figure.
set -euo pipefail
callgrind=0
if [ "${1:-}" = "--callgrind" ]; then callgrind=1; shift; fi
build="${1:?usage: bench/whole_process.sh [--callgrind] BUILD_DIR [RUNS] [HELPFILE ...]}"
runs="${2:-11}"
shift $(( $# >= 2 ? 2 : 1 ))
bin="$build/bin"
here="$(cd "$(dirname "$0")/.." && pwd)"
corpus="${QUILLON_CORPUS:-$here/../shared/corpus}"
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  if [ -d "$corpus/hlp" ]; then
    while IFS= read -r f; do files+=("$f"); done < <(find "$corpus/hlp" -type f -size +1023k | sort)
  fi
  for f in "$build"/bench/large.hlp "$build"/bench/large-x4.hlp "$build"/bench/large-x16.hlp \
    "$corpus/hlp/oemdisplay-tandy__MWBACKUP.HLP"; do
    [ -f "$f" ] && files+=("$f")
  done
fi
scratch="$build/whole-process"
mkdir -p "$scratch"

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One command: median wall ms, mean user + system ms (hyperfine only), the
# largest resident size of three runs, and (with --callgrind) instructions.
measure() {
  local label="$1"; shift
  local wall cpu="-" peak instructions="-"
  "$@" >/dev/null 2>&1 || true  # warm the page cache and make the files to write over
  if command -v hyperfine >/dev/null; then
    hyperfine -N -i -w 3 -r "$runs" --export-json "$scratch/run.json" "$(printf '%q ' "$@")" >/dev/null 2>&1
    read -r wall cpu < <(python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("%.2f %.2f" % (r["median"] * 1000, (r["user"] + r["system"]) * 1000))' "$scratch/run.json")
  else
    wall="$(for _ in $(seq "$runs"); do
      s=$EPOCHREALTIME; "$@" >/dev/null 2>&1 || true; e=$EPOCHREALTIME
      awk -v s="$s" -v e="$e" 'BEGIN { printf "%.2f\n", (e - s) * 1000 }'
    done | median)"
  fi
  peak="$(for _ in 1 2 3; do /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; done | sort -n | tail -1)"
  if [ "$callgrind" = 1 ]; then
    instructions="$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
      awk '/Collected/ { print $NF }')"
  fi
  printf '%-56s %9s %9s %8s %14s\n' "$label" "$wall" "$cpu" "$peak" "$instructions"
}

printf '%-56s %9s %9s %8s %14s\n' "command (file)" "wall ms" "cpu ms" "peak KB" "instructions"
measure "process start (hlp2rtf -h)" "$bin/hlp2rtf" -h
for f in "${files[@]}"; do
  name="$(basename "$f")"
  size="$(( $(stat -c %s "$f") / 1024 ))K"
  measure "hlp2rtf -o -p  $name ($size)" "$bin/hlp2rtf" -o "$scratch/$name.rtf" -p "$scratch/$name.pictures" "$f"
  measure "hlp2rtf -t     $name" "$bin/hlp2rtf" -t -o "$scratch/$name.txt" "$f"
  measure "saldir         $name" "$bin/saldir" "$f" lighthouse zzzz
  measure "vorlen         $name" "$bin/vorlen" "$f"
done
