#!/usr/bin/env bash
# Runs one program of the 64-bit Windows build under wine and the same program
# of a Linux build over every help file of the corpus, with the same arguments
# from the same folder, and compares what they print byte for byte (after the
# "\r" of each "\r\n", which the Windows C library's text mode adds) and their
# exit codes.  Files a program writes (hlp2rtf -o, -p) are compared as they are.
#
#   compare_corpus.sh TOOL LINUX_BIN WINDOWS_BIN WINE CORPUS_DIR WORK_DIR
#
# WINEPREFIX and WINEDEBUG come from the caller.  Exits 1 when a run differs,
# except the vorlen runs with a start keyword: the system's lstrcmpiA orders
# by the locale where ours orders by ASCII, and where the start keyword falls
# in the index depends on that order; those differences are listed as notes.
set -uo pipefail
tool="$1" linux="$2" windows="$3" wine="$4" corpus="$5" work="$6"
rm -rf "$work"
mkdir -p "$work"

runs=0 equal=0 failed=0 noted=0 retried=0
files=0

same() {  # NAME: the Linux output equals the Windows one, \r\n read as \n
  perl -pe 's/\r\n/\n/g' "$work/$1.win.raw" > "$work/$1.win"
  cmp -s "$work/$1.linux" "$work/$1.win"
}

# compare NAME ALLOWED [COMMAND...]: the two outputs of the last run.  The
# programs are deterministic, so when a Windows run differs it is run once
# more with COMMAND: wine on a loaded machine now and then fails to start a
# program, which is noted, not taken for a difference of the program.
compare() {
  local name="$1" allowed="$2"
  shift 2
  runs=$((runs + 1))
  if ! same "$name" && [ $# -gt 0 ]; then
    "$@"
    if same "$name"; then
      retried=$((retried + 1))
      echo "note: $name equal on the second run under wine"
    fi
  fi
  if same "$name"; then
    equal=$((equal + 1))
    rm -f "$work/$name.win.raw"
  elif [ "$allowed" = allowed ]; then
    noted=$((noted + 1))
    echo "note: $name differs (keyword order of lstrcmpiA):"
    diff "$work/$name.linux" "$work/$name.win" | head -n 6 | sed 's/^/    /'
  else
    failed=$((failed + 1))
    echo "FAIL: $name differs:"
    diff "$work/$name.linux" "$work/$name.win" | head -n 20 | sed 's/^/    /'
  fi
}

# run_windows NAME DIR ARGS...
run_windows() {
  local name="$1" dir="$2"
  shift 2
  (cd "$dir" && "$wine" "$windows/$tool.exe" "$@" > "$work/$name.win.raw" 2> /dev/null
   echo "exit status $?" >> "$work/$name.win.raw")
}

# run NAME ALLOWED DIR ARGS...: the tool on both systems, from DIR.
run() {
  local name="$1" allowed="$2" dir="$3"
  shift 3
  (cd "$dir" && "$linux/$tool" "$@" > "$work/$name.linux" 2> /dev/null; echo "exit status $?" >> "$work/$name.linux")
  run_windows "$name" "$dir" "$@"
  compare "$name" "$allowed" run_windows "$name" "$dir" "$@"
}

# compare_files NAME LINUX_DIR WINDOWS_DIR: files written by the two runs.
compare_files() {
  local name="$1" a="$2" b="$3"
  runs=$((runs + 1))
  if diff -r "$a" "$b" > "$work/$name.diff"; then
    equal=$((equal + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name: the written files differ:"
    head -n 10 "$work/$name.diff" | sed 's/^/    /'
  fi
}

for path in "$corpus"/hlp/*; do
  [ -f "$path" ] || continue
  files=$((files + 1))
  file="$(basename "$path")"
  dir="$(dirname "$path")"
  case "$tool" in
    fentro | lustav | daskol | pelivar)
      run "$file" strict "$dir" "$file" ;;
    vorlen)
      run "$file" strict "$dir" "$file"
      run "$file.empty-start" strict "$dir" "$file" ""
      run "$file.A" strict "$dir" "$file" "" A
      for start in c M s_ z "[" _ 1 24h; do
        run "$file.start-$start" allowed "$dir" "$file" "$start"
      done ;;
    gormish)
      context="$("$linux/daskol" "$path" | sed -n 's/.*String:\(.*\)$/\1/p' | head -n 1)"
      [ -n "$context" ] && run "$file.found" strict "$dir" "$file" "$context"
      run "$file.missing" strict "$dir" "$file" "no_such_context" ;;
    saldir)
      run "$file.the" strict "$dir" "$file" the
      run "$file.help-window" strict "$dir" "$file" help window ;;
    hlp2rtf)
      run "$file.rtf" strict "$dir" "$file"
      run "$file.text" strict "$dir" "$file" -t
      mkdir -p "$work/$file.linux.out" "$work/$file.win.out"
      (cd "$dir" && "$linux/hlp2rtf" -o "$work/$file.linux.out/all.rtf" -p "$work/$file.linux.out/pictures" "$file" \
        > /dev/null 2>&1)
      (cd "$dir" && "$wine" "$windows/hlp2rtf.exe" -o "$work/$file.win.out/all.rtf" -p "$work/$file.win.out/pictures" \
        "$file" > /dev/null 2>&1)
      compare_files "$file.files" "$work/$file.linux.out" "$work/$file.win.out" ;;
    meront) ;;
    *) echo "no cases for $tool" >&2; exit 2 ;;
  esac
done

if [ "$tool" = meront ]; then
  # The wildcard over the folder; once from inside it, once with a folder part,
  # which the Windows program splits at its last backslash.
  run "pattern" strict "$corpus/hlp" "*.hlp"
  run "pattern-upper" strict "$corpus/hlp" "*.HLP"
  (cd "$corpus" && "$linux/meront" "hlp/*.hlp" > "$work/folder.linux" 2> /dev/null; echo "exit status $?" >> "$work/folder.linux")
  (cd "$corpus" && "$wine" "$windows/meront.exe" 'hlp\*.hlp' 2> /dev/null | sed 's|^hlp\\|hlp/|' > "$work/folder.win.raw"
   echo "exit status ${PIPESTATUS[0]}" >> "$work/folder.win.raw")
  compare folder strict
fi

echo "$tool: $files corpus files, $runs comparisons: $equal equal ($retried on a second run), $failed differ," \
  "$noted differ by keyword order (noted)"
[ "$failed" -eq 0 ]
