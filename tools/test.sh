#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine:
#   tools/test.sh [BUILD_DIR]      (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)

NORVALE_BUILD="$build" "$root/tools/deps.sh"
. "$root/tools/wine-arch.sh"
norvale_use_arch "$root"

# A build folder keeps the architecture it was first configured with.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q "mingw-$NORVALE_ARCH.cmake" "$build/CMakeCache.txt"; then
  echo "$build was configured for another architecture; use another build folder" >&2
  exit 2
fi
if [ "$NORVALE_ARCH" = x86_64 ]; then
  why=$(norvale_no32_reason)
  echo "note: the tests run a 64-bit build: ${why:-NORVALE_ARCH=x86_64 was asked for}" >&2
fi
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$NORVALE_TOOLCHAIN" >/dev/null
cmake --build "$build" -j "$(nproc)"
if [ "$NORVALE_ARCH" = x86_64 ]; then
  # What we ship is 32-bit: it must build even where it cannot be run, and
  # so must its tests, which a machine that runs 32-bit programs runs.
  cmake -S "$root" -B "$build/ship-i686" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build/ship-i686" -j "$(nproc)"
fi

"$root/tools/wine-prefix.sh" "$build"
export WINEPREFIX="$build/wineprefix"
trap 'WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true' EXIT

rm -rf "$build/test-results"
mkdir -p "$build/test-results"
status=0
(cd "$build" && ctest --output-on-failure -j 4) || status=$?
# WinINet keeps what passes through it in the prefix's internet cache; a
# run's leftovers must not fill the disk run after run.
rm -rf "$build"/wineprefix/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache/* \
  2>/dev/null || true

# Count the individual test cases from the binaries' XML reports.
python3 - "$build/test-results" "$NORVALE_ARCH" <<'PY' || true
import sys, glob, xml.etree.ElementTree as ET
tests = failures = skipped = 0
for f in glob.glob(sys.argv[1] + "/*.xml"):
    r = ET.parse(f).getroot()
    tests += int(r.get("tests", 0)); failures += int(r.get("failures", 0))
    skipped += int(r.get("disabled", 0)) + int(r.get("skipped", 0) or 0)
arch = {"i686": "32-bit (i686), as shipped", "x86_64": "64-bit (x86_64)"}.get(sys.argv[2], sys.argv[2])
print(f"gtest: {tests - failures - skipped} passed, {failures} failed, {skipped} skipped; build tested: {arch}")
PY
exit $status
