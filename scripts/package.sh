#!/usr/bin/env bash
# Builds the Debian package with CPack (cpack -G DEB) in build-package/ and
# checks it: its dependencies and files, then unpacks it into a scratch root
# (dpkg -x) and runs its tools from there on the sample help file.
# Usage: scripts/package.sh   (prints the path of the .deb at the end)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh cmake make g++ dpkg-dev file binutils python3-dev pybind11-dev pkg-config libpng-dev libwmf-dev \
  libexpat1-dev gsfonts libarchive-dev libmspack-dev libssl-dev nlohmann-json3-dev
dir=build-package

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Configured for /usr, so that the libraries go to /usr/lib/<multiarch>; the
# Python module for Debian's interpreter, whatever python3 comes first in PATH,
# so that it lands in /usr/lib/python3/dist-packages.
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUILLON_TESTS=OFF -DQUILLON_BENCHMARKS=OFF -DPython3_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build "$dir" -j"$(nproc)" >/dev/null
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log"; fail "cpack failed"; }
debs=("$dir"/quillon_*.deb)
{ [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ]; } || fail "cpack made no single quillon .deb"
deb="${debs[0]}"

# ---- Control data ----------------------------------------------------------
arch="$(dpkg --print-architecture)"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "not a package for $arch"
depends="$(dpkg-deb -f "$deb" Depends)"

# ---- Files -----------------------------------------------------------------
root="$dir/scratch-root"
rm -rf "$root"
dpkg -x "$deb" "$root"
lib="$root/usr/lib/$multiarch"
# Depends names libc6, and the C++ run-time's packages when a binary loads
# them (the build links the run-time in, see the top CMakeLists.txt).
elves=()  # the compiled programs (quillon-library is a Python script)
for binary in "$root"/usr/bin/*; do file -L "$binary" | grep -q ELF && elves+=("$binary"); done
needed="$(objdump -p "$lib"/lib*.so.1.0.0 "${elves[@]}" | awk '$1 == "NEEDED" { print $2 }' | sort -u)"
required=(libc6)
if grep -q '^libstdc++' <<<"$needed"; then required+=(libstdc++6); fi
if grep -q '^libgcc_s' <<<"$needed"; then required+=(libgcc-s1); fi
for library in "${required[@]}"; do
  tr ',' '\n' <<<"$depends" | awk '{ print $1 }' | grep -qx "$library" || fail "Depends lacks $library: $depends"
done
# The programs: one folder each under programs/ (the build's bin/ also holds
# the fuzz runners, which are not installed).
mapfile -t programs < <(cd programs && for p in */; do p="${p%/}"; [ -x "../$dir/bin/$p" ] && echo "$p"; done)
[ "${#programs[@]}" -ge 10 ] || fail "only ${#programs[@]} programs built"
{ [ -f "$lib/libmarlet.so.1.0.0" ] && [ -L "$lib/libmarlet.so.1" ] && [ -L "$lib/libmarlet.so" ]; } ||
  fail "libmarlet.so.1.0.0 or its links missing in /usr/lib/$multiarch"
{ [ -f "$lib/libquillon-platform.so.1.0.0" ] && [ -L "$lib/libquillon-platform.so.1" ]; } ||
  fail "libquillon-platform.so.1.0.0 or its link missing in /usr/lib/$multiarch"
for file in usr/include/marlet/marlet.h usr/include/quillon/platform.h \
  "usr/lib/$multiarch/pkgconfig/marlet.pc" "usr/lib/$multiarch/cmake/marlet/marletConfig.cmake"; do
  [ -f "$root/$file" ] || fail "/$file missing"
done
grep -qx 'prefix=/usr' "$lib/pkgconfig/marlet.pc" || fail "marlet.pc does not name /usr"
for program in "${programs[@]}"; do
  [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program missing"
  [ -f "$root/usr/share/man/man1/$program.1.gz" ] || fail "/usr/share/man/man1/$program.1.gz missing"
done
# The Python module, for Debian's interpreter.
site="$root/usr/lib/python3/dist-packages/quillon"
modules=("$site"/_quillon.*.so)
{ [ ${#modules[@]} -eq 1 ] && [ -f "${modules[0]}" ]; } || fail "/usr/lib/python3/dist-packages/quillon/_quillon.*.so missing"
for file in __init__.py __init__.pyi _types.py py.typed library.py; do
  [ -f "$site/$file" ] || fail "/usr/lib/python3/dist-packages/quillon/$file missing"
done
libraries=("$site"/_library.*.so)
{ [ ${#libraries[@]} -eq 1 ] && [ -f "${libraries[0]}" ]; } || fail "/usr/lib/python3/dist-packages/quillon/_library.*.so missing"
[ -x "$root/usr/bin/quillon-library" ] || fail "/usr/bin/quillon-library missing"
dpkg-deb -f "$deb" Recommends | grep -q 'python3 (>= ' || fail "Recommends names no python3"
# Debian binaries carry no run path and no symbols.
for binary in "$lib"/lib*.so.1.0.0 "$root"/usr/bin/* "${modules[0]}" "${libraries[0]}"; do
  file -L "$binary" | grep -q ELF || continue  # quillon-library is a Python script
  ! objdump -p "$binary" | grep -qE 'RPATH|RUNPATH' || fail "$binary has a run path"
  file -L "$binary" | grep -q ', stripped' || fail "$binary is not stripped"
done

# ---- The tools from the scratch root ----------------------------------------
export LD_LIBRARY_PATH="$lib"
LC_ALL=C ldd "$root/usr/bin/lustav" | grep -q "$lib/libmarlet.so.1" || fail "lustav does not load the unpacked libmarlet"
"$root/usr/bin/lustav" samples/quillon-guide.hlp | diff -u packaging/consumer/quillon-guide.titles - ||
  fail "the packaged lustav lists other titles"
"$root/usr/bin/fentro" samples/quillon-guide.hlp | grep -q 'FileName:"|TOPIC"' || fail "the packaged fentro lists no |TOPIC"
title="$(PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
  'import quillon, sys; print(quillon.open(sys.argv[1]).title)' samples/quillon-guide.hlp)" ||
  fail "the packaged Python module does not load"
[ "$title" = "Quillon: reading old Windows Help files" ] || fail "the packaged Python module reads the title $title"
PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 "$root/usr/bin/quillon-library" --help >/dev/null ||
  fail "the packaged quillon-library does not start"
unset LD_LIBRARY_PATH

if command -v lintian >/dev/null 2>&1; then
  echo "lintian (for information):"
  lintian "$deb" || true
fi
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
echo "$deb"
