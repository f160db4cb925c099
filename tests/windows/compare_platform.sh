#!/usr/bin/env bash
# platform_cases on Linux (our stand-ins) and under wine (the system's calls):
# the formatter and MulDiv must give the same bytes; the lstrcmpiA order is
# shown where it differs (the system's compares by the locale).
#
#   compare_platform.sh LINUX_PROGRAM WINDOWS_PROGRAM WINE WORK_DIR
set -uo pipefail
linux="$1" windows="$2" wine="$3" work="$4"
rm -rf "$work"
mkdir -p "$work"
"$linux" > "$work/format.linux"
"$wine" "$windows" > "$work/format.win"
status=0
if cmp -s "$work/format.linux" "$work/format.win"; then
  echo "formatter and MulDiv: $(wc -l < "$work/format.linux") cases, equal"
else
  echo "FAIL: the formatter or MulDiv differ (< Linux, > Windows):"
  diff "$work/format.linux" "$work/format.win"
  status=1
fi
"$linux" --order > "$work/order.linux"
"$wine" "$windows" --order > "$work/order.win"
differing="$(diff "$work/order.linux" "$work/order.win" | grep -c '^<' || true)"
echo "lstrcmpiA: $(wc -l < "$work/order.linux") comparisons, $differing ordered otherwise by the system (noted):"
paste -d '\n' <(diff "$work/order.linux" "$work/order.win" | sed -n 's/^< /  ours:   /p') \
  <(diff "$work/order.linux" "$work/order.win" | sed -n 's/^> /  system: /p') | head -n 40
exit $status
