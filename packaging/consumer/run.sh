#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks it the way a user meets it:
# every file in place and nothing internal, the SONAMEs and links, an installed
# program that runs without help, and a C program (titles.c, format.c) built
# against the tree once with pkg-config and once with find_package, which must
# list the titles of HELPFILE as NAME.titles beside this script says.
#
# Usage: run.sh BUILD-DIR WORK-DIR C-COMPILER SANITIZE LIBDIR VERSION HELPFILE PROGRAM...
#   LIBDIR is the library folder relative to the prefix (CMAKE_INSTALL_LIBDIR),
#   SANITIZE is ON when the build uses AddressSanitizer and UBSan.
set -euo pipefail
build=$1 work=$2 cc=$3 sanitize=$4 libdir_name=$5 version=$6 helpfile=$7
shift 7
programs=("$@")
here="$(cd "$(dirname "$0")" && pwd)"
expected="$here/$(basename "$helpfile" .hlp).titles"
major="${version%%.*}"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

unset DESTDIR
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
libdir="$prefix/$libdir_name"

# ---- The installed tree ---------------------------------------------------
for name in marlet quillon-platform; do
  real="lib$name.so.$version"
  { [ -f "$libdir/$real" ] && [ ! -L "$libdir/$real" ]; } || fail "$libdir/$real missing"
  [ "$(readlink "$libdir/lib$name.so.$major")" = "$real" ] || fail "lib$name.so.$major does not name $real"
  [ "$(readlink "$libdir/lib$name.so")" = "lib$name.so.$major" ] || fail "lib$name.so does not name lib$name.so.$major"
  soname="$(objdump -p "$libdir/$real" | awk '$1 == "SONAME" { print $2 }')"
  [ "$soname" = "lib$name.so.$major" ] || fail "$real has SONAME '$soname'"
done
for file in include/marlet/marlet.h include/quillon/platform.h "$libdir_name/pkgconfig/marlet.pc" \
  "$libdir_name/cmake/marlet/marletConfig.cmake" "$libdir_name/cmake/marlet/marletConfigVersion.cmake" \
  "$libdir_name/cmake/marlet/marletTargets.cmake"; do
  [ -f "$prefix/$file" ] || fail "$file not installed"
done
for program in "${programs[@]}"; do
  [ -x "$prefix/bin/$program" ] || fail "program $program not installed"
  [ -f "$prefix/share/man/man1/$program.1.gz" ] || [ -f "$prefix/share/man/man1/$program.1" ] ||
    fail "manual page of $program not installed"
done
# The programs and nothing else (no tests, no benchmarks); no static library.
diff -u <(printf '%s\n' "${programs[@]}" | sort) <(find "$prefix/bin" -mindepth 1 -printf '%f\n' | sort) || fail "bin/ holds other files"
[ -z "$(find "$prefix" -name '*.a')" ] || fail "a static library was installed"

# An installed program finds its libraries by itself.
"$prefix/bin/lustav" "$helpfile" >"$work/lustav.out"
diff -u "$expected" "$work/lustav.out" || fail "installed lustav lists other titles"

# ---- C programs against the installed tree ---------------------------------
sanitizers=""
if [ "$sanitize" = ON ]; then
  sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
fi

# pkg-config, seeing our file alone.
export PKG_CONFIG_LIBDIR="$libdir/pkgconfig" PKG_CONFIG_PATH=""
[ "$(pkg-config --modversion marlet)" = "$version" ] || fail "pkg-config reports another version"
# shellcheck disable=SC2046,SC2086  # the flags are words
"$cc" -std=c11 -Wall -Wextra -Werror -pedantic $sanitizers $(pkg-config --cflags marlet) "$here/titles.c" "$here/format.c" \
  -o "$work/titles-pkgconfig" $(pkg-config --libs marlet) -Wl,-rpath,"$libdir"
"$work/titles-pkgconfig" "$helpfile" >"$work/pkgconfig.out"
diff -u "$expected" "$work/pkgconfig.out" || fail "the pkg-config build lists other titles"

# find_package, from the scratch prefix and nowhere else.
cmake -S "$here" -B "$work/cmake" -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$sanitizers" -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" >"$work/cmake.log"
found="$(sed -n 's/^marlet_DIR:PATH=//p' "$work/cmake/CMakeCache.txt")"
[ "$found" = "$libdir/cmake/marlet" ] || fail "find_package found marlet in '$found'"
cmake --build "$work/cmake" >>"$work/cmake.log"
"$work/cmake/titles" "$helpfile" >"$work/find_package.out"
diff -u "$expected" "$work/find_package.out" || fail "the find_package build lists other titles"

echo "installed tree, pkg-config and find_package consumers: all right"
