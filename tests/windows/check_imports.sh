#!/usr/bin/env bash
# The Windows programs: each imports marlet.dll by name, only functions that
# marlet.def exports, and needs no DLL but marlet.dll, quillon-platform.dll
# and the system's (no compiler run-time DLL beside them).
#
#   check_imports.sh OBJDUMP DEF PROGRAM.exe...
set -euo pipefail
objdump="$1" def="$2"
shift 2
exports="$(sed -n 's/^[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]\{1,\}@[0-9]\{1,\}.*/\1/p' "$def")"
allowed="marlet.dll quillon-platform.dll kernel32.dll msvcrt.dll user32.dll gdi32.dll shell32.dll shlwapi.dll"
status=0
for program in "$@"; do
  name="$(basename "$program")"
  headers="$("$objdump" -p "$program")"
  for dll in $(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    lower="$(printf '%s' "$dll" | tr 'A-Z' 'a-z')"
    if [[ " $allowed " != *" $lower "* ]]; then
      echo "FAIL: $name needs $dll"
      status=1
    fi
  done
  # The entries under "DLL Name: marlet.dll", up to the blank line: hint and
  # name for an import by name; an import by ordinal has no name.
  imports="$(printf '%s\n' "$headers" | sed -n '/DLL Name: marlet.dll/,/^$/p' | sed '1,2d;/^$/d')"
  if [ -z "$imports" ]; then
    echo "FAIL: $name does not import marlet.dll"
    status=1
    continue
  fi
  names=()
  while read -r _ hint symbol rest; do
    if [ -z "${symbol:-}" ] || [ -n "${rest:-}" ] || [[ $'\n'"$exports"$'\n' != *$'\n'"$symbol"$'\n'* ]]; then
      echo "FAIL: $name: an import of marlet.dll that is not by an exported name: $_ $hint ${symbol:-} ${rest:-}"
      status=1
    else
      names+=("$symbol")
    fi
  done <<< "$imports"
  echo "$name: marlet.dll by name: ${names[*]}"
done
exit $status
