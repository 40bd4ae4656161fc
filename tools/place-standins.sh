#!/usr/bin/env bash
# Puts the test stand-ins (bin/standins of a build) into that build's Wine
# prefix, where the programs look for them: powershell.exe in the Windows
# folder's system32\WindowsPowerShell\v1.0, timeout.exe in system32; the same
# again below syswow64, which 32-bit programs see as system32.
#   tools/place-standins.sh BUILD_DIR [PREFIX]    (default: BUILD_DIR/wineprefix)
# Idempotent: a file already in place and unchanged is left alone. Never run
# it against a real Windows installation: the stand-ins only imitate.
set -euo pipefail

build=$(cd "${1:?usage: place-standins.sh BUILD_DIR [PREFIX]}" && pwd)
prefix=${2:-$build/wineprefix}
standins="$build/bin/standins"
windows="$prefix/drive_c/windows"
[ -d "$standins" ] || exit 0
# Without a prefix yet there is nothing to do: wine-prefix.sh calls us again.
[ -d "$windows/system32" ] || exit 0

place() {  # place SOURCE TARGET
  [ -f "$1" ] || return 0
  if ! cmp -s "$1" "$2"; then
    mkdir -p "$(dirname "$2")"
    cp -f "$1" "$2.new" && mv -f "$2.new" "$2"
  fi
}

for system in system32 syswow64; do
  [ -d "$windows/$system" ] || continue
  place "$standins/powershell.exe" "$windows/$system/WindowsPowerShell/v1.0/powershell.exe"
  place "$standins/timeout.exe" "$windows/$system/timeout.exe"
done
