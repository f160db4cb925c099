#!/usr/bin/env bash
# Speed and memory of hlp2html over a collection: the corpus's help files,
# and copies of them many times over (each copy in a folder of its own, so
# that every file is converted), on 1 and on 2 cores (taskset); RUNS runs each, the
# median time and the largest peak resident memory (/usr/bin/time) reported.
# Every run writes into a fresh output folder (a second run would keep the
# sites it finds complete).  cpu-seconds (user + system, median) shows the work
# apart from what else the machine runs: on a shared machine the wall-clock
# speed-up is bounded by the cores free.
# The libraries go to QUILLON_BENCH_OUT (default: the temporary folder).  On
# an ext4 disk of a virtual machine, creating a site's many small files
# serialises in the file system; a tmpfs (/dev/shm) shows the conversion's
# own speed-up.
# Usage: bench/library.sh [BUILD_DIR] [RUNS] [COPIES ...]   (default: build 3 1 4 16)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"; runs="${2:-3}"; shift $(( $# > 2 ? 2 : $# )) || true
copies=("$@"); [ ${#copies[@]} -eq 0 ] && copies=(1 4 16)
corpus="${QUILLON_CORPUS:-../shared/corpus}"
[ -d "$corpus/hlp" ] || { echo "no corpus at $corpus" >&2; exit 1; }
program="$build/bin/hlp2html"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillon-library-bench.XXXXXX")"
out="$(mktemp -d "${QUILLON_BENCH_OUT:-${TMPDIR:-/tmp}}/quillon-library-out.XXXXXX")"
trap 'rm -rf "$work" "$out"' EXIT

printf '%-8s %-11s %-5s %-10s %-14s %-10s %-10s\n' copies help-files jobs seconds files/second cpu-seconds peak-MiB
for n in "${copies[@]}"; do
  input="$work/in-$n"
  for i in $(seq 1 "$n"); do mkdir -p "$input/copy$i"; cp "$corpus"/hlp/* "$input/copy$i/"; done
  files=$(find "$input" -type f | wc -l)
  for jobs in 1 2; do
    times=(); cpus=(); peak=0
    for r in $(seq 1 "$runs"); do
      rm -rf "$out/library"
      # N jobs on N cores: the process is held to the first N.
      taskset -c "0-$((jobs - 1))" /usr/bin/time -f '%e %M %U %S' -o "$work/time" \
        "$program" -q -j "$jobs" "$input" "$out/library" || true
      read -r seconds kib user system < "$work/time"
      times+=("$seconds"); cpus+=("$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')")
      [ "$kib" -gt "$peak" ] && peak=$kib
    done
    median=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(( (runs + 1) / 2 ))p")
    cpu=$(printf '%s\n' "${cpus[@]}" | sort -g | sed -n "$(( (runs + 1) / 2 ))p")
    printf '%-8s %-11s %-5s %-10s %-14s %-10s %-10s\n' "$n" "$files" "$jobs" "$median" \
      "$(awk -v f="$files" -v s="$median" 'BEGIN { printf "%.1f", (s > 0 ? f / s : 0) }')" "$cpu" \
      "$(awk -v k="$peak" 'BEGIN { printf "%.0f", k / 1024 }')"
  done
  rm -rf "$input"
done
