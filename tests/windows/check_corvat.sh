#!/usr/bin/env bash
# corvat.exe: it exports its dialog procedure CorvatDlg by name and nothing
# else, and carries the dialog template as resource 201, which the resource
# compiler reads back out of the program to compare with the expected one.
#
#   check_corvat.sh OBJDUMP WINDRES CORVAT.exe EXPECTED
set -euo pipefail
objdump="$1" windres="$2" program="$3" expected="$4"
status=0
exports="$("$objdump" -p "$program" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]\{1,\}\][[:space:]]\{1,\}//p')"
if [ "$exports" != CorvatDlg ]; then
  echo "FAIL: corvat exports \"$exports\", not CorvatDlg alone"
  status=1
fi
echo "corvat.exe exports: $exports"
if ! "$windres" -i "$program" -O rc | sed -n '/^201 DIALOG/,$p' | diff "$expected" -; then
  echo "FAIL: the dialog resource 201 of corvat.exe differs from $expected (< expected, > found)"
  status=1
else
  echo "corvat.exe: dialog resource 201 as expected"
fi
exit $status
