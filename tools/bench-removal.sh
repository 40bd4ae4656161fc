#!/usr/bin/env bash
# Times the product's tree removal under Wine next to a plain path-based
# FindFirstFileW/DeleteFileW/RemoveDirectoryW loop over the same tree, in
# one run of one program:
#   tools/bench-removal.sh [BUILD_DIR] [RUNS]     (defaults: build, 5 runs)
# The tree (2,000 files of 7 bytes in 10 x 10 folders) is made afresh inside
# the prefix's C: drive before every removal; the ways take turns, so a
# slower moment of the machine falls on each alike. Figures are medians.
# "product tree delete" is the guard's DeleteTree, "product emptying" the
# install folder's emptying with a call after every entry (where the
# uninstaller's window answers) and then the tree delete of the empty folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
mkdir -p "$build"
build=$(cd "$build" && pwd)

"$root/tools/deps.sh"
. "$root/tools/wine-arch.sh"
norvale_use_arch "$root"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$NORVALE_TOOLCHAIN" >/dev/null
cmake --build "$build" -j 3 --target removal_bench >/dev/null
"$root/tools/wine-prefix.sh" "$build" || [ -e "$build/wineprefix/.norvale-ready" ]

bench_unix="$build/wineprefix/drive_c/nv-bench-removal"
cleanup() {
  rm -rf "$bench_unix"
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
rm -rf "$bench_unix"

"$build/wine-run.sh" "$build/bench/removal_bench.exe" 'C:\nv-bench-removal' "$runs" | tr -d '\r'
