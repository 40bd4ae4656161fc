#!/usr/bin/env bash
# Times the FTP client's folder download against the local test server, next
# to lftp's mirror of the same folders from the same server:
#   tools/bench-ftp.sh [BUILD_DIR] [RUNS] [LARGE_MB] [FOLDERS]
#                      (defaults: build, 3 runs, 100 MB per large file,
#                       FOLDERS "small large")
# The server serves /small (500 files of 2 KB in 10 folders) and /large
# (3 files of LARGE_MB). bench/ftp_bench.exe fetches each folder under Wine
# with the client's production pauses and with the pauses at zero; lftp
# mirrors it. Every run starts from an empty folder, its result is compared
# byte for byte with the server's files, and each figure is the median of
# the runs. Everything it creates lives in the build folder and is removed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-3}
large_mb=${3:-100}
folders=${4:-small large}
mkdir -p "$build"
build=$(cd "$build" && pwd)

"$root/tools/deps.sh"
if ! command -v lftp >/dev/null; then
  SUDO=
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends lftp \
    >/dev/null
fi

. "$root/tools/wine-arch.sh"
norvale_use_arch "$root"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$NORVALE_TOOLCHAIN" >/dev/null
cmake --build "$build" -j "$(nproc)" --target ftp_bench ftp_floor >/dev/null
# The prefix script stops at "wineserver -p" when a server of that prefix
# already runs (a test run beside us); the prefix is ready all the same.
"$root/tools/wine-prefix.sh" "$build" || [ -e "$build/wineprefix/.norvale-ready" ]

data=$(mktemp -d "$build/bench-ftp.XXXXXX")
local_win='C:\nv-bench-ftp'
local_unix="$build/wineprefix/drive_c/nv-bench-ftp"
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$data" "$local_unix"
  rm -rf "$build"/wineprefix/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache/* \
    2>/dev/null || true
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

for d in $(seq -w 1 10); do
  mkdir -p "$data/root/small/d$d"
  for f in $(seq -w 1 50); do
    head -c 2048 /dev/urandom >"$data/root/small/d$d/f$f.bin"
  done
done
mkdir -p "$data/root/large"
for f in 1 2 3; do
  head -c $((large_mb * 1024 * 1024)) /dev/urandom >"$data/root/large/large$f.bin"
done

password=bench
/usr/bin/python3 "$root/tests/ftp/ftp_test_server.py" --root "$data/root" \
  --state-file "$data/state.json" --password "$password" --idle-timeout 3600 \
  --max-lifetime 36000 >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$data/state.json" ] && break; sleep 0.1; done
port=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["port"])' \
  "$data/state.json")
echo "test server on 127.0.0.1:$port; $runs runs per figure; lftp $(lftp --version | head -1 |
  sed 's/.*Version \([^ ]*\).*/\1/')"

median() {
  printf '%s\n' "$@" | sort -g |
    awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}

# report LABEL FILES BYTES SECONDS...
report() {
  local label=$1 files=$2 bytes=$3
  shift 3
  local m
  m=$(median "$@")
  awk -v l="$label" -v n="$files" -v b="$bytes" -v m="$m" -v all="$*" 'BEGIN {
    printf "%-30s %4d files %11d bytes  median %8.2f s  %8.2f ms/file  %8.2f MiB/s  (runs: %s)\n",
      l, n, b, m, m * 1000 / n, b / 1048576 / m, all }'
}

same_tree() {
  if ! diff -r -q "$data/root/$1" "$2" >/dev/null; then
    echo "MISMATCH: $2 differs from the server's /$1" >&2
    exit 1
  fi
}

seconds() { date +%s.%N; }

# One run of ours: its seconds.
run_ours() {
  local folder=$1 waits=$2 out
  rm -rf "$local_unix"
  out=$("$build/wine-run.sh" "$build/bench/ftp_bench.exe" --port "$port" --user norvale \
    --password "$password" --folder "/$folder" --local "$local_win\\$folder" \
    --waits "$waits" | tr -d '\r')
  set -- $out
  if [ "${1:-}" != ok ] || [ "$3" != "$files" ] || [ "$4" != "$bytes" ]; then
    echo "ftp_bench /$folder ($waits waits) failed: $out" >&2
    exit 1
  fi
  same_tree "$folder" "$local_unix/$folder"
  echo "$2"
}

# One run of WinINet alone over the same files: its seconds.
run_floor() {
  local folder=$1 out
  rm -rf "$local_unix"
  mkdir -p "$local_unix"
  out=$("$build/wine-run.sh" "$build/bench/ftp_floor.exe" --port "$port" --user norvale \
    --password "$password" --folder "/$folder" --local "$local_win\\$folder" | tr -d '\r')
  set -- $out
  if [ "${1:-}" != ok ] || [ "$3" != "$files" ] || [ "$4" != "$bytes" ]; then
    echo "ftp_floor /$folder failed: $out" >&2
    exit 1
  fi
  same_tree "$folder" "$local_unix/$folder"
  echo "$2"
}

run_lftp() {
  local folder=$1 start end
  rm -rf "$data/lftp"
  mkdir -p "$data/lftp"
  start=$(seconds)
  lftp -u "norvale,$password" -p "$port" \
    -e "set cmd:fail-exit yes; set net:max-retries 1; set ftp:passive-mode yes; \
        mirror /$folder $data/lftp/$folder; quit" 127.0.0.1 >/dev/null
  end=$(seconds)
  same_tree "$folder" "$data/lftp/$folder"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

# Wine's WinINet keeps a copy of every FTP download in the internet cache
# whatever the flags say; emptied before each download, it neither fills the
# disk nor makes a later download pay for the cache the earlier ones left.
empty_cache() {
  rm -rf "$build"/wineprefix/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache/* \
    2>/dev/null || true
}

# The four take turns within each run, in the opposite order every other
# run, so that what the machine does meanwhile (other builds, the disk
# catching up after the download before) falls on all of them alike.
for folder in $folders; do
  files=$(find "$data/root/$folder" -type f | wc -l)
  bytes=$(find "$data/root/$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  production=() zero=() floor=() mirror=()
  for run in $(seq "$runs"); do
    order="production zero floor lftp"
    [ $((run % 2)) -eq 0 ] && order="lftp floor zero production"
    for what in $order; do
      empty_cache
      case $what in
        production) production+=("$(run_ours "$folder" production)") ;;
        zero) zero+=("$(run_ours "$folder" zero)") ;;
        floor) floor+=("$(run_floor "$folder")") ;;
        lftp) mirror+=("$(run_lftp "$folder")") ;;
      esac
    done
  done
  report "ours /$folder, production waits" "$files" "$bytes" "${production[@]}"
  report "ours /$folder, zero waits" "$files" "$bytes" "${zero[@]}"
  report "WinINet floor /$folder" "$files" "$bytes" "${floor[@]}"
  report "lftp mirror /$folder" "$files" "$bytes" "${mirror[@]}"
done
echo "every run's files matched the server's byte for byte"
