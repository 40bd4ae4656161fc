#!/usr/bin/env bash
# Takes a screenshot of every page of the installer window, opened with a
# sample setup record by the page viewer of the test build:
#   tools/screenshots-installer.sh OUTDIR [BUILD_DIR]   (default: build)
# OUTDIR gets page0.png ... page6.png, the variants page1-crowded.png,
# page1-sub2.png, page2-sub2.png, page3-crowded.png, page6-restart.png,
# page6-program.png and winver.png (the Windows version check's box).
set -euo pipefail

[ $# -ge 1 ] || { sed -n '2,7p' "$0" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
outdir=$(cd "$1" && pwd)
build=${2:-$root/build}
viewer="$build/tests/installer/wizard/installer_pages.exe"
[ -f "$viewer" ] || cmake --build "$build" --target installer_pages -j4 >/dev/null
[ -f "$viewer" ] || { echo "no page viewer: $viewer" >&2; exit 2; }

shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
shoot() {  # name args...
  local name=$1
  shift
  "$root/tools/screenshot.sh" -o "$shots" -d 9 "$viewer" "$@" >/dev/null
  mv "$shots/installer_pages-1.png" "$outdir/$name.png"
  echo "$outdir/$name.png"
}
shoot page0 0
shoot page1 1 1
shoot page1-sub2 1 2
shoot page1-crowded 1 1 crowded
shoot page2 2 1
shoot page2-sub2 2 2
shoot page3 3 0
shoot page3-crowded 3 0 crowded
shoot page4 4 0
shoot page5 5 0
shoot page6 6 0
shoot page6-restart 6 0 restart
shoot page6-program 6 0 program
shoot winver winver
