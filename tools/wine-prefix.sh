#!/usr/bin/env bash
# Prepares (or re-warms) the Wine prefix of a build folder:
#   tools/wine-prefix.sh BUILD_DIR
# 64-bit prefix, Japanese locale (code page 932), Windows 10, null graphics
# driver, no Z: drive, no links from the profile into this machine's home,
# the checkout reachable as N:, and a persistent
# wineserver that is already warm. Re-running it on a ready prefix is fast.
set -euo pipefail

build=$(cd "${1:?usage: wine-prefix.sh BUILD_DIR}" && pwd)
checkout=$(cd "$(dirname "$0")/.." && pwd)

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH="$build/locale"
export WINEARCH=win64
unset DISPLAY
. "$checkout/tools/wine-arch.sh"
norvale_use_arch "$checkout"
wine() { command "$NORVALE_WINE" "$@"; }

# The system locale stays untouched: the Japanese locale is compiled into the
# build folder, which is what lets Wine open files with Japanese names.
if [ ! -e "$LOCPATH/ja_JP.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$LOCPATH"
  localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" 2>/dev/null || \
    [ -e "$LOCPATH/ja_JP.UTF-8/LC_CTYPE" ]
fi
export LC_ALL=ja_JP.UTF-8

if [ ! -e "$WINEPREFIX/.norvale-ready" ]; then
  rm -rf "$WINEPREFIX"
  wine wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
  wineserver -w
  # Nothing outside the checkout is reachable: a faulty delete cannot leave it.
  rm -f "$WINEPREFIX/dosdevices/z:"
  ln -sfn "$checkout" "$WINEPREFIX/dosdevices/n:"
  touch "$WINEPREFIX/.norvale-ready"
fi
# The profile's folders (Desktop, Documents, ...) become the prefix's own:
# a test that writes or deletes there must never reach this machine's home.
"$checkout/tools/wine-prefix-links.sh" "$WINEPREFIX" --fix

# Keep the server up between test processes, and start Wine's background
# services detached so they never hold the test runner's pipes.
# A server that a manual run left behind is fine to keep.
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

# What Wine lacks, played by our stand-ins (when this build made them).
"$checkout/tools/place-standins.sh" "$build"
