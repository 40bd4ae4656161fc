#!/usr/bin/env bash
# The demo: the installer installs the sample package from a local FTP server,
# walked through its pages with real key presses and clicks under a virtual X
# server; then the machine is described, and the uninstaller removes the
# product again with "/S":
#   tools/demo.sh [OUTDIR]      (default: build/demo-out)
# OUTDIR gets a picture of every page (page0-welcome.png ...), the package's
# FTP root (ftp/), the server's log, the install record as it was after the
# installation (Setup.log) and the report (report.txt).
# Everything happens in a Wine prefix of its own (BUILD/wineprefix-demo),
# made afresh on every run, on an X display and a port of its own.
# Exits non-zero when the product is not installed, or when something of it
# remains after the removal.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
mkdir -p "${1:-$build/demo-out}"
outdir=$(cd "${1:-$build/demo-out}" && pwd)
demo_started=$(date +%s.%N)

say() { printf '%s\n' "$*" | tee -a "$outdir/report.txt"; }
fail() { echo "demo: $*" >&2; exit 2; }
# Polls until the command succeeds; false when the seconds run out first.
wait_until() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}
since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f\n", b - a }'; }
: >"$outdir/report.txt"
rm -f "$outdir"/page*.png "$outdir"/uninstall-*.png

# --- What the demo needs on this machine --------------------------------------
"$root/tools/deps.sh"
# The X server, key presses and clicks, pictures, a Japanese font and Wine's own
# (Marlett draws the caption buttons), and lftp to compare the download with.
"$root/tools/deps.sh" xvfb xdotool imagemagick fonts-ipafont-gothic fonts-wine lftp

. "$root/tools/wine-arch.sh"
norvale_use_arch "$root"
export NORVALE_WINE
if [ -f "$build/CMakeCache.txt" ] && ! grep -q "mingw-$NORVALE_ARCH.cmake" "$build/CMakeCache.txt"; then
  fail "$build was configured for another architecture"
fi
echo "building the programs (log: $outdir/build.log) ..."
{
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$NORVALE_TOOLCHAIN"
  cmake --build "$build" -j4 --target deliverables powershell_standin timeout_standin \
    norvale_pos_sample write_start_ini
} >"$outdir/build.log" 2>&1 || { tail -20 "$outdir/build.log" >&2; fail "the build failed"; }
installer_exe=$build/installer/wizard/main/Norvale_Installer.exe
uninstaller_exe=$build/bin/Dekant00.exe
archive_dll=$build/bin/7-zip32.dll
start_ini_exe=$build/bin/write_start_ini.exe
sample_exe=$build/bin/norvale_pos_sample.exe
for f in "$installer_exe" "$uninstaller_exe" "$archive_dll" "$start_ini_exe" "$sample_exe"; do
  [ -f "$f" ] || fail "missing after the build: $f"
done
if [ "$NORVALE_ARCH" = x86_64 ]; then
  which_build="the 64-bit build of the same sources (this kernel cannot run 32-bit programs; the shipped 32-bit programs are built in build/ship-i686 by tools/test.sh)"
else
  which_build="the shipped 32-bit programs"
fi

# --- Package and FTP server ------------------------------------------------------
demo_prefix=$build/wineprefix-demo
server_pid=
xvfb_pid=
# This prefix's Wine, the X server and the FTP server end with the demo.
cleanup() {
  [ ! -d "$demo_prefix" ] || WINEPREFIX=$demo_prefix wineserver -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
}
work=$build/demo-run
mkdir -p "$work"
/usr/bin/python3 "$root/demo/make_package.py" "$outdir" --program "$sample_exe" \
  >"$outdir/package.log" 2>&1 ||
  { cat "$outdir/package.log" >&2; fail "the sample package could not be made"; }

server_state=$work/ftp-server.json
server_log=$outdir/ftp-server.log
rm -f "$server_state" "$server_log"
/usr/bin/python3 "$root/tests/ftp/ftp_test_server.py" --root "$outdir/ftp" \
  --state-file "$server_state" --log "$server_log" --user norvale --password norvale \
  --port 0 --idle-timeout 900 >/dev/null 2>&1 &
server_pid=$!
trap cleanup EXIT

export WINEPREFIX=$demo_prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export LOCPATH=$build/locale
unset DISPLAY
# Only Wine gets the Japanese locale; this shell cannot load it.
wine() { env LC_ALL=ja_JP.UTF-8 "$NORVALE_WINE" "$@"; }


wait_until 10 test -s "$server_state" || fail "the FTP server did not start (see $server_log)"
port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["port"])' "$server_state")

