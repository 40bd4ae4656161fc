#!/usr/bin/env bash
# Times the FTP client against the local test server, next to lftp:
#   tools/bench-ftp.sh [BUILD_DIR]      (default: build)
# The server serves 200 files of 2 KB (/small) and one 50 MB file (/large).
# bench/ftp_bench.exe fetches them under Wine twice, with the client's
# production pauses and with the pauses at zero; then lftp mirrors the same
# folders. Everything it creates lives in the build folder and is removed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)

"$root/tools/deps.sh"
if ! command -v lftp >/dev/null; then
  SUDO=
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends lftp \
    >/dev/null
fi

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)" --target ftp_bench >/dev/null
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
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

mkdir -p "$data/root/small" "$data/root/large" "$data/lftp"
for i in $(seq -w 1 200); do
  head -c 2048 /dev/urandom >"$data/root/small/f$i.bin"
done
head -c $((50 * 1024 * 1024)) /dev/urandom >"$data/root/large/large.bin"

password=bench
/usr/bin/python3 "$root/tests/ftp/ftp_test_server.py" --root "$data/root" \
  --state-file "$data/state.json" --password "$password" --idle-timeout 3600 \
  >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$data/state.json" ] && break; sleep 0.1; done
port=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["port"])' \
  "$data/state.json")
echo "test server on 127.0.0.1:$port"

for waits in zero part; do
  rm -rf "$local_unix"
  "$build/wine-run.sh" "$build/bench/ftp_bench.exe" --port "$port" --user norvale \
    --password "$password" --local "$local_win" --waits "$waits"
done

seconds() { date +%s.%N; }
echo "lftp $(lftp --version | head -1 | sed 's/.*Version \([^ ]*\).*/\1/')"
for folder in small large; do
  start=$(seconds)
  lftp -u "norvale,$password" -p "$port" \
    -e "set cmd:fail-exit yes; set net:max-retries 1; set ftp:passive-mode yes; \
        mirror /$folder $data/lftp/$folder; quit" 127.0.0.1 >/dev/null
  end=$(seconds)
  find "$data/lftp/$folder" -type f -printf '%s\n' |
    awk -v f="/$folder" -v t="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
      '{ n++; s += $1 } END { printf "lftp mirror %-22s %4d files %10d bytes %9.2f s\n", f, n, s, t }'
done
