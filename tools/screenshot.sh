#!/usr/bin/env bash
# Runs a Windows program of the build under Xvfb in a Wine virtual desktop
# and saves what the screen shows as PNG files, so a page can be looked at:
#   tools/screenshot.sh [-o OUTDIR] [-d "SECONDS ..."] PROGRAM [ARGS...]
# OUTDIR (default: ./screenshots) gets PROGRAM-1.png, PROGRAM-2.png, ... one
# per delay (default "4": one picture 4 s after the start).
#
# The run uses a prefix of its own beside the build's test prefix
# (BUILD/wineprefix-shot, BUILD being the folder above PROGRAM that holds
# wine-run.sh), with the X11 graphics driver; the tests' prefix keeps its
# null driver. Only the program's own folder is reachable, as drive S:.
set -euo pipefail

outdir=$PWD/screenshots
delays="4"
while getopts "o:d:" opt; do
  case $opt in
    o) outdir=$OPTARG ;;
    d) delays=$OPTARG ;;
    *) sed -n '2,6p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || { sed -n '2,6p' "$0" >&2; exit 2; }
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
[ -f "$program" ] || { echo "no such program: $program" >&2; exit 2; }

# Packages for the picture: the X server, its authority file, ImageMagick's
# import, a Japanese font for the captions and Wine's own fonts (Marlett
# draws the caption buttons).
"$(dirname "$0")/deps.sh" xvfb xauth imagemagick fonts-ipafont-gothic fonts-wine

# The build folder: the nearest folder above the program with wine-run.sh.
build=$(dirname "$program")
while [ "$build" != / ] && [ ! -e "$build/wine-run.sh" ]; do build=$(dirname "$build"); done
[ "$build" != / ] || build=$(dirname "$program")

export WINEPREFIX="$build/wineprefix-shot"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# The loader this machine can run (the 64-bit one where 32-bit code cannot).
. "$(dirname "$0")/wine-arch.sh"
norvale_use_arch "$(cd "$(dirname "$0")/.." && pwd)"
export NORVALE_WINE
export LOCPATH="$build/locale"
"$(dirname "$0")/wine-prefix-display.sh" "$WINEPREFIX" "$build"
# The shell itself cannot load the build's locale; only Wine needs it.
export LC_ALL=ja_JP.UTF-8 2>/dev/null
ln -sfn "$(dirname "$program")" "$WINEPREFIX/dosdevices/s:"

mkdir -p "$outdir"
name=$(basename "$program" .exe)
export SHOT_PROGRAM="s:\\$(basename "$program")" SHOT_OUT="$outdir/$name" SHOT_DELAYS="$delays"
# Inside the X server: start the program in a virtual desktop (which gives
# it a caption bar), take the pictures, then stop this prefix's Wine.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$NORVALE_WINE" explorer /desktop=shot,1024x768 "$SHOT_PROGRAM" "$@" </dev/null >/dev/null 2>&1 &
  elapsed=0; n=0
  for d in $SHOT_DELAYS; do
    sleep $((d > elapsed ? d - elapsed : 0)); elapsed=$d
    n=$((n + 1))
    import -window root "$SHOT_OUT-$n.png"
    echo "$SHOT_OUT-$n.png"
  done
  wineserver -k 2>/dev/null || true
' shot "$@"