# --- A fresh Wine prefix -----------------------------------------------------------
echo "making a fresh Wine prefix: $WINEPREFIX ..."
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
"$root/tools/wine-prefix-display.sh" "$WINEPREFIX" "$build"
"$root/tools/place-standins.sh" "$build" "$WINEPREFIX"
# No window manager runs on the display: Wine draws the windows' frames itself.
drive_c=$WINEPREFIX/drive_c
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
wineserver -w

setup_dir=$drive_c/NorvaleSetup
mkdir -p "$setup_dir"
cp "$installer_exe" "$uninstaller_exe" "$archive_dll" "$root"/installer/engine/scripts/*.ps1 "$setup_dir/"
# "Start.ini" for this run's server, naming the product as the package does
# (the window's caption begins with that name), its values stored with the settings codec.
product='Norvale POS'
start_ini_win='C:\NorvaleSetup\Start.ini'
mkdir -p "$drive_c/demo-tools"
cp "$start_ini_exe" "$drive_c/demo-tools/"
(cd "$drive_c" && wine 'C:\demo-tools\write_start_ini.exe' --host 127.0.0.1 --port "$port" \
  --user norvale --password norvale --name "$product" --out "$start_ini_win") \
  </dev/null >"$work/write_start_ini.log" 2>&1 || { cat "$work/write_start_ini.log" >&2; fail "Start.ini"; }
rm -rf "$drive_c/demo-tools"

# --- The X display and the walk through the wizard -------------------------------------
# What the prefix holds before the installation, then no Wine program left
# running: the next ones start on the display.
python3 "$root/tools/demo_report.py" snapshot "$work/before.json"
wineserver -w
rm -f "$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
wait_until 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$work/display")


window=
shots=()
screen_hash() { import -window root rgb:- 2>/dev/null | md5sum | cut -c1-32; }
# Waits until the screen has changed from $1 (when given) and then stayed the
# same for a moment: the page has been drawn.
settle() {
  local last= now= same=0 end=$((SECONDS + 10))
  while [ $SECONDS -lt $end ]; do
    now=$(screen_hash)
    if [ -n "${1:-}" ] && [ "$now" = "$1" ]; then sleep 0.2; continue; fi
    if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0; fi
    [ $same -ge 2 ] && return 0
    last=$now
    sleep 0.2
  done
}
# The window's picture, caption bar included, into OUTDIR.
shot() {
  local geometry
  geometry=$(xdotool getwindowgeometry --shell "$window")
  eval "$geometry"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$outdir/$1.png"
  shots+=("$1.png")
}
# Presses a key in the installer's window and waits for the new page.
press() {
  local before
  before=$(screen_hash)
  xdotool windowfocus --sync "$window" key --clearmodifiers "$1"
  settle "$before"
}
# Clicks at a point of the window (pixels from its top-left corner).
click() {
  local geometry before
  geometry=$(xdotool getwindowgeometry --shell "$window")
  eval "$geometry"
  before=$(screen_hash)
  xdotool mousemove $((X + $1)) $((Y + $2)) click 1
  [ "${3:-}" = nowait ] || settle "$before"
}

# What the walk chooses: the first option of the one option group (preset),
# the tasks as preset plus task 2 ticked, and this install folder.
install_folder='C:\Norvale POS Demo'
holds=64bit,win10,opt1,task1,task2,task3

echo "starting the installer on display $DISPLAY ..."
# Wine's own error lines go to the log beside the demo's other files.
(cd "$setup_dir" && exec env LC_ALL=ja_JP.UTF-8 WINEDEBUG=err+all,fixme-all "$NORVALE_WINE" \
  'C:\NorvaleSetup\Norvale_Installer.exe') \
  </dev/null >"$work/installer.log" 2>&1 &
installer_pid=$!
# While the setup information comes, a progress box of a similar caption shows.
find_window() { window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$window" ]; }
wait_until 60 find_window "^$product Installer Ver " || fail "the installer's window did not appear"
echo "window: $(xdotool getwindowname "$window")"
settle
shot page0-welcome

# Places in the window (pixels from its top-left corner, caption included),
# as the layout puts them in the window's start size.
next_button="396 435"
folder_box="255 237"
task2_box="37 206"

press alt+n                       # welcome -> module options
shot page1-options
press alt+n                       # -> install folder
click $folder_box
xdotool key --clearmodifiers End shift+Home BackSpace
xdotool type --delay 40 "$install_folder"
settle
shot page2-folder
press alt+n                       # -> additional tasks
click $task2_box                  # tick "install the sample data"
shot page3-tasks
press alt+n                       # -> ready to install
shot page4-ready

app_unix=$drive_c/${install_folder#C:\\}
app_unix=${app_unix//\\//}
marker=$app_unix/Setup_Start.txt
echo "installing into $install_folder ..."
install_pressed=$(date +%s.%N)
click $next_button nowait          # "インストール(I)"
if wait_until 30 test -e "$marker"; then
  sleep 0.5
  shot page5-progress
  # The run ends when the marker of a running installation is gone again.
  wait_until 240 test ! -e "$marker" || true
else
  echo "the installation did not start" >&2
fi
settle
finished=$(date +%s.%N)
shot page6-finish
click $next_button nowait          # "完了(F)"
wait_until 30 eval '! kill -0 "$installer_pid" 2>/dev/null' || echo "the installer is still running" >&2

# --- What the installation left on the machine -------------------------------------
setup_log=$app_unix/Uninst/Setup.log
rm -f "$outdir/Setup.log"
[ ! -f "$setup_log" ] || cp "$setup_log" "$outdir/Setup.log"
lftp_seconds=null
if [ -f "$outdir/Setup.log" ]; then
  python3 "$root/tools/demo_report.py" lftp-commands "$outdir/Setup.log" "$work/lftp" >"$work/lftp.cmds"
  rm -rf "$work/lftp"
  lftp_started=$(date +%s.%N)
  LC_ALL=C.UTF-8 lftp -u norvale,norvale -p "$port" \
    -e "set ftp:charset cp932; set file:charset utf-8; set cmd:fail-exit yes; source $work/lftp.cmds; quit" \
    127.0.0.1 >"$work/lftp.log" 2>&1 && lftp_seconds=$(since "$lftp_started")
fi
printf '{"install_pressed": %s, "finished": %s, "lftp": %s}\n' \
  "$install_pressed" "$finished" "$lftp_seconds" >"$work/times.json"

say ""
say "=== Norvale demo: what is on the machine ==="
say "programs: $which_build"
say "FTP server: 127.0.0.1:$port (tests/ftp/ftp_test_server.py), root $outdir/ftp"
set +e
python3 "$root/tools/demo_report.py" installed "$work/before.json" "$setup_log" "$server_log" \
  "$outdir" "$work/times.json" "$holds" | tee -a "$outdir/report.txt"
installed_status=${PIPESTATUS[0]}
set -e

# --- The silent removal ------------------------------------------------------------------
left_status=0
code_status=0
if [ -f "$outdir/Setup.log" ]; then
  # The quiet uninstall command as the Uninstall entry holds it: program, then "/S".
  mapfile -t uninstall < <(python3 "$root/tools/demo_report.py" uninstall-command "$outdir/Setup.log")
  say ""
  say "=== removal: ${uninstall[*]:-(no quiet uninstall command registered)} ==="
  if [ ${#uninstall[@]} -gt 0 ]; then
    (cd "$drive_c" && exec env LC_ALL=ja_JP.UTF-8 WINEDEBUG=err+all,fixme-all "$NORVALE_WINE" \
      "${uninstall[@]}") \
      </dev/null >"$work/uninstaller.log" 2>&1 &
    uninstaller_pid=$!
    removal_started=$(date +%s.%N)
    window=
    wait_until 20 eval 'find_window " UnInstaller Ver " || ! kill -0 "$uninstaller_pid" 2>/dev/null' || true
    # The window is found as soon as it exists; its progress page is drawn a
    # moment later.
    [ -z "$window" ] || { sleep 1; shot uninstall-progress 2>/dev/null; } || true
    uninstaller_code=0
    wait "$uninstaller_pid" || uninstaller_code=$?
    uninstaller_seconds=$(since "$removal_started")
    say "uninstaller exit code: $uninstaller_code"
    [ "$uninstaller_code" -eq 0 ] || code_status=1
    # "DeleteMe.cmd" goes on after the uninstaller has ended; Wine's server
    # ends once it and every other program of the prefix are done.
    timeout 120 wineserver -w || say "the prefix's programs were still running after 120 s"
    say "uninstaller: $uninstaller_seconds s; with \"DeleteMe.cmd\" done: $(since "$removal_started") s"
  fi
  set +e
  python3 "$root/tools/demo_report.py" leftovers "$work/before.json" "$outdir/Setup.log" \
    | tee -a "$outdir/report.txt"
  left_status=${PIPESTATUS[0]}
  set -e
fi

say ""
say "pictures in $outdir: ${shots[*]}"
say "demo wall time: $(since "$demo_started" | xargs printf '%.0f') s"
[ "$installed_status" -eq 0 ] || exit 1
[ "$left_status" -eq 0 ] || exit 1
# A quiet run's caller reads nothing but the exit code.
[ "$code_status" -eq 0 ] || exit 1
