#!/usr/bin/env bash
# Makes a Wine prefix for programs shown on an X display (the screenshots,
# the demo), unless it is ready already:
#   tools/wine-prefix-display.sh PREFIX BUILD_DIR
# 64-bit prefix, Windows 10, the Japanese faces drawn with the IPA font,
# Wine's Marlett for the caption buttons, no Z: drive and no links from the
# profile into this machine's home. The Japanese locale is compiled into
# BUILD_DIR/locale, as for the tests' prefix.
set -euo pipefail

checkout=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${1:?usage: wine-prefix-display.sh PREFIX BUILD_DIR}
build=$(cd "${2:?usage: wine-prefix-display.sh PREFIX BUILD_DIR}" && pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export LOCPATH="$build/locale"
. "$checkout/tools/wine-arch.sh"
norvale_use_arch "$checkout"
# Only Wine gets the Japanese locale; this shell cannot load it.
wine() { env LC_ALL=ja_JP.UTF-8 "$NORVALE_WINE" "$@"; }

if [ ! -e "$LOCPATH/ja_JP.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$LOCPATH"
  localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" 2>/dev/null || \
    [ -e "$LOCPATH/ja_JP.UTF-8/LC_CTYPE" ]
fi

if [ ! -e "$WINEPREFIX/.norvale-display-ready" ]; then
  rm -rf "$WINEPREFIX"
  DISPLAY= wine wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
  # The programs' faces, drawn with the IPA font.
  for face in 'ＭＳ Ｐゴシック' 'ＭＳ ゴシック' 'ＭＳ Ｐ明朝' 'ＭＳ 明朝' 'MS UI Gothic'; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'IPAPGothic' /f \
      </dev/null >/dev/null 2>&1
  done
  wineserver -w
  # Nothing of this machine is reachable from inside.
  rm -f "$WINEPREFIX/dosdevices/z:"
  touch "$WINEPREFIX/.norvale-display-ready"
fi
# Wine looks for Marlett among the Windows fonts only.
marlett=/usr/share/wine/fonts/marlett.ttf
[ ! -f "$marlett" ] || cmp -s "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ||
  cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
# The profile's folders become the prefix's own, never links to this home.
"$checkout/tools/wine-prefix-links.sh" "$WINEPREFIX" --fix
