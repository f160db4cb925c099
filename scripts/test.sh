#!/usr/bin/env bash
# Builds the toolkit twice, plainly and with AddressSanitizer and UBSan, and
# runs all tests in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs="$(nproc)"
# The browser test drives Debian's Chromium with puppeteer-core (no browser
# download); its packages come from the npm registry, pinned by the lock file.
command -v npm >/dev/null 2>&1 || scripts/deps.sh npm
(cd tests/browser && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error </dev/null) ||
  echo "note: npm packages of tests/browser not installed; the browser test will be skipped" >&2

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
