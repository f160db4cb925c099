#!/usr/bin/env bash
# Builds the toolkit twice, plainly and with AddressSanitizer and UBSan, and
# runs all tests in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs="$(nproc)"

run() {  # build-dir cmake-options...
  local dir="$1"; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

run build
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run build-asan -DQUILLON_SANITIZE=ON -DQUILLON_BENCHMARKS=OFF
echo "All tests passed."
