#!/usr/bin/env bash
# The export table of marlet.dll: exactly the exports of marlet.def, by their
# plain names with its ordinals, and no decorated names beside them.  For the
# 32-bit DLL also the calling convention: every export removes its own
# arguments, so each of its returns is "ret $N" with N the bytes of its
# arguments (from the decorated module-definition file).
#
#   check_exports.sh OBJDUMP DLL DEF [STDCALL_DEF]
set -euo pipefail
objdump="$1" dll="$2" def="$3" stdcall_def="${4:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Expected: "ordinal name" per export.
sed -n 's/^[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]\{1,\}@\([0-9]\{1,\}\).*/\2 \1/p' "$def" \
  | sort -n > "$work/expected"

# Found: objdump lists "[index] name" with the index counted from the
# ordinal base.
"$objdump" -p "$dll" > "$work/headers"
base="$(sed -n 's/^Export Address Table -- Ordinal Base \([0-9]\{1,\}\).*/\1/p' "$work/headers")"
[ -n "$base" ] || { echo "FAIL: $dll has no export table"; exit 1; }
sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$work/headers" \
  | sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]\{1,\}\)\][[:space:]]\{1,\}\(.*\)$/\1 \2/p' \
  | awk -v base="$base" '{ print $1 + base, $2 }' | sort -n > "$work/found"

status=0
if ! diff "$work/expected" "$work/found" > "$work/diff"; then
  echo "FAIL: the export table of $dll is not that of $def (< expected, > found):"
  cat "$work/diff"
  status=1
fi
if grep -q '@' "$work/found"; then
  echo "FAIL: decorated names in the export table:"
  grep '@' "$work/found"
  status=1
fi
echo "$(basename "$dll"): $(wc -l < "$work/found") named exports, ordinal base $base"
sed 's/^/  @/' "$work/found"

if [ -n "$stdcall_def" ]; then
  # A function's code runs from its symbol to the next symbol of any kind
  # (COFF symbols have no size).
  nm="${objdump%objdump}nm"
  "$nm" -n "$dll" | awk 'NF == 3 { print $1, $3 }' > "$work/symbols"
  code() {  # SYMBOL: the disassembly of that function alone
    local from to
    from="$(awk -v s="$1" '$2 == s { print $1; exit }' "$work/symbols")"
    [ -n "$from" ] || return 1
    to="$(awk -v a="$from" '$1 > a { print $1; exit }' "$work/symbols")"
    "$objdump" -d --no-show-raw-insn --start-address="0x$from" ${to:+--stop-address="0x$to"} "$dll"
  }
  checked=0
  while read -r name bytes; do
    # The i386 symbol of a __stdcall function: _IFSOpen@4.
    symbol="_${name}@${bytes}"
    if ! code "$symbol" > "$work/code"; then
      echo "FAIL: no code for $symbol in $dll"
      status=1
      continue
    fi
    # Each return, as "ret" or "ret $0x..", with the address cut off.
    grep -E '[[:space:]]ret' "$work/code" | sed 's/^[^:]*:[[:space:]]*//; s/[[:space:]]\{1,\}/ /g; s/ $//' \
      > "$work/returns" || true
    expected="ret \$0x$(printf '%x' "$bytes")"
    [ "$bytes" -eq 0 ] && expected="ret"
    if [ ! -s "$work/returns" ]; then
      echo "FAIL: $symbol has no return to look at"
      status=1
    elif grep -vxF "$expected" "$work/returns" > "$work/wrong"; then
      echo "FAIL: $name returns otherwise than with $expected:"
      sed 's/^/  /' "$work/wrong"
      status=1
    fi
    checked=$((checked + 1))
  done < <(sed -n 's/^[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\)@\([0-9]\{1,\}\)[[:space:]]\{1,\}@[0-9]\{1,\}.*/\1 \2/p' "$stdcall_def")
  echo "stdcall returns checked for $checked exports; IFSOpen's:"
  code _IFSOpen@4 | grep -E '>:|[[:space:]]ret' | sed 's/^/  /'
fi
exit $status
