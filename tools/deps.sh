#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, or,
# given package names, those packages instead:
#   tools/deps.sh [PACKAGE...]
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

need=(g++-mingw-w64-i686-posix mingw-w64-i686-dev
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev cmake make googletest
      libz-mingw-w64-dev python3-pyftpdlib python3-fonttools locales wine wine32 wine64
      xvfb xauth)
[ $# -eq 0 ] || need=("$@")

missing=()
for p in "${need[@]}"; do
  arch_p=$p
  [ "$p" = wine32 ] && arch_p=wine32:i386
  if ! dpkg-query -W -f='${Status}' "$arch_p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$arch_p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
