#!/usr/bin/env bash
# The browser test: converts a few help files with hlp2html and opens their
# sites in headless Chromium (browser_test.mjs).  Exit code 77 (skipped) when
# Chromium or the test's npm packages are not there.
# Usage: run.sh BUILD-DIR CORPUS-DIR
set -euo pipefail
build=$1 corpus=${2:-}
here="$(cd "$(dirname "$0")" && pwd)"
[ -x /usr/bin/chromium ] || { echo "skipped: no /usr/bin/chromium (Debian package chromium)"; exit 77; }
[ -d "$here/node_modules/puppeteer-core" ] || { echo "skipped: run 'npm ci' in tests/browser"; exit 77; }
out="$build/browser"
rm -rf "$out"
mkdir -p "$out/sites"
sites=()
convert() {  # help-file site-name
  "$build/bin/hlp2html" -q "$1" "$out/sites/$2" || [ $? -eq 1 ]
  sites+=("$out/sites/$2")
}
convert "$build/halibut/manual.hlp" manual
"$build/bin/browser_fixtures" "$out/fixtures"
convert "$out/fixtures/pictures.hlp" pictures
convert "$out/fixtures/hostile.hlp" hostile
if [ -n "$corpus" ] && [ -d "$corpus/hlp" ]; then
  convert "$corpus/hlp/oemdisplay-tandy__PROGMAN.HLP" progman
  convert "$corpus/hlp/eudora-win__PureVoice.hlp" purevoice
  convert "$corpus/hlp/FlexDSL__HELP.HLP" flexdsl
  convert "$corpus/hlp/AsyncPro__AproFAQ.hlp" aprofaq
fi
node "$here/browser_test.mjs" "$out/screenshots" "${sites[@]}"
