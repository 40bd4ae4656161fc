#!/usr/bin/env bash
# Times the extraction of one archive of many small files through our
# 7-zip32.dll under Wine, next to Debian's unzip on the same archive:
#   tools/bench-unzip.sh [BUILD_DIR] [RUNS] [MB]
#                        (defaults: build, 3 runs, 100 MB)
# The tree holds MB*100 files of 10 KB in folders of 100, half random bytes
# and half text, packed once by Debian's zip (deflate). Every run unpacks into
# an empty folder and is compared with the tree; each figure is the median.
# "ours (in-process)" is the SevenZip() call alone, "ours (wall)" adds the
# start of the Wine process. Everything it creates lives in the build folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-3}
megabytes=${3:-100}
mkdir -p "$build"
build=$(cd "$build" && pwd)

"$root/tools/deps.sh"
if ! command -v zip >/dev/null || ! command -v unzip >/dev/null; then
  SUDO=
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends zip unzip \
    >/dev/null
fi
. "$root/tools/wine-arch.sh"
norvale_use_arch "$root"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$NORVALE_TOOLCHAIN" >/dev/null
cmake --build "$build" -j 4 --target sevenzip_bench sevenzip32 >/dev/null
"$root/tools/wine-prefix.sh" "$build" || [ -e "$build/wineprefix/.norvale-ready" ]

data=$(mktemp -d "$build/bench-unzip.XXXXXX")
bench_win='C:\nv-bench-unzip'
bench_unix="$build/wineprefix/drive_c/nv-bench-unzip"
cleanup() {
  rm -rf "$data" "$bench_unix"
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

/usr/bin/python3 - "$data/tree" "$megabytes" <<'PY'
import os, random, sys
root, megabytes = sys.argv[1], int(sys.argv[2])
rng = random.Random(14)
words = [b"norvale", b"register", b"receipt", b"tax", b"item", b"price", b"\xe5\x95\x86\xe5\x93\x81"]
for n in range(megabytes * 100):
    folder = os.path.join(root, f"d{n // 100:03d}")
    os.makedirs(folder, exist_ok=True)
    if n % 2:
        body = os.urandom(10240)
    else:
        body = b" ".join(rng.choice(words) for _ in range(2000))[:10240].ljust(10240, b".")
    with open(os.path.join(folder, f"f{n:05d}.dat"), "wb") as f:
        f.write(body)
PY
(cd "$data/tree" && zip -q -r "$data/pkg.zip" .)
mkdir -p "$bench_unix"
cp "$data/pkg.zip" "$bench_unix/pkg.zip"
files=$(find "$data/tree" -type f | wc -l)
bytes=$(find "$data/tree" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
echo "archive: $files files, $bytes bytes unpacked, $(stat -c %s "$data/pkg.zip") bytes packed;" \
  "$runs runs per figure; $(unzip -v | head -1 | cut -c1-40)"

median() {
  printf '%s\n' "$@" | sort -g |
    awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}
report() {
  local label=$1
  shift
  awk -v l="$label" -v n="$files" -v b="$bytes" -v m="$(median "$@")" -v all="$*" 'BEGIN {
    printf "%-24s median %7.2f s  %7.3f ms/file  %7.2f MiB/s  (runs: %s)\n",
      l, m, m * 1000 / n, b / 1048576 / m, all }'
}
same_tree() {
  if ! diff -r -q "$data/tree" "$1" >/dev/null; then
    echo "MISMATCH: $1 differs from the packed tree" >&2
    exit 1
  fi
}
seconds() { date +%s.%N; }

inside=() wall=() theirs=()
for _ in $(seq "$runs"); do
  rm -rf "$bench_unix/out"
  start=$(seconds)
  out=$(cd "$build/bin" && "$build/wine-run.sh" "$build/bin/sevenzip_bench.exe" \
    "$bench_win\\pkg.zip" "$bench_win\\out" | tr -d '\r')
  end=$(seconds)
  set -- $out
  if [ "${1:-}" != ok ]; then
    echo "sevenzip_bench failed: $out" >&2
    exit 1
  fi
  same_tree "$bench_unix/out"
  inside+=("$2")
  wall+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")

  rm -rf "$data/unzip"
  start=$(seconds)
  unzip -q -o "$data/pkg.zip" -d "$data/unzip"
  end=$(seconds)
  same_tree "$data/unzip"
  theirs+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
done
report "ours (in-process)" "${inside[@]}"
report "ours (wall)" "${wall[@]}"
report "Debian unzip" "${theirs[@]}"
echo "every run's files matched the packed tree byte for byte"
