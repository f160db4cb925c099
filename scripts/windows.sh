#!/usr/bin/env bash
# Builds the toolkit for Windows with Debian's mingw-w64, 32-bit and 64-bit,
# and checks both: the DLL's export table and calling convention, the
# programs' imports, corvat's dialog resource; then runs the 64-bit programs
# under wine over the corpus and compares their output with that of the Linux
# programs.  32-bit Windows programs cannot run on this kind of machine (its
# kernel runs no 32-bit code), so the 32-bit build is checked statically only.
#
#   scripts/windows.sh     build-win32/, build-win64/ (and build/ for Linux)
#
# Installs what it needs; prints the time of each step.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
started=$SECONDS
step() {  # NAME: ends the previous step's clock
  echo "== $1 (at ${SECONDS}s)"
}

step "install"
scripts/deps.sh
scripts/deps.sh g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine64
install_time=$((SECONDS - started))

# The Linux programs the Windows ones are compared with, in the build folder
# of scripts/test.sh (same options, so the two share it).
step "Linux programs"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=ON > /dev/null
programs="fentro vorlen lustav daskol pelivar gormish meront saldir corvat hlp2rtf"
# shellcheck disable=SC2086
cmake --build build -j"$jobs" --target $programs platform_cases > /dev/null

build_time=0
for variant in i686 x86_64; do
  dir=build-win$([ "$variant" = i686 ] && echo 32 || echo 64)
  step "Windows $variant: $dir"
  before=$SECONDS
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-$variant.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=ON -DQUILLON_BENCHMARKS=OFF \
    -DQUILLON_LINUX_PROGRAMS="$PWD/build/bin" > /dev/null
  cmake --build "$dir" -j"$jobs" > /dev/null
  build_time=$((build_time + SECONDS - before))
done

test_time=$SECONDS
step "checks, 32-bit"
(cd build-win32 && ctest -L windows --output-on-failure -j"$jobs")
step "checks and wine runs, 64-bit"
(cd build-win64 && ctest -L windows --output-on-failure -j"$jobs")
# What the comparisons found, from the tests' log.
grep -E '^(note: |  (ours|system): |[a-z0-9]+: [0-9]+ corpus files|formatter and MulDiv|lstrcmpiA: )' \
  build-win64/Testing/Temporary/LastTest.log || true
test_time=$((SECONDS - test_time))
echo "Windows builds checked: install ${install_time}s, builds ${build_time}s, checks and wine runs ${test_time}s," \
  "$((SECONDS - started))s in all."
