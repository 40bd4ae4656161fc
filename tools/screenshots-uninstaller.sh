#!/usr/bin/env bash
# Pictures of the uninstaller's five pages (start, options, ready, progress,
# finish) with a sample record:
#   tools/screenshots-uninstaller.sh OUTDIR [BUILD_DIR]
# OUTDIR gets uninstaller_pages_sample-page0.png ... -page4.png.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
outdir=${1:?usage: screenshots-uninstaller.sh OUTDIR [BUILD_DIR]}
build=${2:-$root/build}
cmake --build "$build" --target uninstaller_pages_sample -j4 >/dev/null
sample="$build/tests/uninstaller/uninstaller_pages_sample.exe"
. "$root/tools/wine-arch.sh"
norvale_use_arch "$root"
# Where the kernel runs only 64-bit programs, the picture tool's "wine" and
# "wineboot" are the 64-bit loader's.
if [ "$NORVALE_ARCH" = x86_64 ]; then
  shims=$(mktemp -d)
  trap 'rm -rf "$shims"' EXIT
  printf '#!/bin/sh\nexec %s "$@"\n' "$NORVALE_WINE" >"$shims/wine"
  printf '#!/bin/sh\nexec %s wineboot "$@"\n' "$NORVALE_WINE" >"$shims/wineboot"
  chmod +x "$shims/wine" "$shims/wineboot"
  export PATH="$shims:$PATH"
fi
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
for page in 0 1 2 3 4; do
  "$root/tools/screenshot.sh" -o "$outdir" -d 6 "$sample" "$page" >/dev/null
  mv -f "$outdir/uninstaller_pages_sample-1.png" "$outdir/uninstaller_pages_sample-page$page.png"
  echo "$outdir/uninstaller_pages_sample-page$page.png"
done
